#include "framesource/frame_source.h"
