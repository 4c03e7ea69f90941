// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Where an index, once built, is found again: in this process by every reader of the same file
// (the window's, the thumbnails', each ranking worker's), and on disk by every later process.
// Both are keyed by the file's identity, so a file that changed, or another file put in its
// place, is never given an index that is not its own.
//
// A saved index is a versioned binary file signed with an HMAC-SHA-256 under a key of its
// folder's own; one that is cut short, altered, of another version, of another file or made
// elsewhere is ignored (and built again by the reader). The folder is bounded: past
// kSavedBytesBound the least recently used files go first.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/file_identity.h"

namespace media::index_store {

// What a saved file holds: one kind per reader.
enum class Kind : uint32_t { Packets = 1, AviChunks = 2 };

constexpr int64_t kSavedBytesBound = int64_t(256) << 20;

// The folder of saved indexes: the one set last, else $ORVEXA_INDEX_DIR, else
// $XDG_CACHE_HOME/orvexa/index, else ~/.cache/orvexa/index. Empty when none can be named.
std::string Directory();
// Puts the saved indexes in `directory` (empty: back to the default above).
void SetDirectory(const std::string& directory);

// The file's identity (IdentityOfPath), hashed once in this process while the file stays as
// it was (same device, inode, size, modification and change times): each worker's open of a
// video reads no digest's spans again.
std::optional<FileIdentity> IdentityFor(const std::string& path);
// The same for the file open on `fd`, hashed by `hash` when it is not known yet.
std::optional<FileIdentity> IdentityFor(int fd, const std::function<std::optional<FileIdentity>()>& hash);

// An index value shared in this process, by kind and identity (and a variant, such as an AVI
// stream's number), kept while a reader holds it and for the few last ones after.
std::shared_ptr<const void> FindShared(Kind kind, const FileIdentity& identity, int64_t variant);
void Share(Kind kind, const FileIdentity& identity, int64_t variant, std::shared_ptr<const void> value);
// Forgets the values kept after their readers closed, the identities hashed and the bytes kept
// (FileInput): the next open of a closed file looks on disk, as a new process would.
void ForgetKept();

// The payload saved for this identity and variant, when a whole, unaltered file of this
// program's version holds it.
std::optional<std::vector<uint8_t>> Load(Kind kind, const FileIdentity& identity, int64_t variant);
// Saves the payload (written aside, then renamed); false when it could not be written. Then
// removes the oldest files past the bound.
bool Save(Kind kind, const FileIdentity& identity, int64_t variant, const std::vector<uint8_t>& payload);
// Whether an index of any kind is saved for this file.
bool HasSaved(const FileIdentity& identity);
// The file a payload is saved in (for tests and the command that lists them).
std::string PathOf(Kind kind, const FileIdentity& identity, int64_t variant);

// Little-endian fields of a payload; every read is checked against what is left.
class PayloadWriter {
public:
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U32(uint32_t v);
    void I64(int64_t v);
    void F64(double v);
    // A signed number in 1 to 10 bytes, the smaller the nearer it is to zero.
    void Varint(int64_t v);
    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

class PayloadReader {
public:
    explicit PayloadReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool U8(uint8_t& v);
    bool U32(uint32_t& v);
    bool I64(int64_t& v);
    bool F64(double& v);
    bool Varint(int64_t& v);
    // A count of items of `itemBytes` each that the rest of the payload can hold, at most `most`.
    bool Count(uint64_t itemBytes, uint64_t most, size_t& count);
    bool AtEnd() const { return at_ == bytes_.size(); }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

}  // namespace media::index_store
