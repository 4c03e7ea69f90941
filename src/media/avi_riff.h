// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A bounds-checked walk of an AVI file's RIFF structure: the main and stream headers with each
// stream's own format block, and the data chunks of one stream. libavformat hides some of
// these values and has no index at all for a file whose end is missing.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "media/avifile.h"

namespace avifile::riff {

constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

struct MainHeader {  // avih
    uint32_t microSecPerFrame = 0;
    uint32_t maxBytesPerSec = 0;
    uint32_t flags = 0;
    uint32_t totalFrames = 0;
    uint32_t streams = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The strh chunk: what the service reports of a stream, as stored.
using StreamHeader = StreamInfo;

struct StreamDescription {
    StreamHeader header;
    std::vector<uint8_t> format;  // strf, as stored
};

struct Layout {
    int64_t fileSize = 0;
    MainHeader main;
    std::vector<StreamDescription> streams;  // in strl order: index = the chunk ids' stream number
};

// The headers of an AVI file; empty when the file is not a RIFF AVI or its header list is
// damaged.
std::optional<Layout> ReadLayout(const std::string& path);

struct Chunk {
    int64_t number = 0;    // position among the stream's chunks, empty ones included
    int64_t position = 0;  // file offset of the chunk header
    uint32_t size = 0;
};

struct ChunkScan {
    std::vector<Chunk> chunks;  // the non-empty chunks, in file order
    int64_t chunkCount = 0;     // every complete chunk of the stream, empty ones included
    bool damaged = false;       // a chunk ran past the end of the file; the scan stopped there
};

// The data chunks of stream `streamNumber` in every movi list (also in 'rec ' lists and in
// OpenDML extensions), read from the chunk headers; the scan ends after `maxChunks` of them
// (the stream's length: the positions after it are never asked for).
ChunkScan ScanChunks(const std::string& path, int streamNumber, int64_t maxChunks);

// The same chunks read from the file's idx1 index instead of the chunks themselves, when that
// index lists at least `maxChunks` chunks of the stream, every one inside the movi list, in
// file order, and the chunk headers looked at agree with it; nothing otherwise (no index, an
// index of only the first part of an OpenDML file, or one that does not hold together).
std::optional<ChunkScan> ChunksFromIndex(const std::string& path, int streamNumber, int64_t maxChunks);

}  // namespace avifile::riff
