// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/index_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <mutex>
#include <tuple>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/hmac.h>
#include <libavutil/mem.h>
}

#include "media/file_input.h"

namespace media::index_store {
namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'X', 'I', 'D', 'X', '\n'};
// Raised whenever what an index holds, or how a reader builds it, changes.
constexpr uint32_t kFormatVersion = 4;
constexpr char kSuffix[] = ".oix";
// A saved file larger than this is not one of ours.
constexpr int64_t kMaxFileBytes = int64_t(1) << 30;
// Indexes kept in this process after their last reader closed, for the next open of the file
// (the batch command's preflight, then its ranking).
constexpr size_t kKeptAfterClose = 4;
constexpr size_t kDigestBytes = 32;
// Magic, version, kind, libavformat's version, variant, size, time, head and tail digest,
// payload length.
constexpr size_t kHeaderBytes = 8 + 4 + 4 + 4 + 8 + 8 + 8 + 32 + 8;

struct Settings {
    std::mutex mutex;
    std::string directory;
};
Settings& TheSettings() {
    static Settings settings;
    return settings;
}

using Key = std::tuple<uint32_t, int64_t, int64_t, std::array<uint8_t, 32>, int64_t>;
Key KeyOf(Kind kind, const FileIdentity& identity, int64_t variant) {
    return {uint32_t(kind), identity.size, identity.modifiedNs, identity.headTailDigest, variant};
}

struct Shared {
    std::mutex mutex;
    std::map<Key, std::weak_ptr<const void>> live;
    std::deque<std::shared_ptr<const void>> kept;
};
Shared& TheShared() {
    static Shared shared;
    return shared;
}

// Identities already hashed, by the file's device, inode, size, modification and change times.
struct Identities {
    std::mutex mutex;
    std::map<std::array<int64_t, 5>, FileIdentity> known;
};
Identities& TheIdentities() {
    static Identities identities;
    return identities;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void Put64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
uint64_t Get64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}
uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::vector<uint8_t> Header(Kind kind, const FileIdentity& identity, int64_t variant, uint64_t payloadBytes) {
    std::vector<uint8_t> header(kMagic, kMagic + sizeof kMagic);
    Put32(header, kFormatVersion);
    Put32(header, uint32_t(kind));
    Put32(header, avformat_version());
    Put64(header, uint64_t(variant));
    Put64(header, uint64_t(identity.size));
    Put64(header, uint64_t(identity.modifiedNs));
    header.insert(header.end(), identity.headTailDigest.begin(), identity.headTailDigest.end());
    Put64(header, payloadBytes);
    return header;
}

// The folder's own secret, made at its first save: a saved file is signed with it, so that a
// file made anywhere else, however well formed, is not taken.
constexpr char kKeyName[] = ".key";
constexpr size_t kKeyBytes = 32;

