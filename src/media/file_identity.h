// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Who a video file is, without reading it all: its size, when it last changed, and a digest of
// its first MiB and its last 64 KiB. A saved index is keyed on it, and the parts of a ranking
// carry its content fingerprint so that parts of different videos are never joined.
//
// The head is what a demuxer reads anyway to open the file and show its first picture (a
// reader hands it these bytes from the same buffer, see FileInput); past the demuxer's own
// tail (an MP4's moov, a Matroska's cues), a longer tail would only be read for the digest.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct stat;

namespace media {

struct FileIdentity {
    int64_t size = 0;
    int64_t modifiedNs = 0;                    // st_mtim, in nanoseconds since the epoch
    std::array<uint8_t, 32> headTailDigest{};  // SHA-256 of the size, the head and the tail

    // The content's fingerprint as text, "<size>:<64 hex digits>": the modification time stays
    // out, so that two copies of one video agree.
    std::string Fingerprint() const;
    bool SameContent(const FileIdentity& other) const {
        return size == other.size && headTailDigest == other.headTailDigest;
    }
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The bytes the digest covers in a file of `size` bytes: [0, headEnd) and [tailStart, size),
// the tail starting at or after the head's end.
struct DigestSpans {
    int64_t headEnd = 0;
    int64_t tailStart = 0;
};
DigestSpans DigestSpansOf(int64_t size);
// The identity of a file of this size and time whose spans hold these bytes (`tail` of
// size - tailStart bytes).
// Nothing, with errno set, when no memory is left.
std::optional<FileIdentity> IdentityFromSpans(int64_t size, int64_t modifiedNs, const uint8_t* head,
                                              const uint8_t* tail);
// The modification time of the status, in nanoseconds.
int64_t ModifiedNs(const struct stat& status);

// The identity of the file open on `fd` (read with pread: the file offset is left alone), or
// nothing with errno set when it cannot be read.
std::optional<FileIdentity> IdentityOf(int fd);
// The same for the file at `path` (its bytes, as given).
std::optional<FileIdentity> IdentityOfPath(const std::string& path);

}  // namespace media
