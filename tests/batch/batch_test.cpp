// SPDX-License-Identifier: GPL-2.0-or-later
// orvexa-batch, run as a script runs it (no display): its rankings and files are those of the
// program's "Best of..." and "Extraire Lot..." with the same settings, byte for byte, and those
// of an independent libjpeg encode; bad videos, files and links in the way, names that are not
// UTF-8, unwritable places and Ctrl-C; what a script reads: the manifest and closing line of
// extract, the JSON of rank, the progress line on terminals of several widths.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "app/main_window_fixture.h"
#include "framelist/frame_list_window.h"
#include "framesource/output_types.h"
#include "options/jpeg_options_dialog.h"
#include "support/batch_run.h"
#include "support/run_program.h"
#include "widgets/controls/radio_group.h"

namespace {

using Outcome = testing_support::ProgramRun;

Outcome RunBatch(const QStringList& arguments) {
    return testing_support::RunWithoutDisplay(QStringLiteral(ORVEXA_BATCH_PATH), arguments);
}

using batch_testing::Contents;
using batch_testing::FilesIn;

// The frames and lengths of a "rank" text output.
std::vector<std::pair<int, qint64>> RankLines(const QString& out) {
    std::vector<std::pair<int, qint64>> lines;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        if (fields.size() == 3) lines.emplace_back(fields[0].toInt(), fields[1].toLongLong());
    }
    return lines;
}

using batch_testing::RawRun;
using batch_testing::RunBatchRaw;
using batch_testing::WriteClip;

constexpr double kFrameRate = 25;  // the fixture videos'

struct ManifestRow {
    QString file;
    QString video;
    int frame = 0;
    double time = 0;
    qint64 jpegBytes = 0;
    bool kept = false;
};

std::vector<ManifestRow> ReadManifest(const QString& path) {
    std::vector<ManifestRow> rows;
    if (path.endsWith(".json")) {
        for (const QJsonValue& v : QJsonDocument::fromJson(Contents(path)).array()) {
            const QJsonObject o = v.toObject();
            rows.push_back({o["file"].toString(), o["video"].toString(), o["frame"].toInt(), o["time"].toDouble(),
                            qint64(o["jpeg_bytes"].toDouble(-1)), o["kept"].toBool()});
        }
        return rows;
    }
    QStringList lines = QString::fromUtf8(Contents(path)).split('\n', Qt::SkipEmptyParts);
    if (lines.isEmpty() || lines.takeFirst() != "file,video,frame,time,jpeg_bytes,kept") return rows;
    for (const QString& line : lines) {
        const QStringList f = line.split(',');
        if (f.size() == 6 && (f[5] == "true" || f[5] == "false")) {
            rows.push_back(
                {f[0], f[1], f[2].toInt(), f[3].toDouble(), f[4].isEmpty() ? -1 : f[4].toLongLong(), f[5] == "true"});
        }
    }
    return rows;
}

// The settings shared by the program and the batch command in one comparison.
struct SameSettings {
    const char* name;
    fixture::Codec codec;
    std::string container;
    QRect crop;  // empty: whole frames
    int quality;
    bool grayscale;
    bool progressive;
    const char* format;  // the batch command's name of the output type
    int numbering;       // the main window's numbering item
    int width;           // its mask's length
    int start;
    const char* prefix;
};

class BatchVersusProgram : public MainWindowTest {
protected:
    // "Liste...", "Best of...", "Abs" `best`, "Sél.", "Extraire Lot..." in the program.
    void ExtractBestInTheProgram(const SameSettings& c, int best, const QString& outDir) {
        ui().LabelRepFicImg->setText(outDir);
        ui().EditNomFicImg->setText(c.prefix);
        ui().RadioGroupNum->setItemIndex(c.numbering);
        ui().EditFormat->setText(QString(c.width, '#'));
        ui().EditDebut->setText(QString::number(c.start));
        ui().RadioGroupTypeExtraction->setItemIndex(int(*output_types::Named(c.format)));
        options.findChild<QLineEdit*>("CompressionQuality")->setText(QString::number(c.quality));
        options.findChild<QCheckBox*>("GrayScale")->setChecked(c.grayscale);
        options.findChild<QCheckBox*>("ProgressiveEncoding")->setChecked(c.progressive);
        if (!c.crop.isEmpty()) {
            frameSource.SetCropRect(c.crop.top(), c.crop.left(), c.crop.height(), c.crop.width());
            QTest::mouseClick(ui().CheckBoxCadre, Qt::LeftButton);
            ASSERT_TRUE(ui().CheckBoxCadre->isChecked());
        }
        ui().SpeedButtonListe->click();
        FrameListWindow* list = window->ListWindow();
        QTest::mouseClick(FindControl<SpeedButton>(*list, "SpeedButtonBestOf"), Qt::LeftButton);
        FindControl<QLineEdit>(*list, "EditNombre")->setText(QString::number(best));
        FindControl<RadioGroup>(*list, "RadioGroup1")->setItemIndex(0);
        QTest::mouseClick(FindControl<SpeedButton>(*list, "SpeedButton1"), Qt::LeftButton);
        QTest::mouseClick(FindControl<SpeedButton>(*list, "SpeedButtonExtraire"), Qt::LeftButton);
    }

    static QStringList SameOptions(const SameSettings& c) {
        QStringList arguments;
        if (!c.crop.isEmpty()) {
            arguments << "--crop"
                      << QStringLiteral("%1,%2,%3,%4")
                             .arg(c.crop.left())
                             .arg(c.crop.top())
                             .arg(c.crop.width())
                             .arg(c.crop.height());
        }
        arguments << "--quality" << QString::number(c.quality);
        if (c.grayscale) arguments << "--grayscale";
        if (c.progressive) arguments << "--progressive";
        return arguments;
    }

    JpegOptionsDialog options;
};

