// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/avi_riff.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace avifile::riff {
namespace {

constexpr uint32_t kRiff = FourCc('R', 'I', 'F', 'F');
constexpr uint32_t kList = FourCc('L', 'I', 'S', 'T');
constexpr uint32_t kAvi = FourCc('A', 'V', 'I', ' ');
constexpr uint32_t kAvix = FourCc('A', 'V', 'I', 'X');
constexpr uint32_t kHdrl = FourCc('h', 'd', 'r', 'l');
constexpr uint32_t kStrl = FourCc('s', 't', 'r', 'l');
constexpr uint32_t kMovi = FourCc('m', 'o', 'v', 'i');
constexpr uint32_t kRec = FourCc('r', 'e', 'c', ' ');
constexpr uint32_t kAvih = FourCc('a', 'v', 'i', 'h');
constexpr uint32_t kStrh = FourCc('s', 't', 'r', 'h');
constexpr uint32_t kStrf = FourCc('s', 't', 'r', 'f');

// A header list larger than this is not a header list.
constexpr int64_t kMaxHeaderListBytes = 16 << 20;
// The AVI chunk ids number streams with two digits.
constexpr size_t kMaxStreams = 100;

uint32_t Le32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// A byte range of the header list being parsed; every read is checked against it.
struct Span {
    const uint8_t* data;
    int64_t size;
};

uint32_t Field(const Span& s, int64_t offset) { return offset + 4 <= s.size ? Le32(s.data + offset) : 0; }

// Calls visit(id, listType, body) for each chunk of the span; false on a chunk overrunning it.
template <typename Visit>
bool WalkChunks(const Span& span, Visit&& visit) {
    int64_t at = 0;
    while (at + 8 <= span.size) {
        const uint32_t id = Le32(span.data + at);
        const int64_t size = Le32(span.data + at + 4);
        const int64_t body = at + 8;
        if (size > span.size - body) return false;
        uint32_t listType = 0;
        Span inner{span.data + body, size};
        if (id == kList) {
            if (size < 4) return false;
            listType = Le32(span.data + body);
            inner = Span{span.data + body + 4, size - 4};
        }
        if (!visit(id, listType, inner)) return false;
        at = body + size + (size & 1);
    }
    return true;
}

bool ParseStrl(const Span& strl, StreamDescription& stream) {
    bool haveHeader = false;
    const bool ok = WalkChunks(strl, [&](uint32_t id, uint32_t, const Span& body) {
        if (id == kStrh && !haveHeader) {
            if (body.size < 36) return false;
            StreamHeader& h = stream.header;
            h.type = Field(body, 0);
            h.handler = Field(body, 4);
            h.scale = Field(body, 20);
            h.rate = Field(body, 24);
            h.start = Field(body, 28);
            h.length = Field(body, 32);
            h.suggestedBufferSize = Field(body, 36);
            haveHeader = true;
        } else if (id == kStrf && stream.format.empty()) {
            stream.format.assign(body.data, body.data + body.size);
        }
        return true;
    });
    return ok && haveHeader;
}

bool ReadAt(std::ifstream& in, int64_t position, void* buffer, int64_t bytes) {
    in.clear();
    in.seekg(position);
    in.read(static_cast<char*>(buffer), bytes);
    return in.good() || in.gcount() == bytes;
}

// Reads a file's chunk headers through a window of it: a walk over millions of small chunks
// costs a read of the file, not a system call or two for each chunk.
class WindowReader {
public:
    explicit WindowReader(std::ifstream& in) : in_(in), window_(kWindowBytes) {}

    bool Read(int64_t position, void* out, int64_t bytes) {
        if (position < start_ || position + bytes > start_ + length_) {
            in_.clear();
            in_.seekg(position);
            in_.read(reinterpret_cast<char*>(window_.data()), std::streamsize(window_.size()));
            start_ = position;
            length_ = in_.gcount();
            if (bytes > length_) return false;
        }
        std::memcpy(out, window_.data() + (position - start_), size_t(bytes));
        return true;
    }

private:
    static constexpr size_t kWindowBytes = 1 << 20;
    std::ifstream& in_;
    std::vector<uint8_t> window_;
    int64_t start_ = 0;
    int64_t length_ = 0;
};

}  // namespace