bool ReadKey(const std::string& directory, std::array<uint8_t, kKeyBytes>& key) {
    const int fd = open((directory + "/" + kKeyName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const ssize_t got = read(fd, key.data(), key.size());
    close(fd);
    return got == ssize_t(key.size());
}

bool MakeKey(const std::string& directory, std::array<uint8_t, kKeyBytes>& key) {
    if (ReadKey(directory, key)) return true;
    const int random = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (random < 0) return false;
    const bool drawn = read(random, key.data(), key.size()) == ssize_t(key.size());
    close(random);
    if (!drawn) return false;
    std::string aside = directory + "/" + kKeyName + ".XXXXXX";
    const int fd = mkstemp(aside.data());
    if (fd < 0) return false;
    const bool wrote = write(fd, key.data(), key.size()) == ssize_t(key.size());
    // Two processes may make one at once: the first renamed in place is everyone's.
    const bool placed = close(fd) == 0 && wrote && link(aside.c_str(), (directory + "/" + kKeyName).c_str()) == 0;
    unlink(aside.c_str());
    return placed ? true : ReadKey(directory, key);
}

bool Digest(const std::array<uint8_t, kKeyBytes>& key, const std::vector<uint8_t>& header, const uint8_t* payload,
            size_t payloadBytes, uint8_t* digest) {
    AVHMAC* hmac = av_hmac_alloc(AV_HMAC_SHA256);
    if (!hmac) return false;
    av_hmac_init(hmac, key.data(), unsigned(key.size()));
    av_hmac_update(hmac, header.data(), unsigned(header.size()));
    // The length is an unsigned int: a large payload goes in pieces.
    for (size_t at = 0; at < payloadBytes;) {
        const size_t piece = std::min<size_t>(payloadBytes - at, size_t(1) << 30);
        av_hmac_update(hmac, payload + at, unsigned(piece));
        at += piece;
    }
    const int made = av_hmac_final(hmac, digest, unsigned(kDigestBytes));
    av_hmac_free(hmac);
    return made == int(kDigestBytes);
}

bool WriteAll(int fd, const uint8_t* data, size_t bytes) {
    while (bytes > 0) {
        const ssize_t wrote = write(fd, data, bytes);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        data += wrote;
        bytes -= size_t(wrote);
    }
    return true;
}

bool MakeDirectories(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Removes the least recently used saved files until the folder is within its bound.
void Trim(const std::string& directory) {
    DIR* dir = opendir(directory.c_str());
    if (!dir) return;
    struct Entry {
        std::string path;
        int64_t bytes;
        int64_t usedNs;
    };
    std::vector<Entry> entries;
    int64_t total = 0;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() <= sizeof kSuffix - 1 ||
            name.compare(name.size() - (sizeof kSuffix - 1), std::string::npos, kSuffix) != 0) {
            continue;
        }
        const std::string path = directory + "/" + name;
        struct stat status {};
        if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
        entries.push_back(
            {path, status.st_size, int64_t(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec});
        total += status.st_size;
    }
    closedir(dir);
    if (total <= kSavedBytesBound) return;
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.usedNs < b.usedNs; });
    for (const Entry& e : entries) {
        if (total <= kSavedBytesBound) break;
        if (unlink(e.path.c_str()) == 0) total -= e.bytes;
    }
}

std::string Hex(const uint8_t* data, size_t bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < bytes; ++i) {
        text += kHex[data[i] >> 4];
        text += kHex[data[i] & 15];
    }
    return text;
}

}  // namespace

std::string Directory() {
    Settings& s = TheSettings();
    {
        std::lock_guard lock(s.mutex);
        if (!s.directory.empty()) return s.directory;
    }
    if (const char* own = std::getenv("ORVEXA_INDEX_DIR"); own && *own) return own;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/') {
        return std::string(cache) + "/orvexa/index";
    }
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.cache/orvexa/index";
    return {};
}

void SetDirectory(const std::string& directory) {
    Settings& s = TheSettings();
    std::lock_guard lock(s.mutex);
    s.directory = directory;
}

