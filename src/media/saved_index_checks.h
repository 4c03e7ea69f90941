// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What ties a saved index to the file it was built from, beyond the file's identity: the
// demuxer's probe of the stream and the bytes at a few key packets.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media/file_identity.h"
#include "media/media_index.h"

namespace media {

using Digest = std::array<uint8_t, 32>;

// Bytes read at each of at most kKeyWindows key packets spread over the file.
constexpr size_t kKeyWindows = 8;
constexpr int64_t kKeyWindowBytes = 4096;

// A saved index: the probe's signature, the key windows' digest, then the index itself.
constexpr size_t kSavedChecksBytes = 2 * sizeof(Digest);

// What the reader and its decoder take from the demuxer's probe of the stream (`rate`: the
// frame rate the reader takes).
std::optional<Digest> ProbeSignature(const AVFormatContext& format, const AVStream& stream, AVRational rate);

// The digest of the bytes at a few key packets of `index`, read through `fd`.
std::optional<Digest> KeyWindowsDigest(int fd, const MediaIndex& index);

// The probe's signature that goes with a file's index shared in this process: `signature` is
// kept when given, else the one kept is returned.
std::optional<Digest> SharedSignature(const FileIdentity& identity, const std::optional<Digest>& signature);

}  // namespace media
