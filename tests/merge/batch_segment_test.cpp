// SPDX-License-Identifier: GPL-2.0-or-later
// One video ranked in stretches, as on several machines, then merged: what rank prints for the
// whole, or a refusal; the stretches reading an index saved first by `index`, as a cluster's
// tasks do, also a damaged MP4's read from its tables; and extract taking its order from the
// saved ranking.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "support/batch_run.h"
#include "support/fixture_video.h"

namespace {

using batch_testing::Contents;
using batch_testing::FilesIn;
using batch_testing::RunBatchRaw;

TEST(BatchSegments, MergedSegmentsPrintTheWholeRankingAndOnlyThat) {
    fixture::TempDir dir;
    const auto file = [&](const std::string& name) { return QByteArray::fromStdString(dir.File(name)); };
    const auto save = [](const QByteArray& path, const QByteArray& bytes) {
        QFile out(QString::fromUtf8(path));
        return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
    };
    const QByteArray avi = batch_testing::WriteClip(dir, "clip.avi", fixture::Codec::Mpeg4BFrames, "avi", 30).toUtf8();
    const QByteArray mp4 = batch_testing::WriteClip(dir, "clip.mp4", fixture::Codec::H264, "mp4", 26).toUtf8();
    ASSERT_FALSE(avi.isEmpty() || mp4.isEmpty());
    const batch_testing::RawRun text = RunBatchRaw({"rank", avi, mp4}),
                                json = RunBatchRaw({"rank", avi, mp4, "--json"});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();

    // The indexes saved once, for every segment of 4 to read.
    const QByteArray indexDir = file("index");
    const batch_testing::RawRun indexed = RunBatchRaw({"index", avi, mp4, "--index-dir", indexDir});
    ASSERT_EQ(indexed.exitCode, 0) << indexed.err.toStdString();
    EXPECT_EQ(FilesIn(QString::fromUtf8(indexDir)).filter(QStringLiteral(".oix")).size(), 2);
    const struct {
        std::vector<QByteArray> arguments;
        const char* said;
    } unindexed[] = {
        {{"index", file("missing.mp4"), "--index-dir", indexDir}, "missing.mp4: no such file"},
        {{"index", mp4, "--index-dir", "/proc/orvexa-index"}, "cannot save its index in /proc/orvexa-index"},
    };
    for (const auto& c : unindexed) {
        const batch_testing::RawRun run = RunBatchRaw(c.arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
    }

    // Segment K/N of a video, as text for odd K and as JSON for even K.
    const auto segment = [&](const QByteArray& video, int k, int n) {
        const QByteArray path = file(QStringLiteral("%1.%2-%3").arg(video.right(3)).arg(k).arg(n).toStdString());
        std::vector<QByteArray> arguments{"rank", video, "--segment",
                                          QByteArray::number(k) + '/' + QByteArray::number(n)};
        if (k % 2 == 0) arguments.push_back("--json");
        if (n == 4) arguments.insert(arguments.end(), {"--index-dir", indexDir});
        const batch_testing::RawRun run = RunBatchRaw(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(save(path, run.out));
        return path;
    };
    for (const int n : {1, 3, 4}) {
        SCOPED_TRACE(n);
        // The last segments first: the videos come in the order of their first segment.
        std::vector<QByteArray> merge{"merge"};
        for (int k = n; k >= 1; --k) merge.insert(merge.end(), {segment(avi, k, n), segment(mp4, k, n)});
        const batch_testing::RawRun merged = RunBatchRaw(merge);
        EXPECT_EQ(merged.exitCode, 0) << merged.err.toStdString();
        EXPECT_EQ(merged.out, text.out);
        merge.push_back("--json");
        EXPECT_EQ(RunBatchRaw(merge).out, json.out);
    }

    // An MP4 damaged a third of the way, indexed from its tables: the stretch that finds it
    // damaged indexes it from its data and saves that index, which the later stretches read;
    // merge refuses the first stretch, ranked on the tables' index, until it is ranked again.
    const QByteArray damaged = batch_testing::WriteClip(dir, "damaged.mp4", fixture::Codec::H264, "mp4", 60).toUtf8();
    QByteArray spoilt = Contents(QString::fromUtf8(damaged));
    for (qsizetype i = 0, at = spoilt.lastIndexOf("moov") / 3; i < 1024; ++i) spoilt[at + i] = char(i * 37 % 251);
    ASSERT_TRUE(save(damaged, spoilt));
    const batch_testing::RawRun damagedRank = RunBatchRaw({"rank", damaged});
    ASSERT_EQ(damagedRank.exitCode, 0) << damagedRank.err.toStdString();
    ASSERT_EQ(damagedRank.out.count('\n'), fixture::DecodeSequentially(damaged.toStdString(), 0).pictures.size());
    const QByteArray damagedIndex = file("damaged-index");
    ASSERT_EQ(RunBatchRaw({"index", damaged, "--from-tables", "--index-dir", damagedIndex}).exitCode, 0);
    std::vector<QByteArray> stretches{"merge"};
    for (int k = 1; k <= 4; ++k) {
        stretches.push_back(file("damaged." + std::to_string(k)));
        const batch_testing::RawRun run =
            RunBatchRaw({"rank", damaged, "--segment", QByteArray::number(k) + "/4", "--index-dir", damagedIndex});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        ASSERT_TRUE(save(stretches.back(), run.out));
        EXPECT_EQ(run.out.contains("# positions tables\n"), k == 1) << k;
    }
    const batch_testing::RawRun mixed = RunBatchRaw(stretches);
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_TRUE(mixed.err.contains("segment 2/4 of " + damaged + " was ranked on another index of the video than " +
                                   stretches[1] + " (positions checked, not read from the sample tables; frame count"))
        << mixed.err.toStdString();
    ASSERT_TRUE(
        save(stretches[1], RunBatchRaw({"rank", damaged, "--segment", "1/4", "--index-dir", damagedIndex}).out));
    const batch_testing::RawRun settled = RunBatchRaw(stretches);
    EXPECT_EQ(settled.exitCode, 0) << settled.err.toStdString();
    EXPECT_EQ(settled.out, damagedRank.out);

    const QByteArray whole = file("whole.json"), avi1 = file("avi.1-3"), avi2 = file("avi.2-3"), avi3 = file("avi.3-3");
    ASSERT_TRUE(save(whole, json.out));
    const batch_testing::RawRun aviRank = RunBatchRaw({"rank", avi});
    const QByteArray aviText = file("avi.txt");
    ASSERT_TRUE(save(aviText, aviRank.out));
    // A copy of a file with one thing changed.
    const auto edited = [&](const QByteArray& from, const char* name, const auto& edit) {
        QByteArray bytes = Contents(QString::fromUtf8(from));
        edit(bytes);
        EXPECT_TRUE(save(file(name), bytes));
        return file(name);
    };
    const auto replaced = [&](const QByteArray& from, const char* name, const char* pattern, const char* with) {
        return edited(from, name, [&](QByteArray& bytes) {
            bytes = QString::fromUtf8(bytes).replace(QRegularExpression(pattern), with).toUtf8();
        });
    };
    const auto crlf = [&](const QByteArray& from, const char* name) {
        return edited(from, name, [](QByteArray& bytes) { bytes.replace("\n", "\r\n"); });
    };
    // Line 12 of a text part is its first frame's.
    const auto firstFrame = [&](const char* name, const QByteArray& before, const QByteArray& after) {
        return edited(avi1, name, [&](QByteArray& bytes) {
            QList<QByteArray> lines = bytes.split('\n');
            lines[11] =
                before + lines[11].left(lines[11].indexOf('\t')) + after + lines[11].mid(lines[11].indexOf('\t'));
            bytes = lines.join('\n');
        });
    };
    // CRLF line ends are read as LF, in text and in JSON.
    const batch_testing::RawRun windows = RunBatchRaw({"merge", crlf(avi1, "crlf1"), crlf(avi2, "crlf2"), avi3});
    EXPECT_EQ(windows.exitCode, 0) << windows.err.toStdString();
    EXPECT_EQ(windows.out, aviRank.out);
    // The same video's second stretch, one byte of its content changed: another video of the
    // same name, size and frames.
    const QByteArray original = Contents(QString::fromUtf8(avi));
    QByteArray twin = original;
    twin[twin.size() / 2] = char(twin[twin.size() / 2] ^ 0x01);
    ASSERT_TRUE(save(avi, twin));
    const QByteArray foreign = file("foreign");
    ASSERT_TRUE(save(foreign, RunBatchRaw({"rank", avi, "--segment", "2/3"}).out));
    ASSERT_TRUE(save(avi, original));

    // Outputs that cannot be written: a full disk.
    for (const std::vector<QByteArray>& arguments :
         std::vector<std::vector<QByteArray>>{{"rank", avi},
                                              {"rank", avi, "--json"},
                                              {"rank", avi, "--segment", "1/3"},
                                              {"merge", avi1, avi2, avi3},
                                              {"merge", avi1, avi2, avi3, "--json"},
                                              {"--help"}}) {
        SCOPED_TRACE(arguments[0].toStdString() + ' ' + arguments.back().toStdString());
        const batch_testing::RawRun run = RunBatchRaw(arguments, 0, "/dev/full");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "orvexa-batch: standard output: cannot write: no space left on device\n");
    }

    const QByteArray edited31 = replaced(avi3, "edited", "# frame_count 30", "# frame_count 31");
    const QByteArray withoutScenes = replaced(whole, "old.json", R"(,"scenes":\d+,"cuts":\[[^\]]*\]|,"scene":\d+)", "");
    const QByteArray lateCut = edited(whole, "late-cut", [](QByteArray& bytes) {
        QString text = QString::fromUtf8(bytes);
        text.replace(QRegularExpression(R"("cuts":\[[^\]]*\])"),
                     R"("cuts":[{"frame":40,"time":1.6,"transition_first":40,"transition_end":40}])");
        text.replace(QRegularExpression(R"("scenes":\d+)"), R"("scenes":2)");
        bytes = text.replace(QRegularExpression(R"("scene":\d+)"), R"("scene":1)").toUtf8();
    });
    const QByteArray twice =
        edited(aviText, "twice.txt", [](QByteArray& bytes) { bytes += bytes.left(bytes.indexOf('\n') + 1); });
    const QByteArray longLine = edited(
        avi1, "long", [](QByteArray& bytes) { bytes.insert(bytes.indexOf("\n0\t") + 1, QByteArray(2 << 20, '0')); });
    const QByteArray empty = file("empty"), noVideo = file("no-video");
    ASSERT_TRUE(save(empty, {}));
    ASSERT_TRUE(save(noVideo, "[]\n"));
    const QByteArray folder = file("folder");
    ASSERT_TRUE(QDir().mkpath(QString::fromUtf8(folder)));
    // Another file under the same name.
    ASSERT_FALSE(batch_testing::WriteClip(dir, "clip.avi", fixture::Codec::Mpeg4BFrames, "avi", 33).isEmpty());
    const QByteArray other = file("other");
    ASSERT_TRUE(save(other, RunBatchRaw({"rank", avi, "--segment", "2/3"}).out));
    const QByteArray out = file("o");
    const auto fromRanking = [&](const QByteArray& video, const QByteArray& ranking, bool perScene = false) {
        std::vector<QByteArray> arguments{"extract", video, "--out", out, "--ranking", ranking};
        arguments.insert(arguments.end(), {perScene ? "--per-scene" : "--best", perScene ? "--quiet" : "3"});
        return arguments;
    };
    // Each refused with one line and status 1, before anything is written.
    const struct {
        std::vector<QByteArray> arguments;
        QByteArray said;
    } refused[] = {
        {{"merge", avi1, avi2, avi2, avi3}, "overlaps"},
        {{"merge", avi1, avi3}, "segment 2/3 is missing"},
        {{"merge", avi1, other, avi3}, "another version"},
        {{"merge", avi1, foreign, avi3}, "in its content fingerprint"},
        {{"merge", avi1, avi2, edited31}, "frame count (31, not 30)"},
        {{"merge", whole}, "no segment"},
        {{"merge", folder}, ": cannot be read: is a directory"},
        {{"merge", avi1, empty, avi2, avi3}, "empty: empty: not a ranking"},
        {{"merge", noVideo}, "(line 2: a ranking of no video)"},
        {{"merge", firstFrame("nul", "", QByteArray(3, '\0')), avi2, avi3}, "(line 12)"},
        {{"merge", firstFrame("plus", "+", ""), avi2, avi3}, "(line 12)"},
        {{"merge", firstFrame("blank", " ", ""), avi2, avi3}, "(line 12)"},
        {{"merge", replaced(avi1, "overflow", "# width \\d+", "# width 99999999999999999999"), avi2, avi3},
         "(# width)"},
        {{"merge", avi1, replaced(avi2, "unsigned", R"(,"signature":"[0-9a-f]*")", ""), avi3},
         "without its \"signature\""},
        {{"merge", avi1, replaced(avi2, "nul-key", R"(\{"frame":)", R"({"frame\u0000":)"), avi3},
         "a frame without a whole \"frame\""},
        {{"merge", replaced(avi1, "unprinted", "# fingerprint [^\n]*\n", ""), avi2, avi3},
         "without the video's fingerprint (rank it again)"},
        {{"merge", avi1, replaced(avi2, "rate0", R"("frame_rate":[0-9.]+)", R"("frame_rate":0)"), avi3},
         "\"frame_rate\" is not above 0"},
        {{"merge", avi1, replaced(avi2, "count0", R"("frame_count":\d+)", R"("frame_count":0)"), avi3},
         "\"frame_count\" is not a whole number from 1"},
        {{"merge", longLine, avi2, avi3}, "longer than 1048576 bytes"},
        {fromRanking(avi, whole), "clip.avi with 30 frames, not 33"},
        {fromRanking(mp4, avi1), "holds no ranking of"},
        {fromRanking(mp4, folder), ": cannot be read: is a directory"},
        {fromRanking(mp4, replaced(whole, "null-cuts", R"("cuts":\[[^\]]*\])", R"("cuts":null)")), "bad \"cuts\""},
        {fromRanking(mp4, lateCut), "(a cut at frame 40 past the last frame"},
        {fromRanking(mp4, withoutScenes, true), "ranks " + mp4 + " without scenes (rank it again)"},
        {{"extract", avi, "--best", "3", "--out", out, "--ranking", twice}, "of " + avi + " ranked twice"},
        {{"extract", mp4, avi, "--best", "1", "--jobs", "2", "--out", out, "--ranking", folder}, "is a directory"},
        {{"extract", mp4, "--best", "1", "--out", out, "--manifest", file("none/list.csv")},
         "list.csv: cannot write: no such directory"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.said.toStdString());
        const batch_testing::RawRun run = RunBatchRaw(c.arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_FALSE(QFile::exists(QString::fromUtf8(out)));
    }

    // The saved ranking gives extract the files that its own ranking gives.
    const auto extract = [&](const char* out, const std::vector<QByteArray>& more) {
        std::vector<QByteArray> arguments{"extract", mp4, "--percent", "20", "--format", "jpg", "--out", file(out)};
        arguments.insert(arguments.end(), more.begin(), more.end());
        EXPECT_EQ(RunBatchRaw(arguments).exitCode, 0);
        QByteArrayList files;
        for (const QString& name : FilesIn(QString::fromUtf8(file(out)))) {
            files << name.toUtf8() << Contents(QString::fromUtf8(file(out)) + '/' + name);
        }
        return files;
    };
    const QByteArrayList ranked = extract("ranked", {});
    EXPECT_EQ(ranked.size(), 10);
    EXPECT_EQ(extract("saved", {"--ranking", whole}), ranked);
}

}  // namespace
