// SPDX-License-Identifier: GPL-2.0-or-later
#include "framelist/extraction_order.h"

#include <fcntl.h>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <numeric>

#include "framesource/image_writers.h"

namespace framelist {

ExtractionOrder::ExtractionOrder(const std::vector<int32_t>& frames, const naming::OutputNaming& naming)
    : naming_(naming), frames_(frames), places_(frames.size()), written_(frames.size(), false) {
    std::iota(places_.begin(), places_.end(), size_t(0));
    // Names that repeat (no numbering, or numbers at their largest) must be written in turn, and a
    // name in the way is asked about, and may shift the numbers after it, as before.
    const auto count = int64_t(frames.size());
    inFileOrder_ = count > 1 && naming.numbering != naming::Numbering::None &&
                   int64_t(naming.start) + count - 1 <= std::numeric_limits<int32_t>::max() &&
                   !std::is_sorted(frames.begin(), frames.end());
    for (int64_t i = 0; inFileOrder_ && i < count; ++i) {
        if (image_writers::Taken(naming.PathOf(int32_t(naming.start + i)))) inFileOrder_ = false;
    }
    if (!inFileOrder_) return;
    std::stable_sort(places_.begin(), places_.end(), [&](size_t a, size_t b) { return frames[a] < frames[b]; });
    for (size_t i = 0; i < places_.size(); ++i) frames_[i] = frames[places_[i]];
}

QString ExtractionOrder::FileFor(size_t index) const {
    return naming_.PathOf(int32_t(naming_.start + int64_t(places_[index])));
}

void ExtractionOrder::Written(size_t index) {
    written_[places_[index]] = true;
    ++count_;
}

int32_t ExtractionOrder::NextNumber() const {
    int32_t next = naming_.start;
    for (int32_t i = 0; i < count_; ++i) next = naming::NumberAfter(next);
    return next;
}

bool ExtractionOrder::Finish() {
    if (!inFileOrder_) return true;
    bool moved = true;
    int32_t number = naming_.start;
    for (size_t place = 0; place < written_.size(); ++place) {
        if (!written_[place]) continue;
        const auto from = int32_t(naming_.start + int64_t(place));
        if (from != number) {
            // Every number below `from` not yet taken again was left unwritten: the name is free
            // unless a file appeared there meanwhile, which is never replaced.
            const QByteArray source = naming::PathBytes(naming_.PathOf(from));
            const QByteArray target = naming::PathBytes(naming_.PathOf(number));
            moved =
                renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0 && moved;
        }
        number = naming::NumberAfter(number);
    }
    return moved;
}

}  // namespace framelist
