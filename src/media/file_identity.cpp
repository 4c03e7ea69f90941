// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/file_identity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <algorithm>
#include <vector>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

namespace media {
namespace {

constexpr int64_t kHeadLength = int64_t{1} << 20;
constexpr int64_t kTailLength = int64_t{64} << 10;

// Reads [offset, offset + length) whole, retrying short reads; false with errno on failure.
bool ReadFully(int fd, int64_t offset, uint8_t* data, int64_t length) {
    while (length > 0) {
        const ssize_t got = pread(fd, data, static_cast<size_t>(length), offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = EIO;  // the file shrank under us
            return false;
        }
        data += got;
        offset += got;
        length -= got;
    }
    return true;
}

}  // namespace

std::string FileIdentity::Fingerprint() const {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = std::to_string(size) + ':';
    for (uint8_t byte : headTailDigest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

DigestSpans DigestSpansOf(int64_t size) {
    DigestSpans spans;
    spans.headEnd = std::clamp<int64_t>(size, 0, kHeadLength);
    spans.tailStart = std::max(spans.headEnd, size - kTailLength);
    return spans;
}

int64_t ModifiedNs(const struct stat& status) {
    return int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec;
}

std::optional<FileIdentity> IdentityFromSpans(int64_t size, int64_t modifiedNs, const uint8_t* head,
                                              const uint8_t* tail) {
    const DigestSpans spans = DigestSpansOf(size);
    FileIdentity identity;
    identity.size = size;
    identity.modifiedNs = modifiedNs;
    AVSHA* sha = av_sha_alloc();
    if (sha == nullptr) {
        errno = ENOMEM;
        return std::nullopt;
    }
    av_sha_init(sha, 256);
    // The size goes in too, so that a file and its head alone never agree.
    uint8_t sizeBytes[8];
    for (int i = 0; i < 8; ++i) sizeBytes[i] = static_cast<uint8_t>(uint64_t(size) >> (8 * i));
    av_sha_update(sha, sizeBytes, sizeof sizeBytes);
    av_sha_update(sha, head, static_cast<unsigned>(spans.headEnd));
    av_sha_update(sha, tail, static_cast<unsigned>(size - spans.tailStart));
    av_sha_final(sha, identity.headTailDigest.data());
    av_free(sha);
    return identity;
}

std::optional<FileIdentity> IdentityOf(int fd) {
    struct stat status {};
    if (fstat(fd, &status) != 0) return std::nullopt;
    if (!S_ISREG(status.st_mode)) {
        errno = EINVAL;
        return std::nullopt;
    }
    const DigestSpans spans = DigestSpansOf(status.st_size);
    std::vector<uint8_t> buffer(static_cast<size_t>(spans.headEnd + (status.st_size - spans.tailStart)));
    if (!ReadFully(fd, 0, buffer.data(), spans.headEnd) ||
        !ReadFully(fd, spans.tailStart, buffer.data() + spans.headEnd, status.st_size - spans.tailStart))
        return std::nullopt;
    return IdentityFromSpans(status.st_size, ModifiedNs(status), buffer.data(), buffer.data() + spans.headEnd);
}

std::optional<FileIdentity> IdentityOfPath(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    auto identity = IdentityOf(fd);
    const int saved = errno;
    close(fd);
    errno = saved;
    return identity;
}

}  // namespace media
