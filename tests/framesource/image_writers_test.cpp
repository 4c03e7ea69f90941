// SPDX-License-Identifier: GPL-2.0-or-later
// Writing frames as files of each output type: the exact BMP bytes, the replace question, the failures
// a user can meet, and that a failed write never costs the file that was there before.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "base/errors.h"
#include "batchcli/output_checks.h"
#include "framesource/frame_source.h"
#include "framesource/image_writers.h"
#include "framesource/jpeg_options.h"
#include "framesource/naming.h"
#include "framesource/output_types.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"
#include "support/scripted_dialogs.h"
#include "widgets/slot_guard.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFrames = 3;

// Pixel (x, y) of frame n, counted from the top, as blue, green, red.
std::array<uint8_t, 3> PixelOf(int n, int x, int y) {
    return {uint8_t(40 * n + 20), uint8_t(y & 0xFF), uint8_t((x * 3) & 0xFF)};
}

void Put32(QByteArray& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.append(char((value >> (8 * i)) & 0xFF));
}
void Put16(QByteArray& out, uint16_t value) {
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}
QByteArray Chunk(const char* id, const QByteArray& body) {
    QByteArray out(id, 4);
    Put32(out, uint32_t(body.size()));
    out += body;
    if (body.size() % 2) out.append('\0');
    return out;
}
QByteArray List(const char* type, const QByteArray& body) { return Chunk("LIST", QByteArray(type, 4) + body); }

// An uncompressed 24-bit AVI whose frames are PixelOf.
QByteArray UncompressedAvi() {
    const int stride = int(dib::RowStride(kWidth, 24));
    const uint32_t frameBytes = uint32_t(stride * kHeight);
    QByteArray avih;
    for (uint32_t v : {40000u, 0u, 0u, 0x10u, uint32_t(kFrames), 0u, 1u, frameBytes, uint32_t(kWidth),
                       uint32_t(kHeight), 0u, 0u, 0u, 0u})
        Put32(avih, v);
    QByteArray strh("vids", 4);
    strh += QByteArray("DIB ", 4);
    for (uint32_t v : {0u, 0u, 0u, 1u, 25u, 0u, uint32_t(kFrames), frameBytes, 0xFFFFFFFFu, 0u}) Put32(strh, v);
    for (int v : {0, 0, kWidth, kHeight}) Put16(strh, uint16_t(v));
    dib::BitmapInfoHeader info;
    info.biSize = 40;
    info.biWidth = kWidth;
    info.biHeight = kHeight;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = frameBytes;
    const QByteArray strf(reinterpret_cast<const char*>(&info), sizeof info);

    QByteArray movi, idx1;
    for (int n = 0; n < kFrames; ++n) {
        QByteArray frame(int(frameBytes), '\0');
        for (int y = 0; y < kHeight; ++y) {
            char* row = frame.data() + size_t(kHeight - 1 - y) * stride;
            for (int x = 0; x < kWidth; ++x) {
                const auto bgr = PixelOf(n, x, y);
                std::memcpy(row + 3 * x, bgr.data(), 3);
            }
        }
        idx1 += QByteArray("00db", 4);
        Put32(idx1, 0x10);
        Put32(idx1, uint32_t(4 + movi.size()));
        Put32(idx1, frameBytes);
        movi += Chunk("00db", frame);
    }
    const QByteArray hdrl = List("hdrl", Chunk("avih", avih) + List("strl", Chunk("strh", strh) + Chunk("strf", strf)));
    return Chunk("RIFF", QByteArray("AVI ", 4) + hdrl + List("movi", movi) + Chunk("idx1", idx1));
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class ImageWriters : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        video_ = dir_.filePath("clip.avi");
        WriteAll(video_, UncompressedAvi());
        ASSERT_TRUE(frameSource.OpenVideo(video_));
        ASSERT_EQ(frameSource.FrameCount(), kFrames);
        out_ = dir_.filePath("out");
        ASSERT_TRUE(QDir().mkpath(out_));
    }
    void TearDown() override { frameSource.CloseVideo(); }
    QString Out(const QString& name) const { return out_ + "/" + name; }
    QStringList OutFiles() const { return QDir(out_).entryList(QDir::Files | QDir::Hidden | QDir::System); }

    QTemporaryDir dir_;
    QString video_;
    QString out_;
    testing_support::ScopedDialogs dialogs_;
    FrameSource frameSource;
};