TEST_F(BatchVersusProgram, RanksAndWritesWhatBestOfAndExtraireLotGive) {
    window->setJpegOptionsWindow(&options);
    const SameSettings cases[] = {
        {"H.264 MP4, cropped, JPEG 85, padded:3 from 7", fixture::Codec::H264, "mp4", QRect(13, 9, 101, 77), 85, false,
         false, "jpg", 1, 3, 7, "best"},
        {"MPEG-4 AVI, whole, BMP, normal from 1", fixture::Codec::Mpeg4BFrames, "avi", QRect(), 100, false, false,
         "bmp", 0, 0, 1, "IMAGE"},
        {"VP9 WebM, cropped, grey progressive JPEG 60, no number", fixture::Codec::Vp9, "webm", QRect(0, 0, 160, 64),
         60, true, true, "jpg", 2, 0, 1, "one"},
        {"MPEG-4 AVI, cropped, lossy WebP 70, padded:2 from 3", fixture::Codec::Mpeg4BFrames, "avi",
         QRect(5, 5, 90, 60), 70, false, false, "webp-lossy", 1, 2, 3, "w"},
    };
    int serial = 0;
    for (const SameSettings& c : cases) {
        SCOPED_TRACE(c.name);
        fixture::VideoOptions video;
        video.codec = c.codec;
        video.container = c.container;
        video.frames = 26;
        const QString path = QString::fromStdString(dir.File("clip" + std::to_string(serial) + "." + c.container));
        ASSERT_TRUE(fixture::WriteVideo(path.toStdString(), video));
        dialogs->queueFiles({path});
        ui().SpeedButtonOuvrirAvi->click();
        ASSERT_TRUE(frameSource.VideoOpen());

        // "Aucune" writes one name again and again; the program asks and is told to replace.
        const int best = c.numbering == 2 ? 1 : 10;
        const QString programDir = QString::fromStdString(dir.File("program" + std::to_string(serial))) + '/';
        const QString batchDir = QString::fromStdString(dir.File("batch" + std::to_string(serial)));
        ASSERT_TRUE(QDir().mkpath(programDir));
        ExtractBestInTheProgram(c, best, programDir);

        // The ranking: the list's order and its "Tri" lengths.
        const Outcome rank = RunBatch(QStringList{"rank", path} + SameOptions(c));
        ASSERT_EQ(rank.exitCode, 0) << rank.err.toStdString();
        const auto lines = RankLines(rank.out);
        const framelist::FrameTable& table = window->ListWindow()->table();
        ASSERT_EQ(int(lines.size()), table.size());
        for (int row = 0; row < table.size(); ++row) {
            EXPECT_EQ(lines[size_t(row)].first, table.row(row).num) << "row " << row;
            EXPECT_EQ(lines[size_t(row)].second, table.row(row).tri) << "row " << row;
        }

        // The files: the same names holding the same bytes.
        const QString numbering = c.numbering == 0   ? QStringLiteral("normal")
                                  : c.numbering == 1 ? QStringLiteral("padded:%1").arg(c.width)
                                                     : QStringLiteral("none");
        const Outcome extract = RunBatch(QStringList{"extract", path, "--best", QString::number(best), "--format",
                                                     c.format, "--out", batchDir, "--prefix", c.prefix, "--numbering",
                                                     numbering, "--start", QString::number(c.start)} +
                                         SameOptions(c));
        ASSERT_EQ(extract.exitCode, 0) << extract.err.toStdString();
        EXPECT_TRUE(extract.out.isEmpty());
        const QStringList written = FilesIn(programDir);
        ASSERT_EQ(written.size(), best);
        EXPECT_EQ(FilesIn(batchDir), written);
        for (const QString& name : written) {
            EXPECT_EQ(Contents(batchDir + '/' + name), Contents(programDir + name)) << name.toStdString();
        }
        frameSource.CloseVideo();
        ++serial;
    }
}

// Recordings joined, damaged or cut short inside their last picture: extract reaches the frames
// in the file's order, not in rank order, and writes the very pictures rank measured (each
// file as long as its frame's ranked encoding), named in rank order. The files that --percent
// and --best write in the ranking's own pass are byte for byte those of the same frames
// decoded again after it (--frames in rank order), also when the ranking's workers read
// stretches of the file (the recording as written). A damaged H.264 MP4 is ranked at its first
// open from its sample tables, its packets looked into as they are read: rank finds the frames
// FFmpeg presents, and the same lengths as an extract of the file indexed from its data
// beforehand; so does an extract of it with no index saved, which writes its files as it ranks.
TEST(BatchCommand, ExtractWritesThePicturesRankMeasuredInJoinedDamagedAndCutRecordings) {
    constexpr qsizetype kTsPacket = 188;
    const auto joined = [](const QByteArray& b) { return b + b; };
    const auto repeated = [](const QByteArray& b) {
        QByteArray out;
        for (qsizetype at = 0, n = 0; at + kTsPacket <= b.size(); at += kTsPacket, ++n) {
            out += b.mid(at, kTsPacket);
            if (n % 20 == 19) out += b.mid(at, kTsPacket);
        }
        return out;
    };
    const auto cutShort = [](const QByteArray& b) { return b.left(b.size() - 3 * kTsPacket); };
    // 4 KB of noise at `where` of the file's samples (FFmpeg writes them first, the tables last).
    const auto noiseAt = [](double where) {
        return [where](const QByteArray& b) {
            QByteArray out = b;
            const qsizetype samples = b.lastIndexOf("moov");
            std::mt19937 random(3);
            for (qsizetype i = 0, at = qsizetype(double(samples) * where); i < 4096 && at + i < samples; ++i)
                out[at + i] = char(random());
            return out;
        };
    };
    // The tables moved before the samples (their offsets with them), then the file cut inside a
    // sample two thirds of the way: the tables list samples the file no longer holds whole.
    const auto tablesFirstCutShort = [](const QByteArray& b) {
        const auto big32 = [](const QByteArray& d, qsizetype at) {
            return quint32(uchar(d[at])) << 24 | quint32(uchar(d[at + 1])) << 16 | quint32(uchar(d[at + 2])) << 8 |
                   uchar(d[at + 3]);
        };
        const qsizetype moovAt = b.lastIndexOf("moov") - 4;
        QByteArray moov = b.mid(moovAt, big32(b, moovAt));
        const qsizetype mdatAt = b.indexOf("mdat") - 4;
        for (qsizetype stco = moov.indexOf("stco"); stco >= 0; stco = moov.indexOf("stco", stco + 4)) {
            const quint32 count = big32(moov, stco + 8);
            for (quint32 k = 0; k < count; ++k) {
                const qsizetype at = stco + 12 + 4 * qsizetype(k);
                const quint32 moved = big32(moov, at) + quint32(moov.size());
                for (int i = 0; i < 4; ++i) moov[at + i] = char(moved >> (24 - 8 * i));
            }
        }
        const QByteArray whole = b.left(mdatAt) + moov + b.mid(mdatAt, moovAt - mdatAt);
        return whole.left(mdatAt + moov.size() + (moovAt - mdatAt) * 2 / 3 + 7);
    };
    struct Case {
        const char* name;
        const char* container;
        std::function<QByteArray(const QByteArray&)> edit;
    };
    const Case cases[] = {
        {"joined", "mpegts", joined},
        {"packets repeated", "mpegts", repeated},
        {"cut inside its last picture", "mpegts", cutShort},
        {"as written", "mpegts", [](const QByteArray& b) { return b; }},
        {"MP4 damaged where no unit shows it", "mp4", noiseAt(1.0 / 3)},
        {"MP4 damaged near its start", "mp4", noiseAt(0.05)},
        {"MP4 damaged in its last GOP", "mp4", noiseAt(0.95)},
        {"MP4 cut short inside a sample", "mp4", tablesFirstCutShort},
    };
    fixture::TempDir dir;
    fixture::VideoOptions video;
    video.codec = fixture::Codec::H264;
    video.width = 320;
    video.height = 240;
    video.frames = 40;
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        video.container = c.container;
        const std::string extension = video.container == "mp4" ? ".mp4" : ".ts";
        const std::string whole = dir.File("whole" + std::to_string(++serial) + extension);
        ASSERT_TRUE(fixture::WriteVideo(whole, video));
        const QString path = QString::fromStdString(dir.File("edited" + std::to_string(serial) + extension));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.edit(Contents(QString::fromStdString(whole))));
        file.close();
        const Outcome rank = RunBatch({"rank", path});
        ASSERT_EQ(rank.exitCode, 0) << rank.err.toStdString();
        const auto lines = RankLines(rank.out);
        ASSERT_GT(lines.size(), 20u);
        ASSERT_EQ(lines.size(), fixture::DecodeSequentially(path.toStdString(), 0).pictures.size());
        // Indexed anew from its data by `index`, not from what rank saved.
        const QString indexDir = QString::fromStdString(dir.File("index" + std::to_string(serial)));
        ASSERT_EQ(RunBatch({"index", path, "--index-dir", indexDir}).exitCode, 0);
        const QString out = QString::fromStdString(dir.File("out" + std::to_string(serial)));
        const Outcome extract = RunBatch({"extract", path, "--percent", "100", "--format", "jpg", "--out", out,
                                          "--numbering", "padded:3", "--start", "0", "--index-dir", indexDir});
        ASSERT_EQ(extract.exitCode, 0) << extract.err.toStdString();
        ASSERT_EQ(FilesIn(out).size(), qsizetype(lines.size()));
        QStringList ranked;
        for (size_t i = 0; i < lines.size(); ++i) {
            const QString written = out + QStringLiteral("/IMAGE%1.JPG").arg(i, 3, 10, QChar('0'));
            EXPECT_EQ(QFileInfo(written).size(), lines[i].second) << "frame " << lines[i].first;
            ranked << QString::number(lines[i].first);
        }
        const QString again = out + QStringLiteral("-again");
        const QString fewer = out + QStringLiteral("-best");
        // With no index saved: read as rank reads it, each file written in the ranking's pass.
        const QString first = out + QStringLiteral("-first");
        const QString noIndex = indexDir + QStringLiteral("-none");
        for (const auto& [dir, choice] :
             {std::pair{again, QStringList{"--frames", ranked.join(',')}}, std::pair{fewer, QStringList{"--best", "3"}},
              std::pair{first, QStringList{"--percent", "100", "--index-dir", noIndex}}}) {
            const Outcome other = RunBatch(QStringList{"extract", path, "--format", "jpg", "--out", dir, "--numbering",
                                                       "padded:3", "--start", "0"} +
                                           choice);
            ASSERT_EQ(other.exitCode, 0) << other.err.toStdString();
            const QStringList names = FilesIn(dir);
            EXPECT_EQ(names, dir == fewer ? FilesIn(out).mid(0, 3) : FilesIn(out));
            // Nothing left aside: the frames that fell out of the best took their files along.
            EXPECT_EQ(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                      names);
            for (const QString& name : names) {
                EXPECT_EQ(Contents(dir + '/' + name), Contents(out + '/' + name)) << name.toStdString();
            }
        }
        // Listed frames at a first open (no index saved) read only the packets that can move
        // them: the first, the middle and the last frame are those of the file indexed from its
        // data, and one past the last is past the end, whatever the tables list.
        const auto count = qsizetype(lines.size());
        const QString listed = QStringLiteral("0,%1,%2").arg(count / 2).arg(count - 1);
        const QString fromTables = out + QStringLiteral("-listed");
        const QString fromData = out + QStringLiteral("-listed-data");
        ASSERT_EQ(
            RunBatch({"extract", path, "--frames", listed, "--out", fromTables, "--index-dir", noIndex + "-listed"})
                .exitCode,
            0);
        ASSERT_EQ(RunBatch({"extract", path, "--frames", listed, "--out", fromData, "--index-dir", indexDir}).exitCode,
                  0);
        ASSERT_EQ(FilesIn(fromTables).size(), 3);
        EXPECT_EQ(FilesIn(fromTables), FilesIn(fromData));
        for (const QString& name : FilesIn(fromData)) {
            EXPECT_EQ(Contents(fromTables + '/' + name), Contents(fromData + '/' + name)) << name.toStdString();
        }
        const Outcome past = RunBatch({"extract", path, "--frames", QString::number(count), "--out",
                                       fromTables + "-past", "--index-dir", noIndex + "-past"});
        EXPECT_EQ(past.exitCode, 2);
        EXPECT_TRUE(past.err.contains(QStringLiteral("frame %1 past the last frame (%2)").arg(count).arg(count - 1)))
            << past.err.toStdString();
    }
}

