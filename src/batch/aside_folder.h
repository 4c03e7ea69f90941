// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Many pictures written aside together: in a folder of their own inside the output directory
// ("frames.orvexa-tmp-XXXXXX", locked while this command lives, so that a later command removes
// it only when its writer died), made durable together, then each moved to its name. One wait
// for the disk serves them all, where a file written alone waits for its own; a file still
// takes its name only once its data is on disk, and a picture never chosen is removed unseen.

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

namespace batch {

class AsideFolder {
public:
    struct Part {
        const void* data;
        size_t size;
    };
    // What moving a file to its name came to.
    enum class Placed { Done, Refused, Failed };

    // Makes the folder in `directory`; Error() says why not.
    explicit AsideFolder(const QString& directory);
    // Removes whatever is still aside, and the folder.
    ~AsideFolder();
    AsideFolder(const AsideFolder&) = delete;
    AsideFolder& operator=(const AsideFolder&) = delete;

    // 0 when the folder was made, else the system's error number.
    int Error() const { return error_; }
    // Writes the parts as file `key` (a new one, or over one of that key); 0 or the error.
    int Write(int64_t key, std::initializer_list<Part> parts);
    void Remove(int64_t key);
    bool Holds(int64_t key) const { return files_.count(key) > 0; }
    // Puts file `key`'s data on disk; 0 or the error (the file is then removed).
    int Sync(int64_t key);
    // Moves file `key`, synced, to `path`: over what has the name only with `replace` (keeping
    // a replaced file's permissions), else only while the name is free (Refused otherwise).
    // `error` takes the system's error number of a failure.
    Placed Place(int64_t key, const QString& path, bool replace, int& error);

private:
    QByteArray NameOf(int64_t key) const;

    int folder_ = -1;  // open, and locked, while the folder exists
    QByteArray path_;
    int error_ = 0;
    std::unordered_set<int64_t> files_;
};

// Writes and removes files of a folder aside on a thread of its own, in the order asked: the
// thread that hands them over (the one decoding a damaged recording, the slowest of a ranking)
// does not wait on the disk. At most a few files wait to be written.
class AsideWriter {
public:
    explicit AsideWriter(AsideFolder& folder);
    // Waits for the files asked for.
    ~AsideWriter();
    AsideWriter(const AsideWriter&) = delete;
    AsideWriter& operator=(const AsideWriter&) = delete;

    // False once a write failed: nothing more is written.
    bool Write(int64_t key, std::vector<uint8_t> bytes);
    void Remove(int64_t key);
    // Waits for every file asked for; false when a write failed.
    bool Finish();

private:
    struct Task {
        int64_t key;
        bool remove;
        std::vector<uint8_t> bytes;
    };
    void Work();

    AsideFolder& folder_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task> tasks_;
    bool busy_ = false;
    bool failed_ = false;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace batch
