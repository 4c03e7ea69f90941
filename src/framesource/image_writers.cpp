// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/image_writers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "base/dialogs.h"
#include "base/errors.h"
#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "framesource/naming.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"

namespace image_writers {
namespace {

enum class Place { Free, Replace, Refused };

// Whether the path is free, or taken by a file the user agrees to replace.
Place AskPlace(const QString& path) {
    if (!Taken(path)) return Place::Free;
    const auto answer = dialogs::current().messageBox(QString("Ecraser : %1 ?").arg(QFileInfo(path).fileName()),
                                                      "Fichier Existant", dialogs::Buttons::OkCancel);
    return answer == dialogs::Answer::Ok ? Place::Replace : Place::Refused;
}

struct Part {
    const void* data;
    int64_t size;
};

enum class Written { Done, Refused, CannotCreate, Failed };

// What a write came to, with the system's error number when it failed.
struct Outcome {
    Written kind = Written::Done;
    int error = 0;
};

bool WriteFully(int fd, const Part& part) {
    const auto* bytes = static_cast<const char*>(part.data);
    int64_t sent = 0;
    while (sent < part.size) {
        const ssize_t n = write(fd, bytes + sent, size_t(part.size - sent));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;  // the device took nothing more
        if (n <= 0) return false;
        sent += n;
    }
    return true;
}

// A file written aside is "NAME.orvexa-tmp-XXXXXX", locked while its writer lives: a later run
// tells its own leftovers from anyone else's files, and from a write still going on.
constexpr char kAsideMark[] = ".orvexa-tmp-";
constexpr int kAsideDigits = 6;

bool IsAsideName(const QByteArray& name) {
    const qsizetype mark = name.size() - kAsideDigits - qsizetype(std::strlen(kAsideMark));
    if (mark <= 0 || name.mid(mark, qsizetype(std::strlen(kAsideMark))) != kAsideMark) return false;
    for (qsizetype i = name.size() - kAsideDigits; i < name.size(); ++i) {
        if (!std::isdigit(uchar(name[i])) && !(name[i] >= 'a' && name[i] <= 'z')) return false;
    }
    return true;
}

// Writes the parts into a new file beside the path, then renames it over the path once
// complete, so a failed write neither leaves a partial picture nor loses the file the user
// agreed to replace. The rename replaces what has the name, a symbolic link itself rather than
// its target. A file that takes a free name meanwhile is asked about again.
Outcome WriteAside(const QString& path, Place place, std::initializer_list<Part> parts) {
    if (place == Place::Refused) return {Written::Refused, EEXIST};
    const QByteArray target = naming::PathBytes(path);
    QByteArray aside;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        aside = AsideName(target);
        fd = open(aside.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return {Written::CannotCreate, errno};
    // Held until the file is closed, or its writer dies.
    flock(fd, LOCK_EX | LOCK_NB);
    // A replaced file keeps its permissions; a new one gets the umask's.
    struct stat replaced {};
    if (lstat(target.constData(), &replaced) == 0 && S_ISREG(replaced.st_mode)) fchmod(fd, replaced.st_mode & 07777);
    bool complete = true;
    for (const Part& part : parts) complete = complete && WriteFully(fd, part);
    complete = complete && fsync(fd) == 0;
    int error = complete ? 0 : errno;
    if (close(fd) != 0 && complete) {
        complete = false;
        error = errno;
    }
    if (complete) {
        int refusal = 0;
        if (place == Place::Free) {
            // A free name is taken only while still free.
            if (renameat2(AT_FDCWD, aside.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) {
                return {Written::Done};
            }
            refusal = errno;
        }
        if (refusal == EEXIST) place = AskPlace(path);
        // A file system that cannot refuse to replace: the name was free a moment ago.
        if (refusal == EINVAL || refusal == ENOSYS) place = Place::Replace;
        if (place == Place::Replace && rename(aside.constData(), target.constData()) == 0) return {Written::Done};
        error = place == Place::Replace ? errno : refusal;
    }
    unlink(aside.constData());
    if (place == Place::Refused) return {Written::Refused, EEXIST};
    return {Written::Failed, error};
}

int64_t OutputDibBytes(const FrameSource& source) {
    return int64_t(sizeof(dib::BitmapInfoHeader)) + source.PaletteBytes() + source.OutputImageSize();
}

// The file header and the whole DIB as two writes.
bool WriteBmpParts(QIODevice& stream, const dib::BitmapFileHeader& header, const uint8_t* packedDib, int64_t size) {
    if (stream.write(reinterpret_cast<const char*>(&header), sizeof header) != qint64(sizeof header)) {
        return false;
    }
    return stream.write(reinterpret_cast<const char*>(packedDib), size) == size;
}

bool WriteBmpAside(const QString& path, const dib::BitmapFileHeader& header, const uint8_t* packedDib, int64_t size,
                   errors::FileError* error = nullptr) {
    using Step = errors::FileError::Step;
    // The header and the whole DIB go out as two writes, straight from the picture.
    const Outcome outcome = WriteAside(path, AskPlace(path), {{&header, int64_t(sizeof header)}, {packedDib, size}});
    switch (outcome.kind) {
        case Written::Done:
            return true;
        case Written::CannotCreate:
            throw errors::FileFailure(errors::FileError::Of(Step::Unopened, path, outcome.error));
        default:
            if (error) *error = errors::FileError::Of(Step::Write, path, outcome.error);
            return false;
    }
}

// The writers of encoded pictures end the command when the user refuses to replace the file or
// the file cannot be written.
void WriteEncodedAside(const QString& path, Place place, const void* bytes, int64_t size) {
    using Step = errors::FileError::Step;
    const Outcome outcome = WriteAside(path, place, {{bytes, size}});
    switch (outcome.kind) {
        case Written::Done:
            return;
        case Written::Refused:
            throw errors::SilentAbort();
        case Written::CannotCreate:
            throw errors::FileFailure(errors::FileError::Of(Step::Create, path, outcome.error));
        case Written::Failed:
            throw errors::FileFailure(errors::FileError::Of(Step::Write, path, outcome.error));
    }
}

void WriteJpegAside(const QString& path, Place place, const imaging::JpegImage& jpeg) {
    WriteEncodedAside(path, place, jpeg.data().data(), int64_t(jpeg.data().size()));
}

bool WritePngOfDib(const uint8_t* packedDib, int32_t paletteBytes, const QString& path) {
    const QImage picture = PictureOfDib(packedDib, paletteBytes);
    return !picture.isNull() && WriteEncodedFile(PngOf(picture), path);
}

// Removes a folder of pictures written aside (see batch::AsideFolder) and the files in it.
bool RemoveAsideFolder(int parent, const char* name, int folder) {
    DIR* dir = fdopendir(dup(folder));
    if (!dir) return false;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            unlinkat(dirfd(dir), entry->d_name, 0);
        }
    }
    closedir(dir);
    return unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

}  // namespace

QImage PictureOfDib(const uint8_t* packedDib, int32_t paletteBytes) {
    dib::BitmapInfoHeader info;
    std::memcpy(&info, packedDib, sizeof info);
    if (info.biBitCount != 24 || info.biCompression != dib::kRgbCompression || info.biWidth <= 0) return {};
    const int height = info.biHeight < 0 ? -info.biHeight : info.biHeight;
    const int64_t stride = dib::RowStride(info.biWidth, 24);
    const uint8_t* rows = packedDib + sizeof info + paletteBytes;
    QImage image(info.biWidth, height, QImage::Format_BGR888);
    if (image.isNull()) return {};
    for (int y = 0; y < height; ++y) {
        // A positive height stores the rows bottom-up.
        const int64_t from = info.biHeight > 0 ? height - 1 - y : y;
        std::memcpy(image.scanLine(y), rows + from * stride, size_t(info.biWidth) * 3);
    }
    return image;
}

QByteArray PngOf(const QImage& picture) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    return QImageWriter(&buffer, "png").write(picture) ? png : QByteArray();
}

bool WriteEncodedFile(const QByteArray& contents, const QString& path) {
    // Said, not passed over: the picture has no file of this type, nothing was written.
    if (contents.isEmpty())
        throw errors::FileFailure({errors::FileError::Kind::Io, errors::FileError::Step::Encode, path, 0});
    const Place place = AskPlace(path);
    if (place == Place::Refused) throw errors::SilentAbort();
    WriteEncodedAside(path, place, contents.constData(), contents.size());
    return true;
}

bool Taken(const QString& path) {
    struct stat status {};
    return lstat(naming::PathBytes(path).constData(), &status) == 0;
}

QByteArray AsideName(const QByteArray& target) {
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    QByteArray name = target + kAsideMark;
    quint32 value = QRandomGenerator::global()->generate();
    for (int i = 0; i < kAsideDigits; ++i, value /= 36) name += kDigits[value % 36];
    return name;
}

bool WritePngFile(const FrameSource& source, const QString& path) {
    const uint8_t* image = source.OutputImage();
    return image && WritePngOfDib(image, source.PaletteBytes(), path);
}

bool WriteBmpToStream(const FrameSource& source, QIODevice& stream) {
    if (!source.OutputImage()) return false;
    return WriteBmpParts(stream, source.OutputFileHeader(), source.OutputImage(), OutputDibBytes(source));
}

bool WriteBmpFile(const FrameSource& source, const QString& path, errors::FileError* error) {
    if (error) *error = {};
    if (!source.OutputImage()) return false;
    return WriteBmpAside(path, source.OutputFileHeader(), source.OutputImage(), OutputDibBytes(source), error);
}

bool ReplaceFile(const QString& path, const QByteArray& contents) { return WriteWholeFile(path, contents, true) == 0; }

int WriteWholeFile(const QString& path, const QByteArray& contents, bool replace) {
    const Place place = !Taken(path) ? Place::Free : replace ? Place::Replace : Place::Refused;
    const Outcome outcome = WriteAside(path, place, {{contents.constData(), contents.size()}});
    if (outcome.kind == Written::Done) return 0;
    return outcome.error != 0 ? outcome.error : EIO;
}

int64_t RemoveLeftovers(const QString& directory) {
    const QByteArray folder = naming::PathBytes(directory);
    DIR* dir = opendir(folder.isEmpty() ? "." : folder.constData());
    if (!dir) return 0;
    int64_t removed = 0;
    while (const dirent* entry = readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!IsAsideName(name)) continue;
        // Only a regular file of ours that no living writer holds.
        const int fd = openat(dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat status {};
        if (fstat(fd, &status) == 0 && status.st_uid == geteuid() && flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (S_ISREG(status.st_mode) && unlinkat(dirfd(dir), entry->d_name, 0) == 0) ++removed;
            if (S_ISDIR(status.st_mode) && RemoveAsideFolder(dirfd(dir), entry->d_name, fd)) ++removed;
        }
        close(fd);
    }
    closedir(dir);
    return removed;
}

bool WritePreparedBmp(const FrameSource::PreparedImage& image, const QString& path, errors::FileError* error) {
    if (error) *error = {};
    if (image.dib.empty() || image.decoded) return false;
    return WriteBmpAside(path, image.fileHeader, image.dib.data(), int64_t(image.dib.size()), error);
}

bool WritePreparedJpeg(const FrameSource::PreparedImage& image, const QString& path,
                       const jpeg_options::JpegOptions& options) {
    if (image.dib.empty() || image.decoded) return false;
    imaging::JpegImage jpeg;
    if (image.jpeg.empty()) {
        // Not encoded beforehand: encoded here with the options of this moment.
        options.ApplyTo(&jpeg);
        if (!EncodePrepared(image, jpeg)) return false;
    } else {
        jpeg.loadFromMemory(image.jpeg);
    }
    WriteJpegAside(path, AskPlace(path), jpeg);
    return true;
}

bool EncodePrepared(const FrameSource::PreparedImage& image, imaging::JpegImage& jpeg) {
    if (image.dib.size() < sizeof(dib::BitmapInfoHeader) || image.decoded) return false;
    return EncodeDib(image.dib.data(), image.paletteBytes, jpeg);
}

bool EncodeDib(const uint8_t* packedDib, int32_t paletteBytes, imaging::JpegImage& jpeg) {
    dib::BitmapInfoHeader info;
    std::memcpy(&info, packedDib, sizeof info);
    if (info.biBitCount != 24 || info.biCompression != dib::kRgbCompression) return false;
    const uint8_t* bits = packedDib + sizeof info + paletteBytes;
    jpeg.encodeBgr(info.biWidth, info.biHeight, bits, ptrdiff_t(dib::RowStride(info.biWidth, 24)));
    return true;
}

bool WriteJpegFile(const FrameSource& source, const QString& path, const jpeg_options::JpegOptions& options) {
    const uint8_t* image = source.OutputImage();
    if (!image) return false;
    dib::BitmapInfoHeader info;
    std::memcpy(&info, image, sizeof info);
    if (info.biBitCount != 24 || info.biCompression != dib::kRgbCompression) return false;

    imaging::JpegImage jpeg;
    options.ApplyTo(&jpeg);
    const Place place = AskPlace(path);
    if (place == Place::Refused) throw errors::SilentAbort();
    EncodeDib(image, source.PaletteBytes(), jpeg);
    WriteJpegAside(path, place, jpeg);
    return true;
}

bool SaveFrameBmp(FrameSource& source, int32_t position, const QString& path) {
    if (!source.PrepareFrame(position)) return false;
    return WriteBmpFile(source, path);
}

bool SaveFrameJpeg(FrameSource& source, int32_t position, const QString& path,
                   const jpeg_options::JpegOptions& options) {
    if (!source.PrepareFrame(position)) return false;
    return WriteJpegFile(source, path, options);
}

}  // namespace image_writers
