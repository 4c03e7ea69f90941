// SPDX-License-Identifier: GPL-2.0-or-later
#include "batchcli/frame_list.h"

#include <QStringList>
#include <algorithm>
#include <limits>

namespace batch {

namespace {

bool ToFrame(const QString& text, int32_t& frame) {
    // Digits only: no sign, no blanks, no "+".
    if (text.isEmpty() || std::any_of(text.begin(), text.end(), [](QChar c) { return !c.isDigit(); })) return false;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value > std::numeric_limits<int32_t>::max()) return false;
    frame = int32_t(value);
    return true;
}

}  // namespace

bool ParseFrameList(const QString& text, std::vector<FrameRun>& runs) {
    runs.clear();
    for (const QString& item : text.split(',')) {
        const qsizetype dash = item.indexOf('-');
        FrameRun run;
        if (dash < 0) {
            if (!ToFrame(item, run.first)) return false;
            run.last = run.first;
        } else if (!ToFrame(item.left(dash), run.first) || !ToFrame(item.mid(dash + 1), run.last) ||
                   run.first > run.last) {
            return false;
        }
        runs.push_back(run);
    }
    return !runs.empty();
}

int64_t RankedCount(Choice choice, int32_t count, int32_t frameCount) {
    const int64_t chosen = choice == Choice::Percent ? int64_t(count) * frameCount / 100 : count;
    return std::clamp<int64_t>(chosen, 0, frameCount);
}

std::vector<int32_t> ListedFrames(const std::vector<FrameRun>& runs, int32_t frameCount,
                                  std::vector<FrameRun>& missing) {
    std::vector<int32_t> frames;
    missing.clear();
    for (const FrameRun& run : runs) {
        if (run.last >= frameCount) missing.push_back({std::max(run.first, frameCount), run.last});
        for (int64_t frame = run.first; frame <= std::min<int64_t>(run.last, int64_t(frameCount) - 1); ++frame) {
            frames.push_back(int32_t(frame));
        }
    }
    return frames;
}

QString PastTheEnd(const QString& video, const FrameRun& missing, int32_t frameCount) {
    const QString frames = missing.first == missing.last
                               ? QStringLiteral("frame %1").arg(missing.first)
                               : QStringLiteral("frames %1-%2").arg(missing.first).arg(missing.last);
    return QStringLiteral("%1: %2 past the last frame (%3)").arg(video, frames).arg(frameCount - 1);
}

}  // namespace batch