namespace {

// The identity known for a file of this status, else hashed and kept when the file did not
// change while it was hashed.
std::optional<FileIdentity> Remembered(const struct stat& status,
                                       const std::function<std::optional<FileIdentity>()>& hash) {
    const auto ns = [](const timespec& t) { return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    const std::array<int64_t, 5> key{int64_t(status.st_dev), int64_t(status.st_ino), int64_t(status.st_size),
                                     ns(status.st_mtim), ns(status.st_ctim)};
    Identities& identities = TheIdentities();
    {
        std::lock_guard lock(identities.mutex);
        if (const auto it = identities.known.find(key); it != identities.known.end()) return it->second;
    }
    std::optional<FileIdentity> identity = hash();
    if (identity && identity->size == key[2] && identity->modifiedNs == key[3]) {
        std::lock_guard lock(identities.mutex);
        if (identities.known.size() >= 256) identities.known.clear();
        identities.known[key] = *identity;
    }
    return identity;
}

}  // namespace

std::optional<FileIdentity> IdentityFor(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return IdentityOfPath(path);
    return Remembered(status, [&] { return IdentityOfPath(path); });
}

std::optional<FileIdentity> IdentityFor(int fd, const std::function<std::optional<FileIdentity>()>& hash) {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return hash();
    return Remembered(status, hash);
}

std::shared_ptr<const void> FindShared(Kind kind, const FileIdentity& identity, int64_t variant) {
    Shared& shared = TheShared();
    std::lock_guard lock(shared.mutex);
    const auto it = shared.live.find(KeyOf(kind, identity, variant));
    return it == shared.live.end() ? nullptr : it->second.lock();
}

void Share(Kind kind, const FileIdentity& identity, int64_t variant, std::shared_ptr<const void> value) {
    Shared& shared = TheShared();
    std::lock_guard lock(shared.mutex);
    for (auto it = shared.live.begin(); it != shared.live.end();) {
        it = it->second.expired() ? shared.live.erase(it) : std::next(it);
    }
    shared.live[KeyOf(kind, identity, variant)] = value;
    shared.kept.push_back(std::move(value));
    if (shared.kept.size() > kKeptAfterClose) shared.kept.pop_front();
}

void ForgetKept() {
    FileInput::ForgetShared();
    {
        Shared& shared = TheShared();
        std::lock_guard lock(shared.mutex);
        shared.kept.clear();
    }
    Identities& identities = TheIdentities();
    std::lock_guard lock(identities.mutex);
    identities.known.clear();
}

std::string PathOf(Kind kind, const FileIdentity& identity, int64_t variant) {
    const std::string directory = Directory();
    if (directory.empty()) return {};
    return directory + "/" + std::to_string(uint32_t(kind)) + "-" + std::to_string(identity.size) + "-" +
           std::to_string(identity.modifiedNs) + "-" + Hex(identity.headTailDigest.data(), 16) + "-" +
           std::to_string(variant) + kSuffix;
}

bool HasSaved(const FileIdentity& identity) {
    const std::string directory = Directory();
    DIR* dir = directory.empty() ? nullptr : opendir(directory.c_str());
    if (!dir) return false;
    // The name without its kind and variant (see PathOf).
    const std::string middle = "-" + std::to_string(identity.size) + "-" + std::to_string(identity.modifiedNs) + "-" +
                               Hex(identity.headTailDigest.data(), 16) + "-";
    bool found = false;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.find(middle) != std::string::npos && name.size() > 4 &&
            name.compare(name.size() - 4, 4, kSuffix) == 0) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

std::optional<std::vector<uint8_t>> Load(Kind kind, const FileIdentity& identity, int64_t variant) {
    const std::string path = PathOf(kind, identity, variant);
    if (path.empty()) return std::nullopt;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    struct stat status {};
    std::vector<uint8_t> bytes;
    bool read = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                status.st_size >= int64_t(kHeaderBytes + kDigestBytes) && status.st_size <= kMaxFileBytes;
    if (read) {
        bytes.resize(size_t(status.st_size));
        size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + at, bytes.size() - at);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            at += size_t(got);
        }
        read = at == bytes.size();
    }
    close(fd);
    if (!read) return std::nullopt;
    // Every field of the header must be this file's, this kind's and this version's.
    const uint64_t payloadBytes = Get64(bytes.data() + kHeaderBytes - 8);
    if (payloadBytes != bytes.size() - kHeaderBytes - kDigestBytes) return std::nullopt;
    const std::vector<uint8_t> expected = Header(kind, identity, variant, payloadBytes);
    if (!std::equal(expected.begin(), expected.end(), bytes.begin())) return std::nullopt;
    uint8_t digest[kDigestBytes];
    std::array<uint8_t, kKeyBytes> key{};
    if (!ReadKey(path.substr(0, path.rfind('/')), key) ||
        !Digest(key, expected, bytes.data() + kHeaderBytes, size_t(payloadBytes), digest) ||
        std::memcmp(digest, bytes.data() + kHeaderBytes + payloadBytes, kDigestBytes) != 0) {
        return std::nullopt;
    }
    // Used now: the last to be removed when the folder is trimmed.
    utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
    return std::vector<uint8_t>(bytes.begin() + kHeaderBytes, bytes.begin() + int64_t(kHeaderBytes + payloadBytes));
}