// The picture of a frame as FFmpeg decodes the file from the start, cut and written as a PPM,
// then encoded by libjpeg's own cjpeg: the batch command's JPEG holds exactly those bytes.
TEST(BatchCommand, JpegFilesAreThoseOfCjpegOnTheDecodedFrame) {
    fixture::TempDir dir;
    fixture::VideoOptions video;
    video.codec = fixture::Codec::H264;
    video.container = "matroska";
    video.frames = 8;
    const std::string path = dir.File("clip.mkv");
    ASSERT_TRUE(fixture::WriteVideo(path, video));
    const fixture::Decoded decoded = fixture::DecodeSequentially(path, 0);
    ASSERT_EQ(decoded.pictures.size(), 8u);
    const QRect cut(5, 7, 60, 50);
    const QString out = QString::fromStdString(dir.File("out"));
    const Outcome run = RunBatch({"extract", QString::fromStdString(path), "--frames", "6,2", "--crop", "5,7,60,50",
                                  "--quality", "75", "--format", "jpg", "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(FilesIn(out), (QStringList{"IMAGE1.JPG", "IMAGE2.JPG"}));

    const int stride = ((decoded.width * 3 + 3) / 4) * 4;
    for (const auto& [frame, name] : {std::pair{6, "IMAGE1.JPG"}, std::pair{2, "IMAGE2.JPG"}}) {
        QByteArray ppm = QStringLiteral("P6\n%1 %2\n255\n").arg(cut.width()).arg(cut.height()).toLatin1();
        for (int y = cut.top(); y <= cut.bottom(); ++y) {
            const uint8_t* row = decoded.pictures[size_t(frame)].data() + size_t(decoded.height - 1 - y) * stride;
            for (int x = cut.left(); x <= cut.right(); ++x)
                ppm.append(char(row[3 * x + 2])).append(char(row[3 * x + 1])).append(char(row[3 * x]));
        }
        QProcess cjpeg;
        cjpeg.start("cjpeg", {"-quality", "75", "-baseline"});
        ASSERT_TRUE(cjpeg.waitForStarted()) << "cjpeg (libjpeg-turbo-progs) is missing";
        cjpeg.write(ppm);
        cjpeg.closeWriteChannel();
        ASSERT_TRUE(cjpeg.waitForFinished());
        EXPECT_EQ(Contents(out + '/' + name), cjpeg.readAllStandardOutput()) << name;
    }
}

bool IsLink(const QByteArray& path) {
    struct stat status {};
    return lstat(path.constData(), &status) == 0 && S_ISLNK(status.st_mode);
}

// The size of the regular file at the path; -1 for anything else.
qint64 FileSize(const QByteArray& path) {
    struct stat status {};
    return lstat(path.constData(), &status) == 0 && S_ISREG(status.st_mode) ? qint64(status.st_size) : -1;
}

// Names are where the user put them: a file or a link in the way is refused, skipped or
// replaced, and replacing a link replaces the link, never what it leads to; bytes that are not
// UTF-8 and newlines stay what they are; a directory that cannot be made is said so.
TEST(BatchCommand, FilesInTheWayAndPlacesThatCannotBeWritten) {
    fixture::TempDir dir;
    const QByteArray root = QFile::encodeName(QFileInfo(QString::fromStdString(dir.File("clip.avi"))).absolutePath());
    const QByteArray clip = QFile::encodeName(WriteClip(dir, "clip.avi", fixture::Codec::Rgb24, "avi", 4));
    ASSERT_FALSE(clip.isEmpty());
    const qint64 bmpBytes = 54 + 160 * 3 * 120;

    struct Case {
        const char* name;
        const char* inTheWay;  // the name of out/ that is taken before the run
        QByteArray link;       // it is a link to this; empty: a file of our own
        std::vector<QByteArray> options;
        int exitCode;
        QStringList files;
    };
    const QStringList all{"IMAGE1.BMP", "IMAGE2.BMP", "IMAGE3.BMP"};
    const Case cases[] = {
        {"refused", "IMAGE2.BMP", {}, {}, 1, {"IMAGE1.BMP", "IMAGE2.BMP"}},
        {"skipped", "IMAGE2.BMP", {}, {"--skip-existing"}, 0, all},
        {"replaced", "IMAGE2.BMP", {}, {"--overwrite"}, 0, all},
        {"a link that leads nowhere is a file in the way", "IMAGE1.BMP", root + "/nowhere", {}, 1, {"IMAGE1.BMP"}},
        {"and is skipped", "IMAGE1.BMP", root + "/nowhere", {"--skip-existing"}, 0, all},
        {"replacing a link replaces the link", "IMAGE1.BMP", root + "/mine", {"--overwrite"}, 0, all},
    };
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray out = root + "/out" + QByteArray::number(serial++);
        const QByteArray taken = out + '/' + c.inTheWay;
        ASSERT_TRUE(QDir().mkpath(QFile::decodeName(out)));
        QFile mine(QFile::decodeName(c.link.isEmpty() ? taken : root + "/mine"));
        ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
        mine.write("mine");
        mine.close();
        if (!c.link.isEmpty()) {
            ASSERT_EQ(symlink(c.link.constData(), taken.constData()), 0);
        }
        std::vector<QByteArray> arguments{"extract", clip, "--frames", "0-2", "--out", out};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const RawRun run = RunBatchRaw(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_EQ(FilesIn(QFile::decodeName(out)), c.files);
        // What was in the way is as it was unless replaced; whatever a link led to is.
        const bool replaced = c.options == std::vector<QByteArray>{"--overwrite"};
        if (c.link.isEmpty()) {
            EXPECT_EQ(Contents(QFile::decodeName(taken)) == "mine", !replaced);
        } else {
            EXPECT_EQ(IsLink(taken), !replaced);
            EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(root + "/nowhere")));
            EXPECT_EQ(Contents(QFile::decodeName(root + "/mine")), "mine");
        }
        for (const QString& name : c.files) {
            if (name != c.inTheWay || replaced) {
                EXPECT_EQ(FileSize(out + '/' + name.toLatin1()), bmpBytes) << name.toStdString();
            }
        }
        if (c.exitCode == 1) {
            EXPECT_TRUE(run.err.contains(taken + ": file exists")) << run.err.toStdString();
        } else {
            // The closing line names them as they are.
            EXPECT_TRUE(run.err.contains(out + ": ")) << run.err.toStdString();
        }
    }

    // Names neither UTF-8 nor one line, as the video's, the folder's and the prefix.
    const QByteArray unusual = root + "/v\xff\n.avi";
    ASSERT_TRUE(QFile::copy(QFile::decodeName(clip), QString::fromUtf8(root) + "/copy.avi"));
    ASSERT_EQ(rename(QByteArray(root + "/copy.avi").constData(), unusual.constData()), 0);
    const QByteArray strange = root + "/out\xfe";
    const RawRun written = RunBatchRaw({"extract", unusual, "--frames", "2", "--out", strange, "--prefix", "p\xfd"});
    EXPECT_EQ(written.exitCode, 0) << written.err.toStdString();
    EXPECT_EQ(FileSize(strange + "/p\xfd"
                                 "1.BMP"),
              bmpBytes);
    EXPECT_TRUE(written.err.contains(strange + ": ")) << written.err.toStdString();
    // The "# VIDEO" line of rank stays one line; JSON gives the bytes as surrogate escapes.
    const RawRun text = RunBatchRaw({"rank", unusual, clip});
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QList<QByteArray> lines = text.out.split('\n');
    EXPECT_EQ(lines.first(), "# " + root + "/v\xff\\n.avi");
    EXPECT_EQ(lines.size(), 2 + 2 * 4 + 1);
    const RawRun json = RunBatchRaw({"rank", unusual, "--json"});
    EXPECT_TRUE(json.out.contains("/v\\udcff\\n.avi\"")) << json.out.toStdString();
    // Qt cannot name them to remove them.
    std::filesystem::remove_all(unusual.toStdString());
    std::filesystem::remove_all(strange.toStdString());

    // A directory that cannot be made: under a file.
    const Outcome run = RunBatch(
        {"extract", QFile::decodeName(clip), "--best", "1", "--out", QFile::decodeName(root) + "/out0/IMAGE2.BMP/sub"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("IMAGE2.BMP/sub: cannot make the output directory")) << run.err.toStdString();
}

// Mistakes of usage, and those that only the videos show, are refused before anything is
// written: status 2, a message naming the mistake, no output directory, no file anywhere.
TEST(BatchCommand, MistakesAreRefusedBeforeAnythingIsWritten) {
    fixture::TempDir dir;
    const QString clip = batch_testing::WriteClip(dir, "clip.avi", fixture::Codec::Rgb24, "avi", 50);
    ASSERT_FALSE(clip.isEmpty());
    const QString out = QString::fromStdString(dir.File("out"));
    struct Case {
        QStringList arguments;
        const char* said;
    };
    const Case mistakes[] = {
        {{}, "no command"},
        {{"sort", clip}, "unknown command 'sort'"},
        {{"rank"}, "no video given"},
        {{"extract", clip}, "needs one of --best N, --percent P, --frames LIST"},
        {{"extract", clip, "--best", "3", "--frames", "1"}, "--best and --frames cannot be used together"},
        {{"extract", clip, "--frames", "9-2"}, "--frames takes a list"},
        {{"extract", clip, "--frames", "1,,2"}, "--frames takes a list"},
        {{"extract", clip, "--best", "-1"}, "--best takes a whole number"},
        {{"extract", clip, "--best", "0"}, "--best 0 chooses no frame"},
        {{"extract", clip, "--percent", "0.5"}, "--percent takes a whole number"},
        {{"extract", clip, "--best", "2", "--numbering", "padded"}, "--numbering takes"},
        {{"extract", clip, "--best", "2", "--numbering", "padded:17"}, "zero-filled to at most 16 digits"},
        {{"extract", clip, "--best", "2", "--format", "gif"}, "--format takes bmp, jpg, png, webp or webp-lossy"},
        {{"extract", clip, "--per-scene", "--percent", "10"}, "--per-scene counts scenes"},
        {{"extract", clip, "--frames", "1", "--min-gap", "2"}, "does not go with --per-scene or --min-gap"},
        {{"extract", clip, "--min-gap", "0"}, "--min-gap takes a number of seconds above 0"},
        {{"extract", clip, "--per-scene", "--numbering", "none"}, "needs --best 1 and one video"},
        {{"rank", clip, clip, "--plot", "p.png"}, "--plot draws one video, not 2"},
        {{"extract", clip, "--best", "2", "--overwrite", "--skip-existing"}, "exclude each other"},
        {{"extract", clip, "--best", "2", "--prefix", "../escaped"}, "--prefix '../escaped' holds"},
        {{"extract", clip, "--best", "2", "--prefix", "sub/name"}, "--prefix 'sub/name' holds"},
        {{"extract", clip, "--best", "2", "--manifest", "list.txt"}, "--manifest takes a file ending in .csv or .json"},
        {{"rank", clip, "--quality", "0"}, "--quality takes 1 to 100"},
        {{"rank", clip, "--quality"}, "--quality needs a value"},
        {{"rank", clip, "--crop", "1,2,0,4"}, "--crop takes"},
        {{"rank", clip, "--crop", "10x10-1+2"}, "--crop takes"},
        {{"rank", clip, "--best", "3"}, "--best is an option of extract"},
        {{"rank", clip, "--segment", "1/2", "--from-tables"}, "--from-tables is an option of index"},
        {{"rank", clip, "--jobs", "0"}, "--jobs takes 1 to 64"},
        {{"rank", clip, "--frobnicate"}, "unknown option --frobnicate"},
        {{"rank", clip, "--json=yes"}, "--json takes no value"},
        {{"rank", clip, "--measure", "blur"}, "--measure takes jpeg or sharpness"},
        {{"extract", clip, "--best", "2", "--measure", "JPEG"}, "--measure takes jpeg or sharpness"},
        // Known only once the videos are open.
        {{"extract", clip, "--frames", "3,50-60"}, "clip.avi: frames 50-60 past the last frame (49)"},
        {{"extract", clip, "--percent", "1"}, "clip.avi: --percent 1 of its 50 frames chooses no frame"},
        {{"extract", clip, "--best", "2", "--numbering", "none"}, "--numbering none gives every file the same name"},
        {{"extract", clip, clip, "--frames", "4", "--numbering", "none"}, "there are 2 files to write"},
    };
    for (const Case& c : mistakes) {
        const QString arguments = c.arguments.join(' ');
        SCOPED_TRACE(arguments.toStdString());
        const bool extract = c.arguments.value(0) == "extract";
        const Outcome run = RunBatch(c.arguments + (extract ? QStringList{"--out", out} : QStringList{}));
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.startsWith("orvexa-batch: ")) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out));
        EXPECT_EQ(FilesIn(QFileInfo(clip).absolutePath()), QStringList{"clip.avi"});
    }
    // What is no mistake is done: one frame under the name without a number; a crop as
    // ImageMagick writes it.
    const Outcome one =
        RunBatch({"extract", clip, "--frames", "7", "--numbering", "none", "--crop", "40x30+8+4", "--out", out});
    EXPECT_EQ(one.exitCode, 0) << one.err.toStdString();
    EXPECT_EQ(FilesIn(out), QStringList{"IMAGE.BMP"});
    EXPECT_EQ(QFileInfo(out + "/IMAGE.BMP").size(), 54 + 40 * 3 * 30);

    const Outcome help = RunBatch({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("Example:"));
    EXPECT_TRUE(help.out.contains("--manifest FILE"));
    EXPECT_EQ(RunBatch({"--version"}).out, "orvexa-batch 0.30\n");
}

