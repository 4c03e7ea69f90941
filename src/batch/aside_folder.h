// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Many pictures written aside together: in a folder of their own inside the output directory
// ("frames.orvexa-tmp-XXXXXX", locked while this command lives, so that a later command removes
// it only when its writer died), made durable together, then each moved to its name. One wait
// for the disk serves them all, where a file written alone waits for its own; a file still
// takes its name only once its data is on disk, and a picture never chosen is removed unseen.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <unordered_set>

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

}  // namespace batch
