// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/file_input.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace media {
namespace {
// FFmpeg's own file input reads in pieces of this size.
constexpr int kBufferBytes = 1 << 15;
constexpr int64_t kBlockBytes = int64_t{1} << 15;
// Files whose first bytes read are kept after their inputs closed, and how many of them.
constexpr size_t kSpansKept = 4;
constexpr int64_t kSharedBytesBound = int64_t{4} << 20;
}  // namespace

std::unique_ptr<FileInput> FileInput::Open(const std::string& path) {
    std::unique_ptr<FileInput> input(new FileInput());
    input->fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (input->fd_ < 0) return nullptr;
    if (fstat(input->fd_, &input->status_) != 0) return nullptr;
    if (!S_ISREG(input->status_.st_mode)) {
        errno = EINVAL;
        return nullptr;
    }
    return input;
}

FileInput::~FileInput() {
    if (keeping_) Publish();
    for (const auto& cursor : cursors_) {
        av_freep(&cursor->io->buffer);
        avio_context_free(&cursor->io);
    }
    if (fd_ >= 0) close(fd_);
}

AVIOContext* FileInput::NewContext() {
    auto cursor = std::make_unique<Cursor>();
    cursor->input = this;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferBytes));
    if (!buffer) return nullptr;
    cursor->io = avio_alloc_context(buffer, kBufferBytes, 0, cursor.get(), &Read, nullptr, &Seek);
    if (!cursor->io) {
        av_free(buffer);
        return nullptr;
    }
    cursors_.push_back(std::move(cursor));
    return cursors_.back()->io;
}

std::optional<FileIdentity> FileInput::Identity() {
    const int64_t size = status_.st_size;
    const DigestSpans spans = DigestSpansOf(size);
    std::vector<uint8_t> head(size_t(spans.headEnd));
    std::vector<uint8_t> tail(size_t(size - spans.tailStart));
    if (ReadAt(0, head.data(), int64_t(head.size())) != int64_t(head.size()) ||
        ReadAt(spans.tailStart, tail.data(), int64_t(tail.size())) != int64_t(tail.size())) {
        if (errno == 0) errno = EIO;  // the file shrank under us
        return std::nullopt;
    }
    return IdentityFromSpans(size, ModifiedNs(status_), head.data(), tail.data());
}

void FileInput::StopKeeping() {
    // What the open read serves the next reader of the file in this process.
    if (keeping_) Publish();
    keeping_ = false;
    blocks_.clear();
    keptBytes_ = 0;
}