// The measure travels with the ranking: rank's text and JSON name it (the JPEG length's as
// they always were), merge gives rank's output for either and refuses parts of two measures,
// extract --ranking takes it from its file. Sharpness ranks blurred pictures last, the
// blurrier the later.
TEST(BatchCommand, EachMeasureRanksAndTravelsWithItsRanking) {
    fixture::TempDir dir;
    fixture::VideoOptions video;
    video.frames = 8;
    video.width = 64;
    video.height = 48;
    video.blurred = {{2, 1}, {5, 3}};
    const QString clip = QString::fromStdString(dir.File("clip.avi"));
    ASSERT_TRUE(fixture::WriteVideo(clip.toStdString(), video));
    struct Case {
        const char* measure;
        const char* text;       // rank's whole text
        const char* jsonFrame;  // the best frame in rank's JSON
        const char* header;     // the JSON's after "height"
        const char* manifest;   // the manifest's header
    };
    const Case cases[] = {
        // The JPEG length ranks the picture blurred once above a sharp one (frame 0, flat but
        // for a fine texture); sharpness ranks both blurred pictures last.
        {"jpeg", "7\t2535\t1\n3\t2520\t1\n1\t2497\t1\n6\t2494\t1\n4\t2071\t1\n2\t1963\t1\n0\t1744\t1\n5\t1611\t1\n",
         R"({"frame":7,"time":0.28,"bytes":2535,"scene":1})", R"("height":48,"scenes")",
         "file,video,frame,time,jpeg_bytes,kept"},
        {"sharpness",
         "# orvexa-batch measure sharpness\n7\t1229.65\t1\n6\t1178.93\t1\n3\t937.71\t1\n4\t918.35\t1\n1\t646.88\t1\n"
         "0\t141.73\t1\n2\t90.32\t1\n5\t30.51\t1\n",
         R"({"frame":7,"time":0.28,"sharpness":1229.65,"scene":1})",
         R"("height":48,"measure":"sharpness","unit":"grey levels squared","scenes")",
         "file,video,frame,time,sharpness,kept"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.measure);
        const Outcome text = RunBatch({"rank", clip, "--measure", c.measure});
        ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
        EXPECT_EQ(text.out.toStdString(), c.text);
        const Outcome json = RunBatch({"rank", clip, "--measure", c.measure, "--json"});
        EXPECT_TRUE(json.out.contains(c.jsonFrame)) << json.out.toStdString();
        EXPECT_TRUE(json.out.contains(c.header)) << json.out.toStdString();

        // Segments, as text and as JSON, merge into rank's output.
        QStringList parts;
        for (const char* k : {"1/2", "2/2"}) {
            const QString part = QString::fromStdString(dir.File(std::string(c.measure) + k[0] + ".part"));
            const Outcome segment =
                RunBatch({"rank", clip, "--measure", c.measure, "--segment", k, k[0] == '1' ? "--quiet" : "--json"});
            QFile file(part);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(segment.out.toUtf8()) == segment.out.size());
            parts << part;
        }
        EXPECT_EQ(RunBatch(QStringList{"merge"} + parts).out.toStdString(), c.text);
        EXPECT_EQ(RunBatch(QStringList{"merge", "--json"} + parts).out, json.out);

        // The saved ranking chooses what the measure would, and names its values in the manifest.
        const QString saved = QString::fromStdString(dir.File(std::string(c.measure) + ".txt"));
        QFile file(saved);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text.out.toUtf8()) == text.out.size());
        file.close();
        const QString ranked = QString::fromStdString(dir.File(std::string("ranked-") + c.measure));
        const QString fresh = QString::fromStdString(dir.File(std::string("fresh-") + c.measure));
        const Outcome fromFile = RunBatch({"extract", clip, "--best", "2", "--ranking", saved, "--format", "jpg",
                                           "--out", ranked, "--manifest", ranked + ".csv"});
        const Outcome measured =
            RunBatch({"extract", clip, "--best", "2", "--measure", c.measure, "--format", "jpg", "--out", fresh});
        ASSERT_EQ(fromFile.exitCode, 0) << fromFile.err.toStdString();
        ASSERT_EQ(measured.exitCode, 0) << measured.err.toStdString();
        for (const char* name : {"IMAGE1.JPG", "IMAGE2.JPG"})
            EXPECT_EQ(Contents(ranked + '/' + name), Contents(fresh + '/' + name)) << name;
        EXPECT_TRUE(Contents(ranked + ".csv").startsWith(QByteArray(c.manifest) + "\nIMAGE1.JPG,")) << c.manifest;
    }
    // Parts of two measures are no ranking of one: one line, and nothing printed.
    const Outcome mixed = RunBatch(
        {"merge", QString::fromStdString(dir.File("jpeg1.part")), QString::fromStdString(dir.File("sharpness2.part"))});
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_TRUE(mixed.out.isEmpty());
    EXPECT_EQ(mixed.err.count('\n'), 1) << mixed.err.toStdString();
    EXPECT_TRUE(mixed.err.contains("is ranked by sharpness")) << mixed.err.toStdString();
}

