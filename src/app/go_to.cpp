// SPDX-License-Identifier: GPL-2.0-or-later
// "Aller à l'image...": a frame number or a time typed by the user becomes a position.

#include <QSlider>

#include "app/main_window.h"
#include "app/position_text.h"
#include "base/dialogs.h"
#include "framelist/frame_list_window.h"
#include "framesource/frame_source.h"
#include "navigation/navigation.h"
#include "ui_main_window.h"

int32_t MainWindow::FrameAtTime(double seconds) const {
    const int32_t count = source_.FrameCount();
    if (count <= 0) return -1;
    // Half a millisecond of slack, so that a time typed to the tenth finds its frame.
    const double wanted = seconds + 0.0005;
    int32_t low = 0;
    int32_t high = count - 1;
    if (source_.FrameTime(0) > wanted) return 0;
    while (low < high) {
        const int32_t middle = low + (high - low + 1) / 2;
        if (source_.FrameTime(middle) <= wanted) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return low;
}

void MainWindow::GoToPosition() {
    if (!source_.VideoOpen()) return;
    const QString typed = dialogs::current().askText(QStringLiteral("Aller à l'image"),
                                                     QStringLiteral("Numéro d'image, ou temps (1:23,4 ou 83,4 s) :"),
                                                     ui_->SpeedButtonGoto->text());
    if (typed.trimmed().isEmpty()) return;
    const position_text::Target target = position_text::Parse(typed);
    int64_t frame = -1;
    switch (target.kind) {
        case position_text::Target::Kind::Frame:
            frame = target.frame;
            break;
        case position_text::Target::Kind::Time:
            frame = FrameAtTime(target.seconds);
            break;
        case position_text::Target::Kind::Invalid:
            dialogs::current().messageBox(QStringLiteral("« %1 » n'est ni un numéro d'image ni un temps").arg(typed),
                                          QStringLiteral("Aller à l'image"), dialogs::Buttons::Ok);
            return;
    }
    // In the list's sequence a frame is shown at its row.
    int64_t position = frame;
    if (!navigation_.VideoSequence()) {
        position = frame <= INT32_MAX ? listWindow_->RowOfFrame(int32_t(frame)) : -1;
        if (position < 0) {
            dialogs::current().messageBox(QStringLiteral("L'image %1 n'est pas dans la liste").arg(frame),
                                          QStringLiteral("Aller à l'image"), dialogs::Buttons::Ok);
            return;
        }
    }
    // Then the rules of every move: the play state stops, the position stays within the range.
    SetPlayState(PlayCommand::Stop);
    const int32_t requested = int32_t(std::min<int64_t>(position, INT32_MAX));
    ui_->TrackBarVideo->setValue(navigation_.ClampPosition(requested, false));
}
