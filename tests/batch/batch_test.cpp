// SPDX-License-Identifier: GPL-2.0-or-later
// orvexa-batch, run as a script runs it (no display): its rankings and files are those of the
// program's "Best of..." and "Extraire Lot..." with the same settings, byte for byte, and those
// of an independent libjpeg encode; bad videos, files in the way, unwritable places and Ctrl-C.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <functional>
#include <random>

#include "app/main_window_fixture.h"
#include "batch_run.h"
#include "framelist/frame_list_window.h"
#include "options/jpeg_options_dialog.h"
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

// The settings shared by the program and the batch command in one comparison.
struct SameSettings {
    const char* name;
    fixture::Codec codec;
    std::string container;
    QRect crop;  // empty: whole frames
    int quality;
    bool grayscale;
    bool progressive;
    bool jpeg;
    int numbering;  // the main window's numbering item
    int width;      // its mask's length
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
        ui().RadioGroupTypeExtraction->setItemIndex(c.jpeg ? 1 : 0);
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
         false, true, 1, 3, 7, "best"},
        {"MPEG-4 AVI, whole, BMP, normal from 1", fixture::Codec::Mpeg4BFrames, "avi", QRect(), 100, false, false,
         false, 0, 0, 1, "IMAGE"},
        {"VP9 WebM, cropped, grey progressive JPEG 60, no number", fixture::Codec::Vp9, "webm", QRect(0, 0, 160, 64),
         60, true, true, true, 2, 0, 1, "one"},
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
                                                     c.jpeg ? "jpg" : "bmp", "--out", batchDir, "--prefix", c.prefix,
                                                     "--numbering", numbering, "--start", QString::number(c.start)} +
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

TEST(BatchCommand, BadVideosFailWithTheOthersDoneAtOnceOrInWorkers) {
    fixture::TempDir dir;
    fixture::VideoOptions video;
    video.frames = 9;
    const QString first = QString::fromStdString(dir.File("first.avi"));
    const QString second = QString::fromStdString(dir.File("second.mp4"));
    const QString text = QString::fromStdString(dir.File("notes.avi"));
    ASSERT_TRUE(fixture::WriteVideo(first.toStdString(), video));
    video.container = "mp4";
    video.codec = fixture::Codec::H264;
    ASSERT_TRUE(fixture::WriteVideo(second.toStdString(), video));
    ASSERT_TRUE(fixture::WriteBadFile(text.toStdString(), fixture::BadFile::Text, ""));
    const QString missing = QString::fromStdString(dir.File("missing.mp4"));

    for (const QString jobs : {"1", "3"}) {
        SCOPED_TRACE("jobs " + jobs.toStdString());
        const QString out = QString::fromStdString(dir.File("out" + jobs.toStdString()));
        const Outcome run = RunBatch({"extract", first, text, missing, second, "--best", "2", "--jobs", jobs, "--out",
                                      out, "--numbering", "padded:2"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(text + ": cannot be read as a video")) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(missing + ": no such file")) << run.err.toStdString();
        // The names go on from one video to the next in the command line's order.
        EXPECT_EQ(FilesIn(out), (QStringList{"IMAGE01.BMP", "IMAGE02.BMP", "IMAGE03.BMP", "IMAGE04.BMP"}));
    }
}

TEST(BatchCommand, FilesInTheWayAndPlacesThatCannotBeWritten) {
    fixture::TempDir dir;
    fixture::VideoOptions video;
    video.frames = 6;
    const QString clip = QString::fromStdString(dir.File("clip.avi"));
    ASSERT_TRUE(fixture::WriteVideo(clip.toStdString(), video));
    const QString out = QString::fromStdString(dir.File("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    QFile mine(out + "/IMAGE2.BMP");
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
    mine.write("mine");
    mine.close();

    struct Case {
        const char* name;
        QStringList options;
        int exitCode;
        QStringList files;
    };
    const Case cases[] = {
        {"refused", {}, 1, {"IMAGE1.BMP", "IMAGE2.BMP"}},
        {"skipped", {"--skip-existing"}, 0, {"IMAGE1.BMP", "IMAGE2.BMP", "IMAGE3.BMP"}},
        {"replaced", {"--overwrite"}, 0, {"IMAGE1.BMP", "IMAGE2.BMP", "IMAGE3.BMP"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(out).remove("IMAGE1.BMP");
        QDir(out).remove("IMAGE3.BMP");
        const Outcome run = RunBatch(QStringList{"extract", clip, "--frames", "0-2", "--out", out} + c.options);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_EQ(FilesIn(out), c.files);
        const bool replaced = c.options.contains("--overwrite");
        EXPECT_EQ(Contents(out + "/IMAGE2.BMP") == "mine", !replaced);
        if (c.exitCode == 1) {
            EXPECT_TRUE(run.err.contains(out + "/IMAGE2.BMP: file exists")) << run.err.toStdString();
        }
    }

    // A directory that cannot be made: under a file.
    const Outcome run = RunBatch({"extract", clip, "--best", "1", "--out", out + "/IMAGE2.BMP/sub"});
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
        {{"extract", clip, "--best", "2", "--format", "gif"}, "--format takes jpg, bmp or png"},
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

}  // namespace