// Ctrl-C while files are written: the command stops with 130 and every file it left is whole.
TEST(BatchCommand, InterruptLeavesOnlyWholeFiles) {
    fixture::TempDir dir;
    fixture::VideoOptions video;
    video.codec = fixture::Codec::Mjpeg;
    video.width = 640;
    video.height = 480;
    video.frames = 400;
    const QString clip = QString::fromStdString(dir.File("clip.avi"));
    ASSERT_TRUE(fixture::WriteVideo(clip.toStdString(), video));
    const QString out = QString::fromStdString(dir.File("out"));
    QProcess process;
    process.setProcessEnvironment(testing_support::WithoutDisplay());
    process.start(QStringLiteral(ORVEXA_BATCH_PATH), {"extract", clip, "--frames", "0-399", "--out", out});
    ASSERT_TRUE(process.waitForStarted());
    // Stopped once it has begun writing.
    while (FilesIn(out).isEmpty() && process.state() == QProcess::Running) process.waitForFinished(20);
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(60000));
    const QStringList files = FilesIn(out);
    if (files.size() < 400) {
        EXPECT_EQ(process.exitCode(), 130);
    }
    const qint64 bmpBytes = 54 + qint64(640) * 3 * 480;
    for (const QString& name : files) {
        EXPECT_TRUE(QRegularExpression("^IMAGE[0-9]+\\.BMP$").match(name).hasMatch()) << name.toStdString();
        EXPECT_EQ(QFileInfo(out + '/' + name).size(), bmpBytes) << name.toStdString();
    }
}

