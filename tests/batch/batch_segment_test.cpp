// SPDX-License-Identifier: GPL-2.0-or-later
// One video ranked in stretches, as on several machines, then merged: what rank prints for the
// whole, or a refusal; the stretches reading an index saved first by `index`, as a cluster's
// tasks do; and extract taking its order from the saved ranking.
#include <gtest/gtest.h>
#include <QFile>

#include "batch_run.h"
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

    const QByteArray whole = file("whole.json"), avi1 = file("avi.1-3"), avi2 = file("avi.2-3"), avi3 = file("avi.3-3");
    ASSERT_TRUE(save(whole, json.out));
    const QByteArray edited = file("edited");
    ASSERT_TRUE(save(edited, Contents(QString::fromUtf8(avi3)).replace("# frame_count 30", "# frame_count 31")));
    // Another file under the same name.
    ASSERT_FALSE(batch_testing::WriteClip(dir, "clip.avi", fixture::Codec::Mpeg4BFrames, "avi", 33).isEmpty());
    const QByteArray other = file("other");
    ASSERT_TRUE(save(other, RunBatchRaw({"rank", avi, "--segment", "2/3"}).out));
    const struct {
        std::vector<QByteArray> arguments;
        const char* said;
    } refused[] = {
        {{"merge", avi1, avi2, avi2, avi3}, "overlaps"},
        {{"merge", avi1, avi3}, "segment 2/3 is missing"},
        {{"merge", avi1, other, avi3}, "another version"},
        {{"merge", avi1, avi2, edited}, "frame count (31, not 30)"},
        {{"merge", whole}, "no segment"},
        {{"extract", avi, "--best", "3", "--out", file("o"), "--ranking", whole}, "clip.avi with 30 frames, not 33"},
        {{"extract", mp4, "--best", "3", "--out", file("o"), "--ranking", avi1}, "holds no ranking of"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.said);
        const batch_testing::RawRun run = RunBatchRaw(c.arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
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