bool Save(Kind kind, const FileIdentity& identity, int64_t variant, const std::vector<uint8_t>& payload) {
    const std::string path = PathOf(kind, identity, variant);
    if (path.empty() || int64_t(payload.size()) > kMaxFileBytes / 2) return false;
    const std::string directory = path.substr(0, path.rfind('/'));
    if (!MakeDirectories(directory)) return false;
    std::vector<uint8_t> bytes = Header(kind, identity, variant, payload.size());
    uint8_t digest[kDigestBytes];
    std::array<uint8_t, kKeyBytes> key{};
    if (!MakeKey(directory, key) || !Digest(key, bytes, payload.data(), payload.size(), digest)) return false;
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    bytes.insert(bytes.end(), digest, digest + kDigestBytes);

    std::string aside = path + ".XXXXXX";
    const int fd = mkstemp(aside.data());
    if (fd < 0) return false;
    const bool wrote = WriteAll(fd, bytes.data(), bytes.size());
    const bool closed = close(fd) == 0;
    if (!wrote || !closed || rename(aside.c_str(), path.c_str()) != 0) {
        unlink(aside.c_str());
        return false;
    }
    Trim(directory);
    return true;
}

void PayloadWriter::U32(uint32_t v) { Put32(bytes_, v); }
void PayloadWriter::I64(int64_t v) { Put64(bytes_, uint64_t(v)); }
void PayloadWriter::F64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    Put64(bytes_, bits);
}

void PayloadWriter::Varint(int64_t v) {
    // Zigzag: the sign in the lowest bit. Then seven bits a byte, the highest bit telling more.
    uint64_t u = uint64_t(v) << 1 ^ uint64_t(v >> 63);
    while (u >= 0x80) {
        bytes_.push_back(uint8_t(u | 0x80));
        u >>= 7;
    }
    bytes_.push_back(uint8_t(u));
}

bool PayloadReader::Varint(int64_t& v) {
    uint64_t u = 0;
    for (int shift = 0;; shift += 7) {
        if (at_ == bytes_.size() || shift > 63) return false;
        const uint8_t byte = bytes_[at_++];
        // The tenth byte holds the one bit left; a number is written in its fewest bytes.
        if (shift == 63 && byte > 1) return false;
        u |= uint64_t(byte & 0x7f) << shift;
        if (!(byte & 0x80)) {
            if (byte == 0 && shift > 0) return false;
            break;
        }
    }
    v = int64_t(u >> 1) ^ -int64_t(u & 1);
    return true;
}

bool PayloadReader::U8(uint8_t& v) {
    if (bytes_.size() - at_ < 1) return false;
    v = bytes_[at_++];
    return true;
}
bool PayloadReader::U32(uint32_t& v) {
    if (bytes_.size() - at_ < 4) return false;
    v = Get32(bytes_.data() + at_);
    at_ += 4;
    return true;
}
bool PayloadReader::I64(int64_t& v) {
    if (bytes_.size() - at_ < 8) return false;
    v = int64_t(Get64(bytes_.data() + at_));
    at_ += 8;
    return true;
}
bool PayloadReader::F64(double& v) {
    int64_t bits;
    if (!I64(bits)) return false;
    std::memcpy(&v, &bits, sizeof v);
    return true;
}
bool PayloadReader::Count(uint64_t itemBytes, uint64_t most, size_t& count) {
    int64_t n;
    if (!I64(n) || n < 0 || uint64_t(n) > most) return false;
    if (itemBytes > 0 && uint64_t(n) > (bytes_.size() - at_) / itemBytes) return false;
    count = size_t(n);
    return true;
}

}  // namespace media::index_store