// Every file written is listed with the frame it holds, the frame's time and its JPEG length,
// in the files' order, the names going on from one video to the next in the command line's
// order; standard error ends with what was done, unless --quiet. Videos that cannot be read
// fail with a message each, the others done, at once or in workers.
TEST(BatchCommand, ManifestAndClosingLineTellWhatEachFileHolds) {
    fixture::TempDir dir;
    const QString first = WriteClip(dir, "first.avi", fixture::Codec::Mpeg4BFrames, "avi", 14);
    const QString second = WriteClip(dir, "second.mp4", fixture::Codec::H264, "mp4", 14);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    const QString text = QString::fromStdString(dir.File("notes.avi"));
    ASSERT_TRUE(fixture::WriteBadFile(text.toStdString(), fixture::BadFile::Text, ""));
    const QString missing = QString::fromStdString(dir.File("missing.mp4"));
    const std::map<QString, std::vector<std::pair<int, qint64>>> ranked = {
        {first, RankLines(RunBatch({"rank", first}).out)}, {second, RankLines(RunBatch({"rank", second}).out)}};
    ASSERT_EQ(ranked.at(first).size(), 14u);

    struct Case {
        const char* name;
        QStringList choice;
        QString jobs;
        QString manifest;
        bool quiet;
        std::vector<int> ranks;   // which rank each file of a video holds; empty: `frames`
        std::vector<int> frames;  // the listed frames each video writes
        bool badVideos = false;   // a text file and a missing one between the two videos
    };
    const Case cases[] = {
        {"best JPEG, CSV, bad videos", {"--best", "3", "--format", "jpg"}, "1", "list.csv", false, {0, 1, 2}, {}, true},
        {"best JPEG in workers, JSON, bad videos",
         {"--best", "3", "--format", "jpg"},
         "3",
         "list.json",
         false,
         {0, 1, 2},
         {},
         true},
        {"listed frames as BMP, JSON", {"--frames", "9,2"}, "1", "list.json", false, {}, {9, 2}},
        {"percent as BMP in workers, quiet", {"--percent", "20"}, "2", "list.csv", true, {0, 1}, {}},
    };
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = QString::fromStdString(dir.File("out" + std::to_string(serial)));
        const QString manifest = QString::fromStdString(dir.File(std::to_string(serial++) + c.manifest.toStdString()));
        QStringList arguments{"extract", first};
        if (c.badVideos) arguments << text << missing;
        arguments << second << "--out" << out << "--jobs" << c.jobs << "--manifest" << manifest;
        if (c.quiet) arguments << "--quiet";
        const Outcome run = RunBatch(arguments + c.choice);
        ASSERT_EQ(run.exitCode, c.badVideos ? 1 : 0) << run.err.toStdString();
        if (c.badVideos) {
            EXPECT_TRUE(run.err.contains(text + ": cannot be read as a video")) << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(missing + ": no such file")) << run.err.toStdString();
        }

        const bool jpeg = c.choice.contains("jpg");
        std::vector<ManifestRow> expected;
        for (const QString& video : {first, second}) {
            const auto& ranking = ranked.at(video);
            std::map<int, qint64> lengths(ranking.begin(), ranking.end());
            const size_t count = c.ranks.empty() ? c.frames.size() : c.ranks.size();
            for (size_t i = 0; i < count; ++i) {
                const int frame = c.ranks.empty() ? c.frames[i] : ranking[size_t(c.ranks[i])].first;
                const QString name = QStringLiteral("IMAGE%1.%2").arg(expected.size() + 1).arg(jpeg ? "JPG" : "BMP");
                expected.push_back({name, video, frame, frame / kFrameRate, lengths[frame]});
            }
        }
        const std::vector<ManifestRow> rows = ReadManifest(manifest);
        ASSERT_EQ(rows.size(), expected.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(expected[i].file.toStdString());
            EXPECT_EQ(rows[i].file, expected[i].file);
            EXPECT_EQ(rows[i].video, expected[i].video);
            EXPECT_EQ(rows[i].frame, expected[i].frame);
            EXPECT_NEAR(rows[i].time, expected[i].time, 1e-9);
            EXPECT_EQ(rows[i].jpegBytes, expected[i].jpegBytes);
            EXPECT_FALSE(rows[i].kept);
            // The JPEG file is that encoding.
            if (jpeg) {
                EXPECT_EQ(QFileInfo(out + '/' + rows[i].file).size(), rows[i].jpegBytes);
            }
        }
        EXPECT_EQ(FilesIn(out).size(), qsizetype(expected.size()));
        const QString said = QStringLiteral("orvexa-batch: wrote %1 files in %2: %3 to %4\n")
                                 .arg(expected.size())
                                 .arg(out, expected.front().file, expected.back().file);
        if (c.badVideos) {
            EXPECT_TRUE(run.err.endsWith(said)) << run.err.toStdString();
        } else {
            EXPECT_EQ(run.err, c.quiet ? QString() : said);
        }
    }

    // A rerun that keeps every file lists them too, marked as kept, with their frames; it
    // removes what a killed run left written aside, and nothing else.
    const QString out = QString::fromStdString(dir.File("out0"));
    const QString again = QString::fromStdString(dir.File("again.json"));
    const std::vector<ManifestRow> before = ReadManifest(QString::fromStdString(dir.File("0list.csv")));
    for (const char* name : {"IMAGE1.JPG.orvexa-tmp-0a9zq1", "IMAGE1.JPG.orvexa-tmp-x", "notes.orvexa-tmp-"}) {
        QFile file(out + '/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // A killed run's folder of files written aside together goes whole.
    ASSERT_TRUE(QDir(out).mkpath("frames.orvexa-tmp-k1ll3d"));
    QFile aside(out + "/frames.orvexa-tmp-k1ll3d/7");
    ASSERT_TRUE(aside.open(QIODevice::WriteOnly));
    aside.close();
    const Outcome rerun = RunBatch({"extract", first, second, "--out", out, "--best", "3", "--format", "jpg",
                                    "--skip-existing", "--manifest", again});
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err.toStdString();
    EXPECT_TRUE(rerun.err.contains("wrote no file in " + out + "; 6 existing files left as they were"))
        << rerun.err.toStdString();
    const std::vector<ManifestRow> kept = ReadManifest(again);
    ASSERT_EQ(kept.size(), before.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_TRUE(kept[i].kept);
        EXPECT_EQ(kept[i].file, before[i].file);
        EXPECT_EQ(kept[i].frame, before[i].frame);
        EXPECT_EQ(kept[i].jpegBytes, before[i].jpegBytes);
    }
    EXPECT_FALSE(FilesIn(out).contains("IMAGE1.JPG.orvexa-tmp-0a9zq1"));
    EXPECT_TRUE(FilesIn(out).contains("IMAGE1.JPG.orvexa-tmp-x"));
    EXPECT_TRUE(FilesIn(out).contains("notes.orvexa-tmp-"));
    EXPECT_FALSE(QDir(out).exists("frames.orvexa-tmp-k1ll3d"));
}

// A chunk of the file's Nth frame filled with zeros: that frame cannot be decoded.
bool SpoilFrame(const QString& avi, int frame) {
    QFile file(avi);
    if (!file.open(QIODevice::ReadWrite)) return false;
    QByteArray bytes = file.readAll();
    qsizetype at = bytes.indexOf("movi");
    for (int i = 0; i <= frame && at >= 0; ++i) at = bytes.indexOf("00dc", at + 4);
    if (at < 0) return false;
    quint32 size = 0;
    std::memcpy(&size, bytes.constData() + at + 4, 4);
    bytes.replace(at + 8, qsizetype(size), QByteArray(qsizetype(size), '\0'));
    return file.seek(0) && file.write(bytes) == bytes.size();
}

// rank --json: one frame a line with its time, a frame that could not be decoded said so, and
// each video's frame count, rate and size; the same whether the videos run here or in workers.
TEST(BatchCommand, RankJsonGivesTimesVideoFactsAndUndecodableFrames) {
    fixture::TempDir dir;
    const QString spoilt = WriteClip(dir, "spoilt.avi", fixture::Codec::Mjpeg, "avi", 8);
    const QString good = WriteClip(dir, "good.mp4", fixture::Codec::H264, "mp4", 8);
    ASSERT_TRUE(SpoilFrame(spoilt, 3));
    const QString missing = QString::fromStdString(dir.File("missing.avi"));

    QString sequential;
    for (const QString jobs : {"1", "3"}) {
        SCOPED_TRACE("jobs " + jobs.toStdString());
        const Outcome run = RunBatch({"rank", spoilt, good, missing, "--json", "--jobs", jobs});
        EXPECT_EQ(run.exitCode, 1);
        QJsonParseError error;
        const QJsonArray videos = QJsonDocument::fromJson(run.out.toUtf8(), &error).array();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
        ASSERT_EQ(videos.size(), 3);
        // Compact: each frame on a line of its own.
        const QStringList lines = run.out.split('\n');
        EXPECT_EQ(lines.filter(QRegularExpression("^\\{\"frame\":\\d+,[^\\n]*\\},?$")).size(), 16);
        EXPECT_LE(lines.size(), 16 + 8);

        for (const int v : {0, 1}) {
            const QJsonObject video = videos[v].toObject();
            EXPECT_EQ(video["frame_count"].toInt(), 8);
            EXPECT_EQ(video["frame_rate"].toDouble(), kFrameRate);
            EXPECT_EQ(video["width"].toInt(), 160);
            EXPECT_EQ(video["height"].toInt(), 120);
            const QJsonArray frames = video["frames"].toArray();
            ASSERT_EQ(frames.size(), 8);
            for (const QJsonValue& value : frames) {
                const QJsonObject f = value.toObject();
                const int frame = f["frame"].toInt();
                EXPECT_NEAR(f["time"].toDouble(), frame / kFrameRate, 1e-9) << frame;
                const bool lost = v == 0 && frame == 3;
                EXPECT_EQ(f["bytes"].isNull(), lost) << frame;
                EXPECT_EQ(f.contains("decoded"), lost) << frame;
                EXPECT_EQ(f["decoded"].toBool(true), !lost) << frame;
                if (!lost) {
                    EXPECT_GT(f["bytes"].toInteger(), 0) << frame;
                }
            }
        }
        // The undecodable frame is ranked last.
        EXPECT_EQ(videos[0].toObject()["frames"].toArray().last().toObject()["frame"].toInt(), 3);
        const QJsonObject gone = videos[2].toObject();
        EXPECT_FALSE(gone.contains("frame_count"));
        EXPECT_TRUE(gone["frames"].toArray().isEmpty());
        EXPECT_TRUE(gone["errors"].toArray().first().toString().contains("no such file"));
        if (sequential.isEmpty()) {
            sequential = run.out;
        } else {
            EXPECT_EQ(run.out, sequential);
        }
    }
}

// The progress line on a terminal: no wider than the terminal, and gone without a trace when the
// command ends, whatever it printed meanwhile (rank's lines, messages).
TEST(BatchCommand, ProgressLineFitsTheTerminalAndLeavesNothingBehind) {
    fixture::TempDir dir;
    const QByteArray video = QFile::encodeName(
        WriteClip(dir, "a video whose name is longer than a narrow terminal.avi", fixture::Codec::Mjpeg, "avi", 60));
    const QByteArray second = QFile::encodeName(WriteClip(dir, "second.avi", fixture::Codec::Mjpeg, "avi", 60));
    ASSERT_FALSE(video.isEmpty());
    ASSERT_FALSE(second.isEmpty());

    struct Case {
        int columns;
        std::vector<QByteArray> arguments;
        int exitCode;
        int rankedLines;  // "FRAME<TAB>BYTES" lines on the screen
    };
    const QByteArray out = QFile::encodeName(QString::fromStdString(dir.File("out")));
    const Case cases[] = {
        {30, {"rank", video}, 0, 60},
        {45, {"rank", video, second, "--jobs", "2"}, 0, 2 * 60},
        {30, {"extract", video, second, "--best", "2", "--out", out + "1"}, 0, 0},
        {45, {"extract", video, video + ".missing", second, "--best", "1", "--jobs", "2", "--out", out + "2"}, 1, 0},
        {200, {"rank", video, second, "--jobs", "2"}, 0, 2 * 60},
    };
    // The line tells "DONE/TOTAL frames" of each video; nothing else does. In these widths it
    // does so even when the names must be shortened.
    const auto isProgress = [](const QByteArray& text) {
        return QRegularExpression("\\d+/\\d+ frames").match(QString::fromLatin1(text)).hasMatch();
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QByteArray(c.arguments[0] + " on " + QByteArray::number(c.columns) + " columns").toStdString());
        const RawRun run = RunBatchRaw(c.arguments, c.columns);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out.toStdString();
        // Each drawing of the line: what follows "\r\033[K" up to the next return.
        int drawn = 0;
        for (const QByteArray& draw : run.out.split('\r')) {
            if (!draw.startsWith("\033[K") || !isProgress(draw)) continue;
            EXPECT_LT(draw.size() - 3, c.columns) << draw.toStdString();
            ++drawn;
        }
        EXPECT_GT(drawn, 0);
        const std::vector<QByteArray> screen = batch_testing::ScreenLines(run.out, c.columns);
        for (const QByteArray& line : screen) EXPECT_FALSE(isProgress(line)) << line.toStdString();
        const auto ranked = std::count_if(screen.begin(), screen.end(), [](const QByteArray& l) {
            return QRegularExpression("^\\d+\t\\d+\t\\d+$").match(QString::fromLatin1(l)).hasMatch();
        });
        EXPECT_EQ(ranked, c.rankedLines);
        if (c.arguments[0] == "extract") {
            QByteArray all;
            for (const QByteArray& line : screen) all += line;
            EXPECT_TRUE(all.contains("orvexa-batch: wrote ")) << run.out.toStdString();
        }
    }
}

