// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/sample_input.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace media {
namespace {
constexpr int kBufferBytes = 1 << 16;
}

std::unique_ptr<SampleInput> SampleInput::Open(const std::string& path) {
    std::unique_ptr<SampleInput> input(new SampleInput());
    input->fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (input->fd_ < 0) return nullptr;
    input->size_ = lseek(input->fd_, 0, SEEK_END);
    if (input->size_ < 0) return nullptr;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferBytes));
    if (!buffer) return nullptr;
    input->io_ = avio_alloc_context(buffer, kBufferBytes, 0, input.get(), &Read, nullptr, &Seek);
    if (!input->io_) {
        av_free(buffer);
        return nullptr;
    }
    return input;
}

SampleInput::~SampleInput() {
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (fd_ >= 0) close(fd_);
}

void SampleInput::PassOver(std::vector<std::pair<int64_t, int64_t>> ranges) {
    std::sort(ranges.begin(), ranges.end());
    starts_.clear();
    ends_.clear();
    for (const auto& [start, end] : ranges) {
        if (end <= start) continue;
        if (!ends_.empty() && start <= ends_.back()) {
            ends_.back() = std::max(ends_.back(), end);
        } else {
            starts_.push_back(start);
            ends_.push_back(end);
        }
    }
}

int SampleInput::Read(void* opaque, uint8_t* buffer, int size) {
    auto& self = *static_cast<SampleInput*>(opaque);
    if (size <= 0) return 0;
    if (self.at_ >= self.size_) return AVERROR_EOF;
    int64_t want = std::min<int64_t>(size, self.size_ - self.at_);
    // The first range that ends after where the reading stands.
    const size_t r = size_t(std::upper_bound(self.ends_.begin(), self.ends_.end(), self.at_) - self.ends_.begin());
    if (r < self.starts_.size() && self.starts_[r] <= self.at_) {
        const int64_t zeros = std::min(want, self.ends_[r] - self.at_);
        std::memset(buffer, 0, size_t(zeros));
        self.at_ += zeros;
        return int(zeros);
    }
    if (r < self.starts_.size()) want = std::min(want, self.starts_[r] - self.at_);
    while (true) {
        const ssize_t got = pread(self.fd_, buffer, size_t(want), self.at_);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return AVERROR(errno);
        if (got == 0) return AVERROR_EOF;
        self.at_ += got;
        return int(got);
    }
}

int64_t SampleInput::Seek(void* opaque, int64_t offset, int whence) {
    auto& self = *static_cast<SampleInput*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return self.size_;
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += self.at_;
            break;
        case SEEK_END:
            offset += self.size_;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (offset < 0) return AVERROR(EINVAL);
    self.at_ = offset;
    return offset;
}

}  // namespace media
