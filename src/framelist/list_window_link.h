#pragma once
// What the list window asks of the main window, handed over when the main window creates it
// (the list window sits below the main window and cannot call it directly).

#include <functional>

namespace gfx {
class JpegImage;
}

struct ListWindowLink {
    // Selects the AVI sequence (true) or the list sequence (false).
    std::function<void(bool avi)> setSequenceMode;
    // Moves the main window's track bar, which shows that position when it changes.
    std::function<void(int position)> setTrackBarPosition;
    // The main window's single-frame "Extraire": writes the frame shown; may throw to end a batch.
    std::function<void()> extractCurrentFrame;
    // Pauses the main window before a row is shown by a click (RunFlag is cleared by the caller).
    std::function<void()> pause;
    std::function<int()> currentPosition;
    std::function<int()> rangeStart;
    std::function<int()> rangeEnd;
    // Sets the range end of both sequences (after a list build).
    std::function<void(int)> setRangeEnd;
    // Whether the last "Extraire" wrote its file, so the batch counts only written files.
    std::function<bool()> lastExtractionWrote;
    // Copies the JPEG options dialog's settings into a JPEG image (may throw on a bad quality).
    std::function<void(gfx::JpegImage&)> applyJpegOptions;
    // The program is ending (its main window closed while a loop ran): no closing message.
    std::function<bool()> programEnding;
};
