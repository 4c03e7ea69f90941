// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A demuxer's input over a file that reads every byte except those of the samples it is told
// to pass over, which it gives as zeros without reading them. An MP4 or MOV demuxer over it
// lists a stream's packets, times and flags from its sample tables as it would over the file,
// reading only the boxes around the samples.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavformat/avio.h>
}

namespace media {

class SampleInput {
public:
    // Null when the file cannot be opened.
    static std::unique_ptr<SampleInput> Open(const std::string& path);
    ~SampleInput();
    SampleInput(const SampleInput&) = delete;
    SampleInput& operator=(const SampleInput&) = delete;

    AVIOContext* Context() const { return io_; }
    // The byte ranges [start, end) read as zeros from now on.
    void PassOver(std::vector<std::pair<int64_t, int64_t>> ranges);

private:
    SampleInput() = default;
    static int Read(void* opaque, uint8_t* buffer, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);

    int fd_ = -1;
    int64_t at_ = 0;
    int64_t size_ = 0;
    std::vector<int64_t> starts_;  // merged ranges, ascending
    std::vector<int64_t> ends_;
    AVIOContext* io_ = nullptr;
};

}  // namespace media
