// SPDX-License-Identifier: GPL-2.0-or-later
// Writing frames as BMP and JPEG files: the exact BMP bytes, the replace question, the failures
// a user can meet, and that a failed write never costs the file that was there before.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include "base/errors.h"
#include "framesource/frame_source.h"
#include "framesource/image_writers.h"
#include "framesource/jpeg_options.h"
#include "framesource/naming.h"
#include "framesource/output_types.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"
#include "support/scripted_dialogs.h"

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

// Each type's row: its name and extension lead back to it, and its three writers give one file
// of that type, from the open frame, from a prepared picture, and as bytes.
TEST_F(ImageWriters, EachOutputTypeWritesOneFileThreeWays) {
    struct Case {
        naming::OutputType type;
        QByteArray magic;
    };
    for (const Case& c : {Case{naming::OutputType::Bmp, "BM"}, Case{naming::OutputType::Jpeg, "\xFF\xD8\xFF"},
                          Case{naming::OutputType::Png, "\x89PNG"}}) {
        const output_types::OutputType& row = output_types::Of(c.type);
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.type, c.type);
        EXPECT_EQ(output_types::Named(QString(row.name)), &row);
        const QString name = naming::ImageName("F", naming::Numbering::Plain, 1, 0, c.type);
        EXPECT_TRUE(name.endsWith(QLatin1String(row.extension)));

        ASSERT_TRUE(frameSource.PrepareFrame(1));
        ASSERT_TRUE(row.writeFrame(frameSource, Out(name), {}, nullptr));
        const QByteArray file = ReadAll(Out(name));
        EXPECT_TRUE(file.startsWith(c.magic));
        FrameSource::PreparedImage image;
        ASSERT_TRUE(frameSource.PrepareImage(1, image));
        ASSERT_TRUE(row.writePrepared(image, Out("P" + name), {}, nullptr));
        EXPECT_EQ(ReadAll(Out("P" + name)), file);
        output_types::FileBytes bytes;
        ASSERT_TRUE(row.fileBytes(image, {}, bytes));
        QByteArray joined;
        for (const auto& part : bytes.parts) joined.append(static_cast<const char*>(part.data), qsizetype(part.size));
        EXPECT_EQ(joined, file);
    }
    EXPECT_EQ(output_types::Named("gif"), nullptr);
    EXPECT_TRUE(dialogs_->messages().empty());
}

// Whatever has the name, a file or a link (one that leads nowhere too), every type's writers,
// of the open frame and of a prepared picture, ask before they replace it. Refused: BMP's say
// false, JPEG's and PNG's end the command, and the name and what a link leads to are as they
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
    for (const naming::OutputType type : {naming::OutputType::Bmp, naming::OutputType::Jpeg, naming::OutputType::Png}) {
        const output_types::OutputType& row = output_types::Of(type);
        const QByteArray magic = QByteArray::fromHex(type == naming::OutputType::Bmp    ? "424d"
                                                     : type == naming::OutputType::Jpeg ? "ffd8ff"
                                                                                        : "89504e47");
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

TEST_F(ImageWriters, MissingDirectoryIsReportedAndWritesNothing) {
    const QString bmp = dir_.filePath("nowhere/A.BMP");
    const QString jpg = dir_.filePath("nowhere/A.JPG");
    try {
        image_writers::SaveFrameBmp(frameSource, 0, bmp);
        ADD_FAILURE() << "no error";
    } catch (const errors::Error& error) {
        EXPECT_EQ(error.message(), "Erreur E/S 103");
    }
    try {
        image_writers::SaveFrameJpeg(frameSource, 0, jpg, {});
        ADD_FAILURE() << "no error";
    } catch (const errors::Error& error) {
        EXPECT_EQ(error.message(), "Impossible de créer le fichier " + jpg);
    }
    EXPECT_FALSE(QDir(dir_.filePath("nowhere")).exists());
    EXPECT_TRUE(dialogs_->messages().empty());
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
        } catch (const errors::Error& error) {
            if (error.message().startsWith("Erreur E/S ")) failures |= 2;
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
