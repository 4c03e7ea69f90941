// SPDX-License-Identifier: GPL-2.0-or-later
#include "navigation/navigation.h"

namespace navigation {

namespace {

struct State {
    int32_t currentPosition = 0;
    int32_t rangeStart = 0;
    int32_t rangeEnd = 0;
    bool aviSequence = true;
    bool runFlag = false;
    bool listBuilt = false;
    MainWindowCommands* mainWindow = nullptr;
};

State state;

}  // namespace

int32_t CurrentPosition() { return state.currentPosition; }
int32_t RangeStart() { return state.rangeStart; }
int32_t RangeEnd() { return state.rangeEnd; }
bool AviSequence() { return state.aviSequence; }
bool RunFlag() { return state.runFlag; }
bool ListBuilt() { return state.listBuilt; }

void SetRunFlag(bool running) { state.runFlag = running; }
void SetListBuilt(bool built) { state.listBuilt = built; }
void SetCurrentPosition(int32_t position) { state.currentPosition = position; }

void SetRange(int32_t start, int32_t end) {
    state.rangeStart = start;
    state.rangeEnd = end;
}

void SetRangeEnd(int32_t end) { state.rangeEnd = end; }

int32_t ClampPosition(int32_t requested, bool loop) {
    state.currentPosition = requested;
    // Both tests look at the requested value; wrapping jumps to the opposite end.
    if (requested < state.rangeStart) state.currentPosition = loop ? state.rangeEnd : state.rangeStart;
    if (requested > state.rangeEnd) state.currentPosition = loop ? state.rangeStart : state.rangeEnd;
    return state.currentPosition;
}

bool SelectSequence(bool avi) {
    state.aviSequence = avi || !state.listBuilt;
    return avi || !state.aviSequence;
}

void Reset() {
    MainWindowCommands* mainWindow = state.mainWindow;
    state = State{};
    state.mainWindow = mainWindow;
}

void SetMainWindow(MainWindowCommands* commands) { state.mainWindow = commands; }
MainWindowCommands* MainWindow() { return state.mainWindow; }

}  // namespace navigation
