// SPDX-License-Identifier: GPL-2.0-or-later
// The build installed into a folder of its own, as a package installs it: the programs, the
// metafile helper where the program finds it, the desktop entry, the icons and the AppStream
// metadata, with both validators clean; the licence; the manual pages, which say what --help
// says; the bash completion of orvexa-batch, loaded in bash.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>

#include "imaging/metafile.h"
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
    QFile copyright(File("share/doc/orvexa/copyright"));
    ASSERT_TRUE(copyright.open(QIODevice::ReadOnly));
    const QByteArray licence = copyright.readAll();
    EXPECT_TRUE(licence.startsWith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"));
    EXPECT_TRUE(licence.contains("\nFiles: *\nCopyright: 2026 The Orvexa team\nLicense: GPL-2+\n"));
    EXPECT_TRUE(QFileInfo::exists(File("share/doc/orvexa/changelog.Debian.gz")));
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
    const QString helper = imaging::MetafileHelperFor(File("bin"));
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

// The package only recommends the URW fonts: without them, metafiles still open, their text
// drawn with the Liberation fonts it depends on. The fonts are hidden from the helper in a
// mount namespace of its own, which needs root.
TEST_F(Installed, MetafilesWithTextOpenWithoutTheUrwFonts) {
    QTemporaryDir work;
    QFile wmf(work.filePath("text.wmf"));
    ASSERT_TRUE(wmf.open(QIODevice::WriteOnly));
    wmf.write(fixture::MakeWmfWithText());
    wmf.close();
    const QString urw = "/usr/share/fonts/type1/urw-base35";
    const Outcome svg =
        RunWithoutDisplay("unshare", {"-m", "sh", "-c", "mount -t tmpfs none \"$0\" && exec \"$1\" svg wmf \"$2\"", urw,
                                      imaging::MetafileHelperFor(File("bin")), wmf.fileName()});
    if (svg.err.startsWith("unshare:") || svg.err.startsWith("mount:")) GTEST_SKIP() << svg.err.toStdString();
    EXPECT_EQ(svg.exitCode, 0) << svg.err.toStdString();
    EXPECT_TRUE(svg.out.contains(">Orvexa</text>")) << svg.out.toStdString();
}

// The words of a text, whatever its line breaks and spacing.
std::vector<std::string> Words(const QString& text) {
    std::vector<std::string> words;
    for (const QString& word : text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)) {
        words.push_back(word.toStdString());
    }
    return words;
}

TEST_F(Installed, ManualPagesSayWordForWordWhatTheHelpSays) {
    for (const QString program : {"orvexa", "orvexa-batch"}) {
        const QString page = File("share/man/man1/" + program + ".1.gz");
        const Outcome shown =
            RunWithoutDisplay("sh", {"-c", "gzip -dc \"$1\" | groff -man -Tascii -P-cbou -rLL=200n -ww", "sh", page});
        ASSERT_EQ(shown.exitCode, 0) << program.toStdString() << shown.err.toStdString();
        EXPECT_TRUE(shown.err.isEmpty()) << program.toStdString() << " page warnings: " << shown.err.toStdString();
        EXPECT_TRUE(shown.out.contains(QRegularExpression("\nNAME\n +" + program + " - [a-z]")))
            << shown.out.toStdString();

        // From the synopsis to the end of the description, the page's words are the help's.
        const qsizetype synopsis = shown.out.indexOf("\nSYNOPSIS\n");
        const qsizetype seeAlso = shown.out.indexOf("\nSEE ALSO\n");
        ASSERT_TRUE(synopsis > 0 && seeAlso > synopsis) << shown.out.toStdString();
        QString body = shown.out.mid(synopsis + 10, seeAlso - synopsis - 10);
        body.replace("\nDESCRIPTION\n", "\n");
        const Outcome help = RunWithoutDisplay(File("bin/" + program), {"--help"});
        ASSERT_TRUE(help.out.startsWith("Usage: "));
        EXPECT_EQ(Words(body), Words(help.out.mid(7))) << program.toStdString();
    }
}

// Completes LINE (the cursor at its end) as bash does with the installed completion, in a folder
// holding two videos, a text file and a folder, the installed programs first on the PATH.
std::vector<std::string> Completions(const QString& prefix, const QString& line) {
    QTemporaryDir work;
    for (const char* name : {"clip.mp4", "Holiday.AVI", "notes.txt"})
        QFile(work.filePath(name)).open(QIODevice::WriteOnly);
    QDir(work.path()).mkdir("frames");
    const QString script = R"(
        . /usr/share/bash-completion/bash_completion
        . "$1/share/bash-completion/completions/orvexa-batch"
        PATH="$1/bin:$PATH"
        cd "$2"
        COMP_LINE=$3
        COMP_POINT=${#COMP_LINE}
        read -ra COMP_WORDS <<<"$COMP_LINE"
        [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        function=$(complete -p orvexa-batch | sed -E 's/.* -F ([^ ]+) .*/\1/')
        "$function" orvexa-batch "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf '%s\n' "${COMPREPLY[@]}")";
    const Outcome completed = RunWithoutDisplay("bash", {"-c", script, "bash", prefix, work.path(), line});
    EXPECT_EQ(completed.exitCode, 0) << line.toStdString() << completed.err.toStdString();
    std::vector<std::string> words = Words(completed.out);
    std::sort(words.begin(), words.end());
    return words;
}

TEST_F(Installed, BashCompletesTheBatchCommandsOptionsValuesAndVideos) {
    // Every option the help describes, as the help spells it.
    const QString help = RunWithoutDisplay(File("bin/orvexa-batch"), {"--help"}).out;
    std::vector<std::string> options;
    for (const QRegularExpressionMatch& match :
         QRegularExpression("^ +(?:-[a-z], )?(--[a-z][a-z-]*)", QRegularExpression::MultilineOption)
             .globalMatch(help)) {
        options.push_back(match.captured(1).toStdString());
    }
    std::sort(options.begin(), options.end());
    options.erase(std::unique(options.begin(), options.end()), options.end());
    ASSERT_GT(std::count(options.begin(), options.end(), "--numbering"), 0) << help.toStdString();

    const struct {
        const char* line;
        std::vector<std::string> expected;
    } cases[] = {
        {"orvexa-batch ", {"extract", "index", "merge", "rank"}},
        {"orvexa-batch ex", {"extract"}},
        {"orvexa-batch --jobs 2 ", {"extract", "index", "merge", "rank"}},
        {"orvexa-batch rank ", {"Holiday.AVI", "clip.mp4", "frames"}},
        {"orvexa-batch merge ", {"Holiday.AVI", "clip.mp4", "frames", "notes.txt"}},
        {"orvexa-batch extract clip.mp4 --format ", {"bmp", "jpg", "png", "webp", "webp-lossy"}},
        {"orvexa-batch extract clip.mp4 --numbering ", {"none", "normal", "padded:"}},
        {"orvexa-batch extract clip.mp4 --numbering pa", {"padded:"}},
        {"orvexa-batch extract clip.mp4 --out ", {"frames"}},
        {"orvexa-batch extract clip.mp4 --quality ", {}},
        {"orvexa-batch extract clip.mp4 --for", {"--format"}},
        {"orvexa-batch rank clip.mp4 --", options},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(Completions(prefix_->path(), test.line), test.expected) << test.line;
    }
}

}  // namespace
