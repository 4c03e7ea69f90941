// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/aside_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "framesource/image_writers.h"
#include "framesource/naming.h"

namespace batch {

namespace {

bool WriteFully(int fd, const AsideFolder::Part& part) {
    const auto* bytes = static_cast<const char*>(part.data);
    size_t sent = 0;
    while (sent < part.size) {
        const ssize_t n = write(fd, bytes + sent, part.size - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;  // the device took nothing more
        if (n <= 0) return false;
        sent += size_t(n);
    }
    return true;
}

}  // namespace

AsideFolder::AsideFolder(const QString& directory) {
    QByteArray folder = naming::PathBytes(directory);
    if (folder.isEmpty()) folder = ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = image_writers::AsideName(folder + "/frames");
        if (mkdir(path_.constData(), 0700) == 0) break;
        path_.clear();
        if (errno != EEXIST) break;
    }
    if (path_.isEmpty()) {
        error_ = errno;
        return;
    }
    folder_ = open(path_.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) {
        error_ = errno;
        rmdir(path_.constData());
        return;
    }
    // Held until the folder is removed, or its writer dies.
    flock(folder_, LOCK_EX | LOCK_NB);
}

AsideFolder::~AsideFolder() {
    if (folder_ < 0) return;
    for (const int64_t key : files_) unlinkat(folder_, NameOf(key).constData(), 0);
    rmdir(path_.constData());
    close(folder_);
}

QByteArray AsideFolder::NameOf(int64_t key) const { return QByteArray::number(qint64(key)); }

int AsideFolder::Write(int64_t key, std::initializer_list<Part> parts) {
    if (folder_ < 0) return error_;
    const QByteArray name = NameOf(key);
    const int fd = openat(folder_, name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    files_.insert(key);
    bool complete = true;
    for (const Part& part : parts) complete = complete && WriteFully(fd, part);
    int error = complete ? 0 : errno;
    // The disk starts taking the data now; the wait for it comes once, for every file.
    if (complete) sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    if (close(fd) != 0 && complete) error = errno;
    if (error != 0) Remove(key);
    return error;
}

void AsideFolder::Remove(int64_t key) {
    if (files_.erase(key) > 0) unlinkat(folder_, NameOf(key).constData(), 0);
}

int AsideFolder::Sync(int64_t key) {
    if (!Holds(key)) return ENOENT;
    const int fd = openat(folder_, NameOf(key).constData(), O_RDONLY | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        if (fsync(fd) != 0) error = errno;
        if (close(fd) != 0 && error == 0) error = errno;
    }
    if (error != 0) Remove(key);
    return error;
}

AsideFolder::Placed AsideFolder::Place(int64_t key, const QString& path, bool replace, int& error) {
    error = 0;
    if (!Holds(key)) {
        error = ENOENT;
        return Placed::Failed;
    }
    const QByteArray name = NameOf(key);
    const QByteArray target = naming::PathBytes(path);
    bool moved = false;
    if (!replace) {
        // A free name is taken only while still free.
        moved = renameat2(folder_, name.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0;
        if (!moved && errno != EINVAL && errno != ENOSYS) {
            error = errno;
            Remove(key);
            return error == EEXIST ? Placed::Refused : Placed::Failed;
        }
        // A file system that cannot refuse to replace: the name was free a moment ago.
    }
    if (!moved) {
        // A replaced file keeps its permissions; a new one gets the umask's.
        struct stat replaced {};
        if (lstat(target.constData(), &replaced) == 0) {
            if (!replace) {
                error = EEXIST;
                Remove(key);
                return Placed::Refused;
            }
            if (S_ISREG(replaced.st_mode)) fchmodat(folder_, name.constData(), replaced.st_mode & 07777, 0);
        }
        moved = renameat(folder_, name.constData(), AT_FDCWD, target.constData()) == 0;
    }
    if (!moved) {
        error = errno;
        Remove(key);
        return Placed::Failed;
    }
    files_.erase(key);
    return Placed::Done;
}

namespace {
// Files waiting for the writer: a few megabytes of 1080p JPEG files.
constexpr size_t kWaitingFiles = 16;
}  // namespace

AsideWriter::AsideWriter(AsideFolder& folder) : folder_(folder), thread_([this] { Work(); }) {}

AsideWriter::~AsideWriter() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool AsideWriter::Write(int64_t key, std::vector<uint8_t> bytes) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return failed_ || tasks_.size() < kWaitingFiles; });
    if (failed_) return false;
    tasks_.push_back({key, false, std::move(bytes)});
    lock.unlock();
    changed_.notify_all();
    return true;
}

void AsideWriter::Remove(int64_t key) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back({key, true, {}});
    }
    changed_.notify_all();
}

bool AsideWriter::Finish() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return tasks_.empty() && !busy_; });
    return !failed_;
}

void AsideWriter::Work() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
        if (tasks_.empty()) return;
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        busy_ = true;
        const bool skip = failed_ && !task.remove;
        lock.unlock();
        changed_.notify_all();
        bool failed = false;
        if (task.remove) {
            folder_.Remove(task.key);
        } else if (!skip) {
            failed = folder_.Write(task.key, {{task.bytes.data(), task.bytes.size()}}) != 0;
        }
        lock.lock();
        busy_ = false;
        failed_ = failed_ || failed;
        changed_.notify_all();
    }
}

}  // namespace batch
