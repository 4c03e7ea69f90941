// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A demuxer's input over a file that keeps the bytes it reads while a video is opened: the
// digest of the file's identity, the demuxer's probe, the check of a saved index and the first
// picture's decode all read the file's head, and each byte of it is read from the file once.
// The bytes are let go after the first picture (StopKeeping), or past kKeptBytesBound.

#include <sys/stat.h>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/file_identity.h"

extern "C" {
#include <libavformat/avio.h>
}

namespace media {

class FileInput {
public:
    static constexpr int64_t kKeptBytesBound = int64_t{16} << 20;

    // Null, with errno set, when the file cannot be opened or is not a regular file.
    static std::unique_ptr<FileInput> Open(const std::string& path);
    ~FileInput();
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;

    // A new context to give a demuxer (AVFormatContext::pb), at the file's start; it lives as
    // long as this input. Null when no memory is left.
    AVIOContext* NewContext();
    int Descriptor() const { return fd_; }
    // The identity of the file, its digest's spans read through the kept bytes.
    std::optional<FileIdentity> Identity();
    // Reads up to `length` bytes at `offset` through the kept bytes: the count read (short
    // only at the file's end), or -1 with errno set.
    int64_t ReadAt(int64_t offset, uint8_t* data, int64_t length);
    // Forgets the kept bytes; later reads go to the file.
    void StopKeeping();
    // The bytes read while opening the file, kept for the next inputs of this process over
    // the same file (the batch command's preflight, then its work; each ranking worker): this
    // input takes those an earlier one kept, or keeps its identity's spans for the next, and
    // all it kept (up to 4 MiB) when it stops keeping or closes.
    void ShareSpans(const FileIdentity& identity);
    // Forgets the bytes kept for later inputs.
    static void ForgetShared();

    using Blocks = std::map<int64_t, std::vector<uint8_t>>;  // by block number

private:
    FileInput() = default;
    struct Cursor {
        FileInput* input = nullptr;
        int64_t at = 0;
        AVIOContext* io = nullptr;
    };
    static int Read(void* opaque, uint8_t* buffer, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);
    // Reads the blocks from `first` up to `last` that are not kept yet, in one read; false on
    // failure. A block is shorter than kBlockBytes only at the file's end.
    bool KeepBlocks(int64_t first, int64_t last);

    int fd_ = -1;
    struct stat status_ {};
    bool keeping_ = true;
    int64_t keptBytes_ = 0;
    void Publish();

    Blocks blocks_;
    std::optional<FileIdentity> identity_;
    std::vector<std::unique_ptr<Cursor>> cursors_;
};

}  // namespace media
