// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What the frame source asks of an open video's decoder, whatever the file's kind: any frame
// by position as a packed 24-bit DIB, as the screen's 32-bit pixels, or as decoded, and when
// it is shown.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "media/decoded_picture.h"

namespace media {

// What is known of the damage inside a video's packets (see FrameReader::PacketsFound).
enum class PacketsState {
    Whole,    // looked into, or nothing to look for: the positions are those of a decode from the start
    Unread,   // some packets are still to be looked into
    Damaged,  // a packet was found damaged: the positions are not to be trusted
};

// When the packets of a video indexed from its tables alone (an H.264 or HEVC MP4) are looked
// into for damage, which only their data shows and which can change the frames the video
// presents.
enum class PacketChecks {
    AtOpen,           // all read at open: the count and positions hold from the start
    BeforeEachFrame,  // before a frame is read, those that can change its position (see
                      // CheckPacketsUpTo): the count may change as frames are read
    AsRead,           // only as frames are read, for a reading that settles it after
                      // (PacketsFound, CheckPackets, CheckStretchPackets)
    InOrder,          // as AsRead, for a reading of every frame in order from the first: that
                      // reading is also the decode a damaged stream needs, not made at open
};

class FrameReader {
public:
    virtual ~FrameReader() = default;
    // The packed DIB of frame `position` (40-byte header, then bottom-up BGR rows padded to 4
    // bytes), valid until the next call or the reader's end; null on failure.
    virtual const uint8_t* Frame(int32_t position) = 0;
    // The same frame as top-down 32-bit pixels (0xFFRRGGBB) with the colours of the 24-bit
    // frame, written into rows of `stride` bytes; false on failure.
    virtual bool FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride) = 0;
    // Frame `position` as decoded, to be converted later by any thread (see DecodedPicture);
    // null on failure.
    virtual std::unique_ptr<DecodedPicture> Decoded(int32_t position) = 0;
    // When frame `position` is presented, in seconds after the first frame.
    virtual double FrameTime(int32_t position) const = 0;
    // Positions from which a decode starts without reaching further back, ascending, 0 first:
    // where stretches of a video read apart cost least. Any position can be read from anywhere.
    virtual std::vector<int32_t> KeyPositions() const { return {0}; }
    // Another reader of the file opens it cheaply: it takes this one's index, or at worst reads
    // the packets again, but never decodes the whole stream.
    virtual bool OpensWithoutDecoding() const { return true; }
    // A reader opened without looking into its packets (see MediaFile::Open) learns of them as
    // it, and every reader sharing its index, reads them; once all were found whole, the index
    // is checked for good.
    virtual PacketsState PacketsFound() { return PacketsState::Whole; }
    // Looks into the packets still unread, reading the whole file as a first open does; when one
    // is damaged the index is built again from the data, as such a first open builds it, and the
    // count and positions may change (Damaged). Unread when `progress` cancelled it or it failed.
    virtual PacketsState CheckPackets(const std::function<bool(int percent)>& /*progress*/) {
        return PacketsState::Whole;
    }
    // Looks into the packets still unread that can change the pictures presented up to
    // `position` (past the last frame: every packet), without decoding them: Whole when those
    // positions hold; Damaged when one is damaged, the index then built again as CheckPackets
    // builds it; Unread when that failed.
    virtual PacketsState CheckPacketsUpTo(int32_t /*position*/) { return PacketsState::Whole; }
    // Looks into the packets that a stretch of positions `first` to `end` - 1 answers for (see
    // media::StretchStartPacket), those its reading passed over included: Whole when every one
    // is whole, or the index was checked already; Damaged when one is not; Unread when they
    // cannot be read. The video's other packets stay as they were.
    virtual PacketsState CheckStretchPackets(int32_t /*first*/, int32_t /*end*/) { return PacketsFound(); }
};

}  // namespace media
