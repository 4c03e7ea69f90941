// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// "Extraire Lot..." numbers its files in table order, and each file takes the next number only
// once written. Reaching the rows' frames in that order costs a decode from a key frame for each
// (from the file's start for some damaged recordings); reached in the file's order, the frames
// come out of one pass. When the names the files will take are all free, the frames are
// decoded in the file's order and each is written at once under the name of its place in table
// order; the numbers of the files left unwritten are closed up at the end, so the files and
// their names are those of writing them in table order.

#include <QString>
#include <cstdint>
#include <vector>

#include "framesource/naming.h"

namespace framelist {

class ExtractionOrder {
public:
    // `frames` in table order; the names start at `naming.start`.
    ExtractionOrder(const std::vector<int32_t>& frames, const naming::OutputNaming& naming);

    // The frames in the order to decode them.
    const std::vector<int32_t>& Frames() const { return frames_; }
    // Where the frame decoded `index`-th stands in table order.
    size_t Place(size_t index) const { return places_[index]; }
    // The frames are decoded in the file's order and written where FileFor says; otherwise in
    // table order, each file under the next number as before.
    bool InFileOrder() const { return inFileOrder_; }
    // In the file's order: the name of the frame decoded `index`-th, until Finish.
    QString FileFor(size_t index) const;
    // In the file's order: the frame decoded `index`-th was written.
    void Written(size_t index);
    // The number after the files written so far.
    int32_t NextNumber() const;
    // In the file's order: gives the files written the numbers that writing them in table order
    // gives, moving each down over those left unwritten. False when a file could not be moved.
    bool Finish();

private:
    naming::OutputNaming naming_;
    std::vector<int32_t> frames_;
    std::vector<size_t> places_;
    std::vector<bool> written_;  // by place in table order
    int32_t count_ = 0;          // files written
    bool inFileOrder_ = false;
};

}  // namespace framelist
