// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Who a video file is, without reading it all: its size, when it last changed, and a digest of
// its first and last MiB. A saved index is keyed on it, and the parts of a ranking carry its
// content fingerprint so that parts of different videos are never joined.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace media {

struct FileIdentity {
    int64_t size = 0;
    int64_t modifiedNs = 0;                    // st_mtim, in nanoseconds since the epoch
    std::array<uint8_t, 32> headTailDigest{};  // SHA-256 of the first and the last MiB

    // The content's fingerprint as text, "<size>:<64 hex digits>": the modification time stays
    // out, so that two copies of one video agree.
    std::string Fingerprint() const;
    bool SameContent(const FileIdentity& other) const {
        return size == other.size && headTailDigest == other.headTailDigest;
    }
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file open on `fd` (read with pread: the file offset is left alone), or
// nothing with errno set when it cannot be read.
std::optional<FileIdentity> IdentityOf(int fd);
// The same for the file at `path` (its bytes, as given).
std::optional<FileIdentity> IdentityOfPath(const std::string& path);

}  // namespace media