// A file's frame by the manifest: the frames written, in the files' order.
std::vector<int> ManifestFrames(const QString& manifest) {
    std::vector<int> frames;
    for (const ManifestRow& row : ReadManifest(manifest)) frames.push_back(row.frame);
    return frames;
}

// Frames worth keeping from a video of three shots joined by dissolves: the best of each
// scene, frames apart, both with --best, as PNG holding the BMP's pixels; and rank --plot.
TEST(BatchCommand, ChoosesByScenesAndTimeAndWritesPng) {
    fixture::TempDir dir;
    fixture::VideoOptions shots;
    shots.codec = fixture::Codec::H264;
    shots.container = "mp4";
    shots.shotLength = 60;
    shots.transitionFrames = 20;
    shots.frames = 180;
    const QString video = QString::fromStdString(dir.File("shots.mp4"));
    ASSERT_TRUE(fixture::WriteVideo(video.toStdString(), shots));
    // rank's order and scenes, and the rank order of the frames further than 2 s apart.
    const QString saved = QString::fromStdString(dir.File("shots.rank"));
    const Outcome rank = RunBatch({"rank", video});
    {
        QFile file(saved);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(rank.out.toUtf8());
    }
    std::vector<std::pair<int, int>> ranked;  // frame, scene
    for (const QString& line : rank.out.split('\n', Qt::SkipEmptyParts)) {
        ranked.emplace_back(line.section('\t', 0, 0).toInt(), line.section('\t', 2, 2).toInt());
    }
    ASSERT_EQ(ranked.size(), 180u);
    std::vector<int> spread;
    for (const auto& [frame, scene] : ranked) {
        if (std::all_of(spread.begin(), spread.end(), [&](int f) { return std::abs(f - frame) >= 2 * kFrameRate; }))
            spread.push_back(frame);
    }

    struct Case {
        const char* name;
        QStringList choice;
        size_t files;
    };
    const Case cases[] = {
        {"each scene's best, PNG", {"--per-scene", "--format", "png"}, 3},
        {"the two best scenes", {"--per-scene", "--best", "2"}, 2},
        {"three frames 2 s apart", {"--min-gap", "2", "--best", "3"}, 3},
        {"the same from rank's saved text", {"--min-gap", "2", "--best", "3", "--ranking", saved}, 3},
        {"each scene's best from rank's saved text", {"--per-scene", "--ranking", saved}, 3},
    };
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = QString::fromStdString(dir.File("out" + std::to_string(serial++)));
        const QString manifest = out + ".csv";
        const Outcome run = RunBatch(QStringList{"extract", video, "--out", out, "--manifest", manifest} + c.choice);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const std::vector<int> frames = ManifestFrames(manifest);
        ASSERT_EQ(frames.size(), c.files);
        if (c.choice.contains("--min-gap")) {
            EXPECT_EQ(frames, std::vector<int>(spread.begin(), spread.begin() + 3));
            continue;
        }
        // One frame a shot, in rank order, each inside its shot rather than in a dissolve.
        std::set<int> shotsSeen;
        for (size_t i = 0; i < frames.size(); ++i) {
            const int into = frames[i] % shots.shotLength;
            EXPECT_TRUE(into >= 10 && into < 50) << frames[i];
            shotsSeen.insert(frames[i] / shots.shotLength);
            if (i > 0) {
                const auto rankOf = [&](int frame) {
                    return std::find_if(ranked.begin(), ranked.end(), [&](const auto& r) { return r.first == frame; }) -
                           ranked.begin();
                };
                EXPECT_LT(rankOf(frames[i - 1]), rankOf(frames[i]));
            }
        }
        EXPECT_EQ(shotsSeen.size(), frames.size());
        if (!c.choice.contains("png")) continue;
        // The PNG holds the pixels of the BMP of the same frame.
        const QString bmpOut = out + "-bmp";
        ASSERT_EQ(RunBatch({"extract", video, "--frames", QString::number(frames[0]), "--out", bmpOut}).exitCode, 0);
        const QImage png(out + "/IMAGE1.PNG");
        const QImage bmp(bmpOut + "/IMAGE1.BMP");
        ASSERT_FALSE(png.isNull());
        EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), bmp.convertToFormat(QImage::Format_RGB32));
    }

    // The plot replaces only a regular file other than the video, and that only with
    // --overwrite; a refusal comes before the ranking, and leaves the name as it was.
    const QString plot = QString::fromStdString(dir.File("plot.png"));
    const QString link = QString::fromStdString(dir.File("link.png"));
    ASSERT_TRUE(QFile::link(video, link));
    const QByteArray videoBytes = Contents(video);
    struct PlotCase {
        QStringList arguments;
        int exitCode;
        const char* said;
    };
    const PlotCase plots[] = {
        {{"--plot", plot}, 0, ""},
        {{"--plot", plot}, 1, "plot.png: file exists (use --overwrite)"},
        {{"--plot", plot, "--overwrite"}, 0, ""},
        {{"--plot", video, "--overwrite"}, 1, "the plot would replace it"},
        {{"--plot", link, "--overwrite"}, 1, "link.png: not a regular file"},
        {{"--plot", "/dev/null", "--overwrite"}, 1, "/dev/null: not a regular file"},
        {{"--plot", dir.File("none/plot.png").c_str()}, 1, "plot.png: cannot write: no such directory"},
    };
    for (const PlotCase& c : plots) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        if (c.exitCode == 0 && c.arguments.contains("--overwrite")) {
            ASSERT_TRUE(QFile(plot).resize(0));
        }
        const Outcome run = RunBatch(QStringList{"rank", video, "--quiet"} + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out.isEmpty(), c.exitCode != 0);
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
        if (c.exitCode == 0) {
            EXPECT_FALSE(QImage(plot).isNull());
        }
    }
    EXPECT_EQ(Contents(video), videoBytes);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), video);
}

}  // namespace