namespace {

// The file as it was when its bytes were kept: a write changes its change time.
using Place = std::array<int64_t, 3>;
Place PlaceOf(const struct stat& status) {
    return {int64_t(status.st_dev), int64_t(status.st_ino),
            int64_t(status.st_ctim.tv_sec) * 1'000'000'000 + status.st_ctim.tv_nsec};
}

struct Kept {
    FileIdentity identity;
    Place place;
    std::shared_ptr<const FileInput::Blocks> blocks;
};

struct SharedBlocks {
    std::mutex mutex;
    std::deque<Kept> kept;
};

SharedBlocks& TheShared() {
    static SharedBlocks shared;
    return shared;
}

}  // namespace

void FileInput::ShareSpans(const FileIdentity& identity) {
    identity_ = identity;
    std::shared_ptr<const Blocks> found;
    {
        SharedBlocks& shared = TheShared();
        std::lock_guard lock(shared.mutex);
        for (const Kept& k : shared.kept) {
            if (k.identity == identity && k.place == PlaceOf(status_)) found = k.blocks;
        }
    }
    if (found) {
        if (!keeping_ || identity.size != status_.st_size) return;
        for (const auto& [block, bytes] : *found) {
            if (blocks_.emplace(block, bytes).second) keptBytes_ += int64_t(bytes.size());
        }
        return;
    }
    Publish();
}

void FileInput::ForgetShared() {
    SharedBlocks& shared = TheShared();
    std::lock_guard lock(shared.mutex);
    shared.kept.clear();
}

void FileInput::Publish() {
    if (!identity_ || identity_->size != status_.st_size) return;
    const DigestSpans spans = DigestSpansOf(identity_->size);
    // Every block kept when they are few, else the blocks of the spans.
    auto blocks = std::make_shared<Blocks>();
    if (keptBytes_ <= kSharedBytesBound) {
        *blocks = blocks_;
    } else {
        for (const auto& [block, bytes] : blocks_) {
            const int64_t start = block * kBlockBytes;
            if (start < spans.headEnd || start + kBlockBytes > spans.tailStart) blocks->emplace(block, bytes);
        }
    }
    // Nothing is kept unless the spans are: the next input would read them again.
    const auto holds = [&](int64_t start, int64_t end) {
        for (int64_t block = start / kBlockBytes; block * kBlockBytes < end; ++block) {
            if (!blocks->count(block)) return false;
        }
        return true;
    };
    if (!holds(0, spans.headEnd) || !holds(spans.tailStart, identity_->size)) return;
    SharedBlocks& shared = TheShared();
    std::lock_guard lock(shared.mutex);
    for (auto it = shared.kept.begin(); it != shared.kept.end(); ++it) {
        if (it->identity == *identity_) {
            shared.kept.erase(it);
            break;
        }
    }
    shared.kept.push_back({*identity_, PlaceOf(status_), std::move(blocks)});
    if (shared.kept.size() > kSpansKept) shared.kept.pop_front();
}

bool FileInput::KeepBlocks(int64_t first, int64_t last) {
    const int64_t start = first * kBlockBytes;
    const int64_t end = std::min<int64_t>((last + 1) * kBlockBytes, status_.st_size);
    if (end <= start) return true;
    std::vector<uint8_t> bytes(size_t(end - start));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = pread(fd_, bytes.data() + got, bytes.size() - got, start + int64_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;  // the file shrank: what is left is kept
        got += size_t(n);
    }
    for (int64_t block = first; block <= last; ++block) {
        const size_t from = size_t((block - first) * kBlockBytes);
        if (from >= got) break;
        const size_t to = std::min(got, from + size_t(kBlockBytes));
        blocks_[block].assign(bytes.begin() + int64_t(from), bytes.begin() + int64_t(to));
        keptBytes_ += int64_t(to - from);
    }
    return true;
}

int64_t FileInput::ReadAt(int64_t offset, uint8_t* data, int64_t length) {
    errno = 0;
    int64_t done = 0;
    while (done < length) {
        const int64_t at = offset + done;
        const int64_t block = at / kBlockBytes;
        auto it = blocks_.find(block);
        if (it == blocks_.end() && keeping_ && keptBytes_ < kKeptBytesBound && at < status_.st_size) {
            // The blocks the rest of the request covers, up to the next one kept.
            int64_t last = (offset + length - 1) / kBlockBytes;
            const auto next = blocks_.upper_bound(block);
            if (next != blocks_.end()) last = std::min(last, next->first - 1);
            if (!KeepBlocks(block, last)) return -1;
            it = blocks_.find(block);
        }
        if (it != blocks_.end()) {
            const int64_t within = at - block * kBlockBytes;
            if (within >= int64_t(it->second.size())) break;  // the file's end
            const int64_t n = std::min(length - done, int64_t(it->second.size()) - within);
            std::memcpy(data + done, it->second.data() + within, size_t(n));
            done += n;
            continue;
        }
        // Not kept: read straight into the caller's buffer, up to the next block kept.
        int64_t want = length - done;
        const auto next = blocks_.upper_bound(block);
        if (next != blocks_.end()) want = std::min(want, next->first * kBlockBytes - at);
        const ssize_t n = pread(fd_, data + done, size_t(want), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += n;
    }
    return done;
}

int FileInput::Read(void* opaque, uint8_t* buffer, int size) {
    auto& cursor = *static_cast<Cursor*>(opaque);
    if (size <= 0) return 0;
    const int64_t got = cursor.input->ReadAt(cursor.at, buffer, size);
    if (got < 0) return AVERROR(errno);
    if (got == 0) return AVERROR_EOF;
    cursor.at += got;
    return int(got);
}

int64_t FileInput::Seek(void* opaque, int64_t offset, int whence) {
    auto& cursor = *static_cast<Cursor*>(opaque);
    const int fd = cursor.input->fd_;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: {
            struct stat status {};
            return fstat(fd, &status) == 0 ? int64_t(status.st_size) : AVERROR(errno);
        }
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += cursor.at;
            break;
        case SEEK_END: {
            struct stat status {};
            if (fstat(fd, &status) != 0) return AVERROR(errno);
            offset += status.st_size;
            break;
        }
        default:
            return AVERROR(EINVAL);
    }
    if (offset < 0) return AVERROR(EINVAL);
    cursor.at = offset;
    return offset;
}

}  // namespace media
