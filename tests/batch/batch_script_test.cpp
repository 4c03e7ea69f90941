// SPDX-License-Identifier: GPL-2.0-or-later
// orvexa-batch as a script reads it: the manifest and closing line of extract, the JSON of rank,
// the progress line on terminals of several widths, and names kept as the user gave them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "support/batch_run.h"
#include "support/fixture_video.h"
#include "support/run_program.h"

namespace {

using batch_testing::Contents;
using batch_testing::FilesIn;
using batch_testing::RunBatchRaw;
using batch_testing::WriteClip;
using Outcome = testing_support::ProgramRun;

constexpr double kFrameRate = 25;  // the fixture videos'

Outcome RunBatch(const QStringList& arguments) {
    return testing_support::RunWithoutDisplay(QStringLiteral(ORVEXA_BATCH_PATH), arguments);
}

// The "FRAME<TAB>BYTES" lines of a one-video ranking, in rank order.
std::vector<std::pair<int, qint64>> Ranking(const QString& video) {
    std::vector<std::pair<int, qint64>> ranked;
    for (const QString& line : RunBatch({"rank", video}).out.split('\n', Qt::SkipEmptyParts)) {
        ranked.emplace_back(line.section('\t', 0, 0).toInt(), line.section('\t', 1, 1).toLongLong());
    }
    return ranked;
}

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

// Every file written is listed with the frame it holds, the frame's time and its JPEG length,
// in the files' order; standard error ends with what was done, unless --quiet.
TEST(BatchScript, ManifestAndClosingLineTellWhatEachFileHolds) {
    fixture::TempDir dir;
    const QString first = WriteClip(dir, "first.avi", fixture::Codec::Mpeg4BFrames, "avi", 14);
    const QString second = WriteClip(dir, "second.mp4", fixture::Codec::H264, "mp4", 14);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    const std::map<QString, std::vector<std::pair<int, qint64>>> ranked = {{first, Ranking(first)},
                                                                           {second, Ranking(second)}};
    ASSERT_EQ(ranked.at(first).size(), 14u);

    struct Case {
        const char* name;
        QStringList choice;
        QString jobs;
        QString manifest;
        bool quiet;
        std::vector<int> ranks;   // which rank each file of a video holds; empty: `frames`
        std::vector<int> frames;  // the listed frames each video writes
    };
    const Case cases[] = {
        {"best JPEG, CSV", {"--best", "3", "--format", "jpg"}, "1", "list.csv", false, {0, 1, 2}, {}},
        {"best JPEG in workers, JSON", {"--best", "3", "--format", "jpg"}, "2", "list.json", false, {0, 1, 2}, {}},
        {"listed frames as BMP, JSON", {"--frames", "9,2"}, "1", "list.json", false, {}, {9, 2}},
        {"percent as BMP in workers, quiet", {"--percent", "20"}, "2", "list.csv", true, {0, 1}, {}},
    };
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = QString::fromStdString(dir.File("out" + std::to_string(serial)));
        const QString manifest = QString::fromStdString(dir.File(std::to_string(serial++) + c.manifest.toStdString()));
        QStringList arguments{"extract", first, second, "--out", out, "--jobs", c.jobs, "--manifest", manifest};
        if (c.quiet) arguments << "--quiet";
        const Outcome run = RunBatch(arguments + c.choice);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

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
        EXPECT_EQ(run.err, c.quiet ? QString() : said);
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
TEST(BatchScript, RankJsonGivesTimesVideoFactsAndUndecodableFrames) {
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
TEST(BatchScript, ProgressLineFitsTheTerminalAndLeavesNothingBehind) {
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
        const batch_testing::RawRun run = RunBatchRaw(c.arguments, c.columns);
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

bool IsLink(const QByteArray& path) {
    struct stat status {};
    return lstat(path.constData(), &status) == 0 && S_ISLNK(status.st_mode);
}

// The size of the regular file at the path; -1 for anything else.
qint64 FileSize(const QByteArray& path) {
    struct stat status {};
    return lstat(path.constData(), &status) == 0 && S_ISREG(status.st_mode) ? qint64(status.st_size) : -1;
}

// Names are where the user put them: a link in the way is a file in the way, and replacing it
// replaces the link; bytes that are not UTF-8 and newlines stay what they are.
TEST(BatchScript, NamesStayWhereTheUserPutThem) {
    fixture::TempDir dir;
    const QByteArray root = QFile::encodeName(QFileInfo(QString::fromStdString(dir.File("clip.avi"))).absolutePath());
    const QByteArray clip = QFile::encodeName(WriteClip(dir, "clip.avi", fixture::Codec::Rgb24, "avi", 4));
    ASSERT_FALSE(clip.isEmpty());
    const qint64 bmpBytes = 54 + 160 * 3 * 120;
    const QByteArray unusual = root + "/v\xff\n.avi";  // neither UTF-8 nor one line
    ASSERT_TRUE(QFile::copy(QFile::decodeName(clip), QString::fromUtf8(root) + "/copy.avi"));
    ASSERT_EQ(rename(QByteArray(root + "/copy.avi").constData(), unusual.constData()), 0);

    struct Case {
        const char* name;
        QByteArray link;  // out/IMAGE1.BMP is a link to it, when set
        std::vector<QByteArray> arguments;
        int exitCode;
        QByteArray writtenFile;  // a file the command writes
    };
    const Case cases[] = {
        {"a link that leads nowhere is a file in the way",
         root + "/nowhere",
         {"extract", clip, "--frames", "0-1"},
         1,
         {}},
        {"and is skipped", root + "/nowhere", {"extract", clip, "--frames", "0-1", "--skip-existing"}, 0, "IMAGE2.BMP"},
        {"replacing a link replaces the link",
         root + "/mine",
         {"extract", clip, "--frames", "0-1", "--overwrite"},
         0,
         "IMAGE1.BMP"},
        {"names that are not UTF-8",
         {},
         {"extract", unusual, "--frames", "2", "--out", root + "/out\xfe", "--prefix", "p\xfd"},
         0,
         "p\xfd"
         "1.BMP"},
    };
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray out = root + "/out" + QByteArray::number(serial++);
        std::vector<QByteArray> arguments = c.arguments;
        if (std::find(arguments.begin(), arguments.end(), "--out") == arguments.end()) {
            arguments.insert(arguments.end(), {"--out", out});
        } else {
            out = arguments[size_t(std::find(arguments.begin(), arguments.end(), "--out") - arguments.begin()) + 1];
        }
        QFile mine(QFile::decodeName(root + "/mine"));
        ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
        mine.write("mine");
        mine.close();
        if (!c.link.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(QFile::decodeName(out)));
            ASSERT_EQ(symlink(c.link.constData(), (out + "/IMAGE1.BMP").constData()), 0);
        }
        const batch_testing::RawRun run = RunBatchRaw(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        // Whatever the link led to is as it was.
        EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(root + "/nowhere")));
        EXPECT_EQ(Contents(QFile::decodeName(root + "/mine")), "mine");
        const bool replaced = c.arguments.back() == "--overwrite";
        if (!c.link.isEmpty()) {
            EXPECT_EQ(IsLink(out + "/IMAGE1.BMP"), !replaced);
        }
        if (!c.writtenFile.isEmpty()) {
            EXPECT_EQ(FileSize(out + '/' + c.writtenFile), bmpBytes);
            // The closing line names them as they are.
            EXPECT_TRUE(run.err.contains(out + ": ")) << run.err.toStdString();
        }
        if (c.exitCode == 1) {
            EXPECT_TRUE(run.err.contains(out + "/IMAGE1.BMP: file exists")) << run.err.toStdString();
        }
    }
    // A prefix cannot lead out of --out, however it is written.
    EXPECT_EQ(RunBatchRaw({"extract", clip, "--best", "1", "--out", root + "/out9", "--prefix", "../x"}).exitCode, 2);

    // The "# VIDEO" line of rank stays one line; JSON gives the bytes as surrogate escapes.
    const batch_testing::RawRun text = RunBatchRaw({"rank", unusual, clip});
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QList<QByteArray> lines = text.out.split('\n');
    EXPECT_EQ(lines.first(), "# " + root + "/v\xff\\n.avi");
    EXPECT_EQ(lines.size(), 2 + 2 * 4 + 1);
    const batch_testing::RawRun json = RunBatchRaw({"rank", unusual, "--json"});
    EXPECT_TRUE(json.out.contains("/v\\udcff\\n.avi\"")) << json.out.toStdString();
    // Qt cannot name them to remove them.
    std::filesystem::remove_all(unusual.toStdString());
    std::filesystem::remove_all(root.toStdString() + "/out\xfe");
}

}  // namespace

namespace {

// A file's frame by the manifest: the frames written, in the files' order.
std::vector<int> ManifestFrames(const QString& manifest) {
    std::vector<int> frames;
    for (const ManifestRow& row : ReadManifest(manifest)) frames.push_back(row.frame);
    return frames;
}

}  // namespace

// Frames worth keeping from a video of three shots joined by dissolves: the best of each
// scene, frames apart, both with --best, as PNG holding the BMP's pixels; and rank --plot.
TEST(BatchScript, ChoosesByScenesAndTimeAndWritesPng) {
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
        if (c.exitCode == 0 && c.arguments.contains("--overwrite")) ASSERT_TRUE(QFile(plot).resize(0));
        const Outcome run = RunBatch(QStringList{"rank", video, "--quiet"} + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out.isEmpty(), c.exitCode != 0);
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
        if (c.exitCode == 0) EXPECT_FALSE(QImage(plot).isNull());
    }
    EXPECT_EQ(Contents(video), videoBytes);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), video);
}
