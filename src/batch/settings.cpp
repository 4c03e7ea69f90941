// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/settings.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <limits>

#include "batch/frame_list.h"

namespace batch {

namespace {

QString Usage() {
    return QStringLiteral(
        "Usage: orvexa-batch rank VIDEO... [--crop LEFT,TOP,WIDTH,HEIGHT] [--quality Q] [--grayscale]\n"
        "                         [--progressive] [--json] [--jobs N] [--quiet]\n"
        "       orvexa-batch extract VIDEO... (--best N | --percent P | --frames LIST)\n"
        "                         [--crop LEFT,TOP,WIDTH,HEIGHT] [--quality Q] [--grayscale] [--progressive]\n"
        "                         [--format jpg|bmp] [--out DIR] [--prefix NAME]\n"
        "                         [--numbering normal|padded:W|none] [--start N]\n"
        "                         [--overwrite | --skip-existing] [--jobs N] [--quiet]\n");
}

bool ToInt(const QString& text, int64_t low, int64_t high, int64_t& value) {
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && value >= low && value <= high;
}

}  // namespace

QString HelpText() {
    return Usage() +
           QStringLiteral(
               "\n"
               "Ranks the frames of videos, or writes chosen frames as pictures, as Orvexa's\n"
               "\"Best of...\" and \"Extraire Lot...\" do: same frames, same names, same bytes.\n"
               "No display is needed.\n"
               "\n"
               "rank      prints, for each video, one line per frame, FRAME<TAB>BYTES, the\n"
               "          byte length of the frame's JPEG encoding, largest first (ties by\n"
               "          frame number); with several videos each list follows a \"# VIDEO\" line.\n"
               "extract   writes the chosen frames in rank order (--frames: in the list's order),\n"
               "          numbered from --start; the next video goes on from the next number.\n"
               "\n"
               "Output picture and JPEG encoding:\n"
               "  --crop LEFT,TOP,WIDTH,HEIGHT  cut every frame to this rectangle, in pixels\n"
               "  --quality Q          JPEG quality, 1 to 100 (default 100)\n"
               "  --grayscale          grey-scale JPEG\n"
               "  --progressive        progressive JPEG\n"
               "rank:\n"
               "  --json               print [{\"video\": ..., \"frames\": [{\"frame\": F, \"bytes\": B}, ...]}]\n"
               "extract:\n"
               "  --best N             the N frames of largest JPEG encoding\n"
               "  --percent P          P percent of the frames, by rank\n"
               "  --frames LIST        these frames, in this order, e.g. 1,5,9-20\n"
               "  --format jpg|bmp     picture type (default bmp)\n"
               "  --out DIR            output directory, made when missing (default .)\n"
               "  --prefix NAME        file name prefix (default IMAGE)\n"
               "  --numbering normal|padded:W|none\n"
               "                       1, 2, ...; zero-filled to W digits; or no number (default normal)\n"
               "  --start N            first number (default 1)\n"
               "  --overwrite          replace existing files\n"
               "  --skip-existing      leave existing files and go on (their numbers are used up)\n"
               "                       without either, an existing file stops the command\n"
               "Both:\n"
               "  --jobs N             work on N videos at a time (default 1)\n"
               "  --quiet              no progress on standard error (shown only on a terminal)\n"
               "  -h, --help           print this help\n"
               "  -v, --version        print the version\n"
               "\n"
               "Exit status: 0 all done, 1 a video could not be read or a file not written\n"
               "(the other videos are still done), 2 bad usage, 130 interrupted.\n"
               "\n"
               "Example:\n"
               "  orvexa-batch extract holiday.mp4 --best 10 --crop 40,20,640,360 --format jpg \\\n"
               "      --quality 90 --out best --prefix holiday --numbering padded:3\n"
               "writes best/holiday001.JPG ... best/holiday010.JPG, the sharpest frame first.\n");
}

ParseResult ParseArguments(const QStringList& arguments) {
    ParseResult result;
    const auto bad = [&](const QString& error) {
        result.outcome = ParseResult::Outcome::BadUsage;
        result.error = error;
        return result;
    };

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{"h", "help"}), version(QStringList{"v", "version"});
    const QCommandLineOption crop("crop", {}, "rect"), quality("quality", {}, "q"), grayscale("grayscale"),
        progressive("progressive"), json("json"), best("best", {}, "n"), percent("percent", {}, "p"),
        frames("frames", {}, "list"), format("format", {}, "type"), out("out", {}, "dir"), prefix("prefix", {}, "name"),
        numbering("numbering", {}, "mode"), start("start", {}, "n"), overwrite("overwrite"), skip("skip-existing"),
        jobs("jobs", {}, "n"), quiet("quiet");
    parser.addOptions({help, version, crop, quality, grayscale, progressive, json, best, percent, frames, format, out,
                       prefix, numbering, start, overwrite, skip, jobs, quiet});
    if (!parser.parse(QStringList{"orvexa-batch"} + arguments)) return bad(parser.errorText());
    if (parser.isSet(help)) {
        result.outcome = ParseResult::Outcome::Help;
        return result;
    }
    if (parser.isSet(version)) {
        result.outcome = ParseResult::Outcome::Version;
        return result;
    }
    // An option given twice is a mistake, not a choice of the last one.
    for (const QString& name : parser.optionNames()) {
        if (parser.optionNames().count(name) > 1) return bad(QStringLiteral("option --%1 given twice").arg(name));
    }

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) return bad(QStringLiteral("no command: rank or extract"));
    const QString command = positional.takeFirst();
    if (command == "rank") {
        result.settings.command = Command::Rank;
    } else if (command == "extract") {
        result.settings.command = Command::Extract;
    } else {
        return bad(QStringLiteral("unknown command '%1': rank or extract").arg(command));
    }
    if (positional.isEmpty()) return bad(QStringLiteral("no video given"));
    Settings& s = result.settings;
    s.videos = positional;

    int64_t value = 0;
    if (parser.isSet(crop)) {
        const QStringList parts = parser.value(crop).split(',');
        int64_t v[4] = {};
        const int64_t maxSide = std::numeric_limits<int32_t>::max();
        if (parts.size() != 4 || !ToInt(parts[0], 0, maxSide, v[0]) || !ToInt(parts[1], 0, maxSide, v[1]) ||
            !ToInt(parts[2], 1, maxSide, v[2]) || !ToInt(parts[3], 1, maxSide, v[3])) {
            return bad(
                QStringLiteral("--crop takes LEFT,TOP,WIDTH,HEIGHT: whole numbers, width and height of 1 "
                               "or more"));
        }
        s.crop = FrameSource::CropRectangle{int32_t(v[1]), int32_t(v[0]), int32_t(v[3]), int32_t(v[2])};
    }
    if (parser.isSet(quality)) {
        if (!ToInt(parser.value(quality), 1, 100, value)) return bad(QStringLiteral("--quality takes 1 to 100"));
        s.quality = int(value);
    }
    s.grayscale = parser.isSet(grayscale);
    s.progressive = parser.isSet(progressive);
    s.quiet = parser.isSet(quiet);
    if (parser.isSet(jobs)) {
        if (!ToInt(parser.value(jobs), 1, 64, value)) return bad(QStringLiteral("--jobs takes 1 to 64"));
        s.jobs = int(value);
    }

    const QList<QCommandLineOption> rankOnly = {json};
    const QList<QCommandLineOption> extractOnly = {best,   percent,   frames, format,    out,
                                                   prefix, numbering, start,  overwrite, skip};
    const auto misplaced = [&](const QList<QCommandLineOption>& options) -> QString {
        for (const QCommandLineOption& option : options) {
            if (parser.isSet(option)) return option.names().first();
        }
        return {};
    };
    if (s.command == Command::Rank) {
        const QString wrong = misplaced(extractOnly);
        if (!wrong.isEmpty()) return bad(QStringLiteral("--%1 is an option of extract, not of rank").arg(wrong));
        s.json = parser.isSet(json);
        return result;
    }
    const QString wrong = misplaced(rankOnly);
    if (!wrong.isEmpty()) return bad(QStringLiteral("--%1 is an option of rank, not of extract").arg(wrong));

    const int choices = int(parser.isSet(best)) + int(parser.isSet(percent)) + int(parser.isSet(frames));
    if (choices != 1) return bad(QStringLiteral("extract needs one of --best N, --percent P, --frames LIST"));
    if (parser.isSet(best)) {
        if (!ToInt(parser.value(best), 0, std::numeric_limits<int32_t>::max(), value)) {
            return bad(QStringLiteral("--best takes a whole number of frames"));
        }
        s.choice = Choice::Best;
        s.count = int32_t(value);
    } else if (parser.isSet(percent)) {
        if (!ToInt(parser.value(percent), 0, 100, value)) return bad(QStringLiteral("--percent takes 0 to 100"));
        s.choice = Choice::Percent;
        s.count = int32_t(value);
    } else {
        s.choice = Choice::Frames;
        if (!ParseFrameList(parser.value(frames), s.frames)) {
            return bad(QStringLiteral("--frames takes a list of frames and runs, e.g. 1,5,9-20"));
        }
    }
    if (parser.isSet(format)) {
        const QString type = parser.value(format).toLower();
        if (type != "jpg" && type != "bmp") return bad(QStringLiteral("--format takes jpg or bmp"));
        s.type = type == "jpg" ? naming::OutputType::Jpeg : naming::OutputType::Bmp;
    }
    if (parser.isSet(out)) {
        s.outDir = parser.value(out);
        if (s.outDir.isEmpty()) return bad(QStringLiteral("--out takes a directory"));
    }
    if (parser.isSet(prefix)) s.prefix = parser.value(prefix);
    if (parser.isSet(numbering)) {
        static const QRegularExpression padded(QStringLiteral("^padded:(\\d{1,3})$"));
        const QString mode = parser.value(numbering);
        const QRegularExpressionMatch match = padded.match(mode);
        if (mode == "normal") {
            s.numbering = naming::Numbering::Plain;
        } else if (mode == "none") {
            s.numbering = naming::Numbering::None;
        } else if (match.hasMatch() && match.captured(1).toInt() <= 100) {
            s.numbering = naming::Numbering::ZeroFilled;
            s.width = match.captured(1).toInt();
        } else {
            return bad(QStringLiteral("--numbering takes normal, padded:W (W from 0 to 100) or none"));
        }
    }
    if (parser.isSet(start)) {
        if (!ToInt(parser.value(start), 0, std::numeric_limits<int32_t>::max(), value)) {
            return bad(QStringLiteral("--start takes a whole number from 0"));
        }
        s.start = int32_t(value);
    }
    if (parser.isSet(overwrite) && parser.isSet(skip)) {
        return bad(QStringLiteral("--overwrite and --skip-existing exclude each other"));
    }
    s.existing = parser.isSet(overwrite) ? Existing::Overwrite : parser.isSet(skip) ? Existing::Skip : Existing::Refuse;
    return result;
}

}  // namespace batch