TEST_F(ImageWriters, BmpHoldsTheWholeFrameOrTheCrop) {
    struct Case {
        bool crop;
        int width, height;
        uint32_t fileSize;
        int pixelBytes;
    };
    for (const Case c : {Case{false, 320, 240, 230454, 230400}, Case{true, 10, 5, 214, 160}}) {
        SCOPED_TRACE(c.crop);
        if (c.crop) {
            ASSERT_TRUE(frameSource.SetCropRect(0, 0, 5, 10));
        }
        frameSource.SetCropEnabled(c.crop);
        const QString path = Out(c.crop ? "crop.BMP" : "whole.BMP");
        ASSERT_TRUE(image_writers::SaveFrameBmp(frameSource, 1, path));
        const QByteArray bytes = ReadAll(path);
        ASSERT_EQ(bytes.size(), qsizetype(c.fileSize));

        dib::BitmapFileHeader file;
        dib::BitmapInfoHeader info;
        std::memcpy(&file, bytes.constData(), sizeof file);
        std::memcpy(&info, bytes.constData() + 14, sizeof info);
        EXPECT_EQ(bytes.left(2), "BM");
        EXPECT_EQ(+file.bfSize, c.fileSize);
        EXPECT_EQ(+file.bfReserved1, 0);
        EXPECT_EQ(+file.bfReserved2, 0);
        EXPECT_EQ(+file.bfOffBits, 54u);
        EXPECT_EQ(+info.biSize, 40u);
        EXPECT_EQ(+info.biWidth, c.width);
        EXPECT_EQ(+info.biHeight, c.height);
        EXPECT_EQ(+info.biBitCount, 24);

        // The picture is frame 1's own pixels, bottom row first.
        const int stride = int(dib::RowStride(c.width, 24));
        EXPECT_EQ(stride * c.height, c.pixelBytes);
        for (int y : {0, c.height - 1}) {
            for (int x : {0, c.width - 1}) {
                const auto expected = PixelOf(1, x, y);
                const char* at = bytes.constData() + 54 + size_t(c.height - 1 - y) * stride + 3 * x;
                EXPECT_EQ(std::memcmp(at, expected.data(), 3), 0) << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(dialogs_->messages().empty());
}

// A file's picture, top-down in Format_RGB888: WebP files through dwebp, JPEG through the
// program's codec, the others through Qt.
QImage Decoded(const QString& path, const QString& typeName) {
    if (typeName.startsWith("webp")) {
        const QString ppm = path + ".ppm";
        if (QProcess::execute("dwebp", {"-quiet", path, "-ppm", "-o", ppm}) != 0) return {};
        const QImage image(ppm, "PPM");
        QFile::remove(ppm);
        return image.convertToFormat(QImage::Format_RGB888);
    }
    if (typeName == "jpg") {
        imaging::JpegImage jpeg;
        jpeg.loadFromFile(path);
        return jpeg.toImage().convertToFormat(QImage::Format_RGB888);
    }
    return QImage(path).convertToFormat(QImage::Format_RGB888);
}

// Frame n as PixelOf draws it.
QImage FramePicture(int n) {
    QImage image(kWidth, kHeight, QImage::Format_RGB888);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const auto bgr = PixelOf(n, x, y);
            image.setPixel(x, y, qRgb(bgr[2], bgr[1], bgr[0]));
        }
    }
    return image;
}

// Each row of the output types' table: its name and extension lead back to it; its three
// writers give one file of that type, from the open frame, from a prepared picture and as
// bytes; the file decodes to the frame: the lossless types to its very pixels (WebP as dwebp
// decodes it), the others to its size; the types that take the options follow the quality.
TEST_F(ImageWriters, EachOutputTypeWritesOneFileThreeWays) {
    struct Case {
        const char* name;
        QByteArray magic;
        bool lossless;
    };
    const Case cases[] = {
        {"bmp", "BM", true},    {"jpg", "\xFF\xD8\xFF", false}, {"png", "\x89PNG", true},
        {"webp", "RIFF", true}, {"webp-lossy", "RIFF", false},
    };
    const QImage frame = FramePicture(1);
    jpeg_options::JpegOptions low;
    low.quality = 20;
    for (size_t i = 0; i < output_types::All().size(); ++i) {
        const output_types::OutputType& row = output_types::All()[i];
        const auto type = naming::OutputType(i);
        SCOPED_TRACE(row.name);
        const Case* c = std::find_if(std::begin(cases), std::end(cases),
                                     [&](const Case& k) { return k.name == QByteArray(row.name); });
        ASSERT_NE(c, std::end(cases)) << "a new output type needs its row here";
        EXPECT_EQ(&output_types::Of(type), &row);
        EXPECT_EQ(output_types::Named(QString(row.name)), type);
        const QString name = naming::ImageName(QString("F") + row.name, naming::Numbering::Plain, 1, 0, type);
        EXPECT_TRUE(name.endsWith(QLatin1String(row.extension)));

        ASSERT_TRUE(frameSource.PrepareFrame(1));
        ASSERT_TRUE(row.writeFrame(frameSource, Out(name), {}, nullptr));
        const QByteArray file = ReadAll(Out(name));
        EXPECT_TRUE(file.startsWith(c->magic));
        FrameSource::PreparedImage image;
        ASSERT_TRUE(frameSource.PrepareImage(1, image));
        ASSERT_TRUE(row.writePrepared(image, Out("P" + name), {}, nullptr));
        EXPECT_EQ(ReadAll(Out("P" + name)), file);
        output_types::FileBytes bytes;
        ASSERT_TRUE(row.fileBytes(image, {}, bytes));
        QByteArray joined;
        for (const auto& part : bytes.parts) joined.append(static_cast<const char*>(part.data), qsizetype(part.size));
        EXPECT_EQ(joined, file);

        const QImage decoded = Decoded(Out(name), row.name);
        ASSERT_EQ(decoded.size(), frame.size());
        if (c->lossless) {
            EXPECT_TRUE(decoded == frame) << "not the frame's pixels";
        }
        ASSERT_TRUE(row.writeFrame(frameSource, Out("L" + name), low, nullptr));
        EXPECT_EQ(ReadAll(Out("L" + name)).size() < file.size(), row.takesOptions) << "the quality applies";
    }
    EXPECT_FALSE(output_types::Named("gif"));
    EXPECT_TRUE(dialogs_->messages().empty());
}

// A file that cannot be written is a value: its kind, step, path and system error, which the
// windows say in French and the batch command in English. As root, /sys still refuses.
TEST_F(ImageWriters, FailuresAreValuesSaidByEachEdge) {
    using Kind = errors::FileError::Kind;
    using Step = errors::FileError::Step;
    struct Case {
        const char* what;
        QString path;
        naming::OutputType type;
        errors::FileError expected;
        QString french;
        QString english;
    };
    const QString missing = dir_.filePath("nowhere/A");
    const QString refused = "/sys/A";
    const auto jpg = naming::OutputType::Jpeg;
    const auto bmp = naming::OutputType::Bmp;
    const auto webp = *output_types::Named("webp");
    const Case cases[] = {
        {"missing folder, BMP",
         missing + ".BMP",
         bmp,
         {Kind::Io, Step::Unopened, missing + ".BMP", ENOENT},
         "Erreur E/S 103",
         missing + ".BMP: cannot write: no such directory"},
        {"missing folder, JPEG",
         missing + ".JPG",
         jpg,
         {Kind::Io, Step::Create, missing + ".JPG", ENOENT},
         "Impossible de créer le fichier " + missing + ".JPG",
         missing + ".JPG: cannot write: no such directory"},
        {"missing folder, WebP",
         missing + ".WEBP",
         webp,
         {Kind::Io, Step::Create, missing + ".WEBP", ENOENT},
         "Impossible de créer le fichier " + missing + ".WEBP",
         missing + ".WEBP: cannot write: no such directory"},
        {"unwritable folder, BMP",
         refused + ".BMP",
         bmp,
         {Kind::Permission, Step::Unopened, refused + ".BMP", EACCES},
         "Erreur E/S 103",
         refused + ".BMP: cannot write: permission denied"},
        {"unwritable folder, WebP",
         refused + ".WEBP",
         webp,
         {Kind::Permission, Step::Create, refused + ".WEBP", EACCES},
         "Impossible de créer le fichier " + refused + ".WEBP",
         refused + ".WEBP: cannot write: permission denied"},
    };
    ASSERT_TRUE(frameSource.PrepareFrame(0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            output_types::Of(c.type).writeFrame(frameSource, c.path, {}, nullptr);
            ADD_FAILURE() << "no error";
        } catch (const errors::FileFailure& failure) {
            const errors::FileError& e = failure.error();
            EXPECT_EQ(e.kind, c.expected.kind);
            EXPECT_EQ(e.step, c.expected.step);
            EXPECT_EQ(e.path, c.expected.path);
            EXPECT_EQ(e.systemError, c.expected.systemError);
            EXPECT_EQ(errors::FrenchText(e), c.french);
            EXPECT_EQ(batch::WriteFailure(e), c.english);
        }
    }
    EXPECT_FALSE(QDir(dir_.filePath("nowhere")).exists());

    // A BMP the user refuses to replace is no error, yet the batch command tells why from it.
    WriteAll(Out("X.BMP"), "kept");
    dialogs_->queueAnswer(dialogs::Answer::Cancel);
    errors::FileError refusal;
    EXPECT_FALSE(image_writers::WriteBmpFile(frameSource, Out("X.BMP"), &refusal));
    EXPECT_EQ(refusal.kind, Kind::Exists);
    EXPECT_EQ(batch::WriteFailure(refusal), Out("X.BMP") + ": cannot write: file exists");
    EXPECT_EQ(ReadAll(Out("X.BMP")), "kept");

    // What a full disk gives (no test can fill one here): its kind and words.
    const errors::FileError full = errors::FileError::Of(Step::Write, "/d/A.PNG", ENOSPC);
    EXPECT_EQ(full.kind, Kind::NoSpace);
    EXPECT_EQ(errors::FrenchText(full), "Erreur E/S 112");
    EXPECT_EQ(batch::WriteFailure(full), "/d/A.PNG: cannot write: no space left on device");
    EXPECT_EQ(errors::FrenchText(errors::FileError::Of(Step::Write, "/d/A.PNG", EFBIG)), "Erreur E/S 101");

    // A picture its type cannot hold (WebP stops at 16383 pixels a side) is said, nothing written.
    FrameSource::PreparedImage wide;
    dib::BitmapInfoHeader header;
    header.biSize = sizeof header;
    header.biWidth = 16384;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = 24;
    wide.dib.resize(sizeof header + size_t(dib::RowStride(16384, 24)) * 2);
    std::memcpy(wide.dib.data(), &header, sizeof header);
    try {
        output_types::Of(webp).writePrepared(wide, Out("W.WEBP"), {}, nullptr);
        ADD_FAILURE() << "no error";
    } catch (const errors::FileFailure& failure) {
        EXPECT_EQ(failure.error().step, Step::Encode);
        EXPECT_EQ(errors::FrenchText(failure.error()),
                  "L'image ne peut pas être encodée dans le type du fichier " + Out("W.WEBP"));
        EXPECT_EQ(batch::WriteFailure(failure.error()),
                  Out("W.WEBP") + ": cannot write: the picture cannot be encoded as this type");
    }
    EXPECT_FALSE(QFileInfo::exists(Out("W.WEBP")));
}

// Whatever has the name, a file or a link (one that leads nowhere too), every type's writers,
// of the open frame and of a prepared picture, ask before they replace it. Refused: BMP's say
// false, the others' end the command, and the name and what a link leads to are as they
// were. Agreed: the name holds the picture, a link replaced itself, never written through.
TEST_F(ImageWriters, ReplacingAFileAsksFirst) {
    enum class InTheWay { File, Link, LinkToNowhere };
    const QByteArray old = "previous picture";
    const QString target = dir_.filePath("target"), nowhere = dir_.filePath("nowhere");
    WriteAll(target, old);
    ASSERT_TRUE(frameSource.PrepareFrame(0));
    FrameSource::PreparedImage image;
    ASSERT_TRUE(frameSource.PrepareImage(0, image));
    int serial = 0;
    for (size_t i = 0; i < output_types::All().size(); ++i) {
        const auto type = naming::OutputType(i);
        const output_types::OutputType& row = output_types::All()[i];
        const QByteArray magic = QByteArray::fromHex(type == naming::OutputType::Bmp    ? "424d"
                                                     : type == naming::OutputType::Jpeg ? "ffd8ff"
                                                     : type == naming::OutputType::Png  ? "89504e47"
                                                                                        : "52494646");
        for (const InTheWay inTheWay : {InTheWay::File, InTheWay::Link, InTheWay::LinkToNowhere}) {
            for (const bool prepared : {false, true}) {
                for (const dialogs::Answer answer : {dialogs::Answer::Cancel, dialogs::Answer::Ok}) {
                    const QString name = QStringLiteral("IMAGE%1%2").arg(++serial).arg(row.extension);
                    SCOPED_TRACE(name.toStdString());
                    const QString path = Out(name);
                    if (inTheWay == InTheWay::File) {
                        WriteAll(path, old);
                    } else {
                        ASSERT_TRUE(QFile::link(inTheWay == InTheWay::Link ? target : nowhere, path));
                    }
                    dialogs_->clearRecords();
                    dialogs_->queueAnswer(answer);
                    const bool refused = answer == dialogs::Answer::Cancel;
                    const auto write = [&] {
                        return prepared ? row.writePrepared(image, path, {}, nullptr)
                                        : row.writeFrame(frameSource, path, {}, nullptr);
                    };
                    if (refused && type != naming::OutputType::Bmp) {
                        EXPECT_THROW(write(), errors::SilentAbort);
                    } else {
                        EXPECT_EQ(write(), !refused);
                    }
                    ASSERT_EQ(dialogs_->messages().size(), 1u);
                    const auto& asked = dialogs_->messages().front();
                    EXPECT_EQ(asked.text, QString("Ecraser : %1 ?").arg(name));
                    EXPECT_EQ(asked.caption, "Fichier Existant");
                    EXPECT_EQ(asked.buttons, dialogs::Buttons::OkCancel);
                    EXPECT_EQ(QFileInfo(path).isSymLink(), inTheWay != InTheWay::File && refused);
                    if (refused || inTheWay != InTheWay::File) {
                        EXPECT_EQ(ReadAll(inTheWay == InTheWay::File ? path : target), old);
                    }
                    if (!refused) {
                        EXPECT_TRUE(ReadAll(path).startsWith(magic));
                    }
                    EXPECT_FALSE(QFileInfo::exists(nowhere));
                }
            }
        }
    }
    EXPECT_EQ(OutFiles().size(), serial);  // nothing left aside
}

TEST_F(ImageWriters, FrameThatCannotBePreparedWritesNothing) {
    EXPECT_FALSE(image_writers::SaveFrameBmp(frameSource, kFrames, Out("past.BMP")));
    EXPECT_FALSE(image_writers::SaveFrameJpeg(frameSource, -1, Out("before.JPG"), {}));
    frameSource.CloseVideo();
    EXPECT_FALSE(image_writers::SaveFrameBmp(frameSource, 0, Out("closed.BMP")));
    EXPECT_FALSE(image_writers::SaveFrameJpeg(frameSource, 0, Out("closed.JPG"), {}));
    EXPECT_TRUE(OutFiles().isEmpty());
}

TEST_F(ImageWriters, JpegIsTheFrameEncodedWithTheInstalledOptions) {
    ASSERT_TRUE(frameSource.PrepareFrame(2));
    const auto encode = [this](uint8_t quality, bool grey) {
        imaging::JpegImage jpeg;
        jpeg.setQuality(quality);
        jpeg.setGrayscale(grey);
        jpeg.encodeBgr(kWidth, kHeight,
                       frameSource.OutputImage() + sizeof(dib::BitmapInfoHeader) + frameSource.PaletteBytes(),
                       dib::RowStride(kWidth, 24));
        return QByteArray(reinterpret_cast<const char*>(jpeg.data().data()), qsizetype(jpeg.data().size()));
    };
    const QByteArray defaults = encode(100, false), applied = encode(50, true);
    ASSERT_NE(defaults, applied);

    ASSERT_TRUE(image_writers::SaveFrameJpeg(frameSource, 2, Out("d.JPG"), {}));
    EXPECT_EQ(ReadAll(Out("d.JPG")), defaults);

    jpeg_options::JpegOptions options;
    options.quality = 50;
    options.grayscale = true;
    ASSERT_TRUE(image_writers::SaveFrameJpeg(frameSource, 2, Out("a.JPG"), options));
    EXPECT_EQ(ReadAll(Out("a.JPG")), applied);

    imaging::JpegImage back;
    back.loadFromFile(Out("d.JPG"));
    const QImage image = back.toImage();
    ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
    const auto expected = PixelOf(2, 100, 50);
    EXPECT_NEAR(qBlue(image.pixel(100, 50)), expected[0], 4);
    EXPECT_NEAR(qGreen(image.pixel(100, 50)), expected[1], 4);
    EXPECT_NEAR(qRed(image.pixel(100, 50)), expected[2], 4);
}

TEST_F(ImageWriters, WriteFailingHalfwayKeepsTheReplacedFile) {
    const QByteArray old = "the picture the user agreed to replace";
    WriteAll(Out("F.BMP"), old);
    WriteAll(Out("F.JPG"), old);
    // The video is reopened in the child, which must not move this process's file offsets.
    frameSource.CloseVideo();
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // A file size limit makes the write fail once the file has been created.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        int failures = 0;
        if (!frameSource.OpenVideo(video_)) _exit(100);
        if (!image_writers::SaveFrameBmp(frameSource, 0, Out("F.BMP"))) failures |= 1;
        try {
            image_writers::SaveFrameJpeg(frameSource, 0, Out("F.JPG"), {});
        } catch (const errors::FileFailure& failure) {
            if (failure.error().step == errors::FileError::Step::Write) failures |= 2;
        }
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << "1: BMP reported false, 2: JPEG raised an I/O error";
    EXPECT_EQ(ReadAll(Out("F.BMP")), old);
    EXPECT_EQ(ReadAll(Out("F.JPG")), old);
    EXPECT_EQ(OutFiles(), (QStringList{"F.BMP", "F.JPG"}));
}

TEST_F(ImageWriters, BmpStreamGetsHeaderAndPackedDib) {
    ASSERT_TRUE(frameSource.PrepareFrame(0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image_writers::WriteBmpToStream(frameSource, buffer));
    EXPECT_EQ(bytes.size(), 230454);
    EXPECT_EQ(std::memcmp(bytes.constData() + 14, frameSource.OutputImage(), 40 + 230400), 0);
}

}  // namespace