std::optional<Layout> ReadLayout(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    Layout layout;
    layout.fileSize = in.tellg();
    if (layout.fileSize < 12) return std::nullopt;

    uint8_t riff[12];
    if (!ReadAt(in, 0, riff, 12) || Le32(riff) != kRiff || Le32(riff + 8) != kAvi) return std::nullopt;
    const int64_t riffEnd = std::min<int64_t>(8 + int64_t(Le32(riff + 4)), layout.fileSize);

    // The header list comes first among the RIFF's chunks, but JUNK may precede it.
    int64_t at = 12;
    while (at + 12 <= riffEnd) {
        uint8_t head[12];
        if (!ReadAt(in, at, head, 12)) return std::nullopt;
        const int64_t size = Le32(head + 4);
        if (Le32(head) == kList && Le32(head + 8) == kHdrl) {
            if (size < 4 || size > kMaxHeaderListBytes || at + 8 + size > layout.fileSize) return std::nullopt;
            std::vector<uint8_t> list(size_t(size - 4));
            if (!ReadAt(in, at + 12, list.data(), size - 4)) return std::nullopt;
            bool haveMain = false;
            const bool ok = WalkChunks(Span{list.data(), int64_t(list.size())},
                                       [&](uint32_t id, uint32_t listType, const Span& body) {
                                           if (id == kAvih && !haveMain) {
                                               if (body.size < 40) return false;
                                               MainHeader& m = layout.main;
                                               m.microSecPerFrame = Field(body, 0);
                                               m.maxBytesPerSec = Field(body, 4);
                                               m.flags = Field(body, 12);
                                               m.totalFrames = Field(body, 16);
                                               m.streams = Field(body, 24);
                                               m.width = Field(body, 32);
                                               m.height = Field(body, 36);
                                               haveMain = true;
                                           } else if (id == kList && listType == kStrl) {
                                               if (layout.streams.size() >= kMaxStreams) return false;
                                               StreamDescription stream;
                                               if (!ParseStrl(body, stream)) return false;
                                               layout.streams.push_back(std::move(stream));
                                           }
                                           return true;
                                       });
            if (!ok || !haveMain) return std::nullopt;
            return layout;
        }
        if (Le32(head) == kList && Le32(head + 8) == kMovi) break;  // data before any header
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

ChunkScan ScanChunks(const std::string& path, int streamNumber, int64_t maxChunks) {
    ChunkScan scan;
    std::ifstream in(path, std::ios::binary);
    if (!in || streamNumber < 0 || streamNumber >= int(kMaxStreams)) return scan;
    WindowReader reader(in);
    in.seekg(0, std::ios::end);
    const int64_t fileSize = in.tellg();
    const char tens = char('0' + streamNumber / 10);
    const char units = char('0' + streamNumber % 10);

    // The lists entered so far, innermost last: a loop over an explicit stack, since the
    // nesting depth is the file's to choose and the call stack is not.
    struct Level {
        int64_t at;   // next chunk header
        int64_t end;  // end of the list
        bool inData;  // inside a movi list: data chunks count
    };
    std::vector<Level> levels{{0, fileSize, false}};
    while (!levels.empty() && scan.chunkCount < maxChunks) {
        Level& level = levels.back();
        if (level.at + 8 > level.end) {
            levels.pop_back();
            continue;
        }
        const int64_t at = level.at;
        const bool inData = level.inData;
        uint8_t head[12];
        if (!reader.Read(at, head, 8)) break;
        const uint32_t id = Le32(head);
        const int64_t size = Le32(head + 4);
        level.at = at + 8 + size + (size & 1);
        if (id == kList || id == kRiff) {
            // A list cut short still holds its complete chunks.
            if (size >= 4 && reader.Read(at + 8, head + 8, 4)) {
                const uint32_t type = Le32(head + 8);
                const bool data = type == kMovi || (inData && type == kRec);
                const bool container = id == kRiff && (type == kAvi || type == kAvix);
                const int64_t listEnd = std::min(at + 8 + size, fileSize);
                if (data || container) levels.push_back(Level{at + 12, listEnd, data});
            }
        } else if (at + 8 + size > fileSize) {
            scan.damaged = true;
            break;
        } else if (inData && char(head[0]) == tens && char(head[1]) == units) {
            const bool indexOrPalette = (head[2] == 'i' && head[3] == 'x') || (head[2] == 'p' && head[3] == 'c');
            if (!indexOrPalette) {
                if (size > 0) scan.chunks.push_back(Chunk{scan.chunkCount, at, uint32_t(size)});
                ++scan.chunkCount;
            }
        }
    }
    return scan;
}

std::optional<ChunkScan> ChunksFromIndex(const std::string& path, int streamNumber, int64_t maxChunks) {
    constexpr uint32_t kIdx1 = FourCc('i', 'd', 'x', '1');
    // An index larger than this (4 million entries) is not read whole: the chunks are scanned.
    constexpr int64_t kMaxIndexBytes = int64_t(64) << 20;
    std::ifstream in(path, std::ios::binary);
    if (!in || streamNumber < 0 || streamNumber >= int(kMaxStreams) || maxChunks < 1) return std::nullopt;
    in.seekg(0, std::ios::end);
    const int64_t fileSize = in.tellg();
    uint8_t head[12];
    if (fileSize < 12 || !ReadAt(in, 0, head, 12) || Le32(head) != kRiff || Le32(head + 8) != kAvi) return std::nullopt;
    const int64_t riffEnd = std::min<int64_t>(8 + int64_t(Le32(head + 4)), fileSize);

    // The first RIFF's top-level chunks: its movi list and the idx1 after it.
    int64_t moviData = -1, moviEnd = -1, indexAt = -1, indexBytes = 0;
    for (int64_t at = 12; at + 8 <= riffEnd;) {
        if (!ReadAt(in, at, head, 12)) return std::nullopt;
        const int64_t size = Le32(head + 4);
        if (at + 8 + size > fileSize) return std::nullopt;
        if (Le32(head) == kList && size >= 4 && Le32(head + 8) == kMovi && moviData < 0) {
            moviData = at + 8;  // where idx1 offsets count from: the 'movi' word
            moviEnd = at + 8 + size;
        } else if (Le32(head) == kIdx1 && moviData >= 0) {
            indexAt = at + 8;
            indexBytes = size;
            break;
        }
        at += 8 + size + (size & 1);
    }
    if (indexAt < 0 || indexBytes < 16 || indexBytes > kMaxIndexBytes) return std::nullopt;
    std::vector<uint8_t> index(size_t(indexBytes - indexBytes % 16));
    if (!ReadAt(in, indexAt, index.data(), int64_t(index.size()))) return std::nullopt;

    const char tens = char('0' + streamNumber / 10);
    const char units = char('0' + streamNumber % 10);
    const auto ours = [&](const uint8_t* id) {
        return char(id[0]) == tens && char(id[1]) == units && !(id[2] == 'i' && id[3] == 'x') &&
               !(id[2] == 'p' && id[3] == 'c');
    };
    // Offsets count from the movi list, or, in some writers' files, from the file's start: the
    // first entry's chunk header tells which.
    int64_t base = -1;
    for (const int64_t candidate : {moviData, int64_t(0)}) {
        const int64_t at = candidate + Le32(index.data() + 8);
        uint8_t chunk[8];
        if (at >= moviData + 4 && at + 8 <= moviEnd && ReadAt(in, at, chunk, 8) &&
            std::memcmp(chunk, index.data(), 4) == 0 && Le32(chunk + 4) == Le32(index.data() + 12)) {
            base = candidate;
            break;
        }
    }
    if (base < 0) return std::nullopt;

    ChunkScan scan;
    int64_t last = moviData;
    for (size_t e = 0; e + 16 <= index.size() && scan.chunkCount < maxChunks; e += 16) {
        const uint8_t* entry = index.data() + e;
        if (!ours(entry)) continue;
        const int64_t at = base + Le32(entry + 8);
        const int64_t size = Le32(entry + 12);
        // In file order, inside the movi list, and whole.
        if (at <= last || at + 8 + size > std::min(moviEnd, fileSize)) return std::nullopt;
        last = at;
        if (size > 0) scan.chunks.push_back(Chunk{scan.chunkCount, at, uint32_t(size)});
        ++scan.chunkCount;
    }
    if (scan.chunkCount < maxChunks || scan.chunks.empty()) return std::nullopt;
    // The chunk headers at a few places must be what the index says they are.
    for (const size_t k : {size_t(0), scan.chunks.size() / 2, scan.chunks.size() - 1}) {
        const Chunk& c = scan.chunks[k];
        uint8_t chunk[8];
        if (!ReadAt(in, c.position, chunk, 8) || char(chunk[0]) != tens || char(chunk[1]) != units ||
            Le32(chunk + 4) != c.size) {
            return std::nullopt;
        }
    }
    return scan;
}

}  // namespace avifile::riff
