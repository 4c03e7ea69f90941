// The build installed into a folder of its own, as a package installs it: the programs, the
// metafile helper where the program finds it, the desktop entry, the icons and the AppStream
// metadata, with both validators clean.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/metafile.h"
#include "support/fixture_pictures.h"
#include "support/run_program.h"

namespace {

using Outcome = testing_support::ProgramRun;
using testing_support::RunWithoutDisplay;

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = new QTemporaryDir;
        install_ =
            RunWithoutDisplay(ORVEXA_CMAKE_COMMAND, {"--install", ORVEXA_BUILD_DIR, "--prefix", prefix_->path()});
    }
    static void TearDownTestSuite() {
        delete prefix_;
        prefix_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(install_.exitCode, 0) << install_.err.toStdString(); }
    static QString File(const QString& path) { return prefix_->filePath(path); }

    static QTemporaryDir* prefix_;
    static Outcome install_;
};

QTemporaryDir* Installed::prefix_ = nullptr;
Outcome Installed::install_;

TEST_F(Installed, PutsEveryFileInItsPlaceAndTheValidatorsAgree) {
    for (const char* path : {"bin/orvexa", "bin/orvexa-batch", "libexec/orvexa/orvexa-metafile-helper"}) {
        EXPECT_TRUE(QFileInfo(File(path)).isExecutable()) << path;
    }
    const QString desktop = File("share/applications/org.orvexa.Orvexa.desktop");
    const QString metainfo = File("share/metainfo/org.orvexa.Orvexa.metainfo.xml");
    EXPECT_TRUE(QFileInfo::exists(File("share/icons/hicolor/scalable/apps/org.orvexa.Orvexa.svg")));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage icon(File(QStringLiteral("share/icons/hicolor/%1x%1/apps/org.orvexa.Orvexa.png").arg(size)));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
    }

    const Outcome entry = RunWithoutDisplay("desktop-file-validate", {desktop});
    EXPECT_EQ(entry.exitCode, 0) << entry.out.toStdString();
    EXPECT_FALSE(entry.out.contains("error:") || entry.out.contains("warning:")) << entry.out.toStdString();
    const Outcome appstream = RunWithoutDisplay("appstreamcli", {"validate", "--no-net", metainfo});
    EXPECT_EQ(appstream.exitCode, 0) << appstream.out.toStdString() << appstream.err.toStdString();

    QFile file(desktop);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    for (const char* line :
         {"Exec=orvexa %f", "Categories=AudioVideo;Video;Graphics;", "Comment[fr]=", "Name[fr]=", "video/x-msvideo;",
          "video/mp4;", "video/quicktime;", "video/x-matroska;", "video/webm;", "video/mp2t;", "video/mpeg;"}) {
        EXPECT_TRUE(text.contains(line)) << line;
    }
}

TEST_F(Installed, ProgramsAnswerWithoutADisplayAndFindTheirHelper) {
    const Outcome version = RunWithoutDisplay(File("bin/orvexa"), {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Orvexa 0.30\n");
    const Outcome help = RunWithoutDisplay(File("bin/orvexa"), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: orvexa [FILE]"));
    const Outcome wrong = RunWithoutDisplay(File("bin/orvexa"), {"--frobnicate"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.out.isEmpty());
    EXPECT_TRUE(wrong.err.contains("Usage: orvexa [FILE]"));
    EXPECT_EQ(RunWithoutDisplay(File("bin/orvexa-batch"), {"--version"}).out, "orvexa-batch 0.30\n");

    // The installed program looks for the helper in libexec, and that helper draws metafiles.
    const QString helper = gfx::MetafileHelperFor(File("bin"));
    EXPECT_EQ(helper, File("libexec/orvexa/orvexa-metafile-helper"));
    QTemporaryDir work;
    QFile wmf(work.filePath("picture.wmf"));
    ASSERT_TRUE(wmf.open(QIODevice::WriteOnly));
    wmf.write(fixture::MakeWmf());
    wmf.close();
    const Outcome svg = RunWithoutDisplay(helper, {"svg", "wmf", wmf.fileName()});
    EXPECT_EQ(svg.exitCode, 0) << svg.err.toStdString();
    EXPECT_TRUE(svg.out.contains("<svg")) << svg.out.left(200).toStdString();
}

}  // namespace
