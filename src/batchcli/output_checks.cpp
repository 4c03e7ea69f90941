// SPDX-License-Identifier: GPL-2.0-or-later
#include "batchcli/output_checks.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "framesource/naming.h"

namespace batch {

namespace {

std::string Bytes(const QString& path) { return naming::PathBytes(path).toStdString(); }

// The folder a file goes into, "." for a bare name.
std::string FolderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? std::string(".") : folder;
}

// Why nothing can be made in the file's folder; 0 when something can.
int FolderError(const std::string& path) {
    struct stat status {};
    const std::string folder = FolderOf(path);
    if (stat(folder.c_str(), &status) != 0) return errno;
    if (!S_ISDIR(status.st_mode)) return ENOTDIR;
    return access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

}  // namespace

QString WriteFailureReason(int error) {
    switch (error) {
        case 0:
            return QStringLiteral("write failed");
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("no space left on device");
        case EACCES:
        case EPERM:
            return QStringLiteral("permission denied");
        case ENOENT:
        case ENOTDIR:
            return QStringLiteral("no such directory");
        case EROFS:
            return QStringLiteral("read-only file system");
        case EISDIR:
            return QStringLiteral("is a directory");
        case EEXIST:
            return QStringLiteral("file exists");
        default:
            return QString::fromLocal8Bit(std::strerror(error)).toLower();
    }
}

QString WriteFailure(const QString& path, int error) {
    return QStringLiteral("%1: cannot write: %2").arg(path, WriteFailureReason(error));
}

QString WriteFailure(const errors::FileError& error) {
    if (error.step == errors::FileError::Step::Encode) {
        return QStringLiteral("%1: cannot write: the picture cannot be encoded as this type").arg(error.path);
    }
    return WriteFailure(error.path, error.systemError);
}

QString PlotMistake(const Settings& s) {
    if (s.plot.isEmpty()) return {};
    const std::string plot = Bytes(s.plot);
    struct stat link {};
    if (lstat(plot.c_str(), &link) != 0) {
        const int error = FolderError(plot);
        return error == 0 ? QString() : WriteFailure(s.plot, error);
    }
    for (const QString& video : s.videos) {
        struct stat v {};
        if (stat(Bytes(video).c_str(), &v) == 0 && v.st_dev == link.st_dev && v.st_ino == link.st_ino) {
            return QStringLiteral("%1: is the video %2: the plot would replace it").arg(s.plot, video);
        }
    }
    if (!S_ISREG(link.st_mode)) return QStringLiteral("%1: not a regular file: the plot replaces only one").arg(s.plot);
    if (s.existing != Existing::Overwrite) return QStringLiteral("%1: file exists (use --overwrite)").arg(s.plot);
    const int error = FolderError(plot);
    return error == 0 ? QString() : WriteFailure(s.plot, error);
}

QString ManifestMistake(const Settings& s) {
    if (s.manifest.isEmpty()) return {};
    const std::string manifest = Bytes(s.manifest);
    struct stat link {};
    if (lstat(manifest.c_str(), &link) == 0 && S_ISDIR(link.st_mode)) return WriteFailure(s.manifest, EISDIR);
    const int error = FolderError(manifest);
    return error == 0 ? QString() : WriteFailure(s.manifest, error);
}

}  // namespace batch
