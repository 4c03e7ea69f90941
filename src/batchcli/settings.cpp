// SPDX-License-Identifier: GPL-2.0-or-later
#include "batchcli/settings.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <limits>

#include "batchcli/frame_list.h"
#include "framesource/output_types.h"
#include "rankfile/manifest.h"

namespace batch {

namespace {

// "jpeg|sharpness", every measure's name.
QString MeasureChoices() {
    QStringList names;
    for (const ranking::Measure* measure : ranking::AllMeasures()) names << QString::fromLatin1(measure->name);
    return names.join('|');
}

// The text with the measures' names in place of "{measures}".
QString WithMeasures(QString text) { return text.replace(QStringLiteral("{measures}"), MeasureChoices()); }

QString Usage() {
    return WithMeasures(QStringLiteral(
        "Usage: orvexa-batch rank VIDEO... [--crop LEFT,TOP,WIDTH,HEIGHT | --crop WxH+X+Y] [--quality Q]\n"
        "                         [--grayscale] [--progressive] [--measure {measures}] [--json]\n"
        "                         [--segment K/N] [--jobs N] [--plot FILE [--overwrite]]\n"
        "                         [--index-dir DIR] [--quiet]\n"
        "       orvexa-batch merge SEGMENT... [--json] [--quiet]\n"
        "       orvexa-batch index VIDEO... [--from-tables] [--index-dir DIR] [--quiet]\n"
        "       orvexa-batch extract VIDEO... (--best N | --percent P | --frames LIST | --per-scene |\n"
        "                         --min-gap SECONDS) [--per-scene] [--min-gap SECONDS] [--ranking FILE]\n"
        "                         [--crop LEFT,TOP,WIDTH,HEIGHT | --crop WxH+X+Y] [--quality Q] [--grayscale]\n"
        "                         [--progressive] [--measure {measures}] [--format TYPE]\n"
        "                         [--out DIR] [--prefix NAME] [--numbering normal|padded:W|none] [--start N]\n"
        "                         [--overwrite | --skip-existing] [--manifest FILE] [--jobs N]\n"
        "                         [--index-dir DIR] [--quiet]\n"));
}

bool ToInt(const QString& text, int64_t low, int64_t high, int64_t& value) {
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && value >= low && value <= high;
}

// LEFT,TOP,WIDTH,HEIGHT or ImageMagick's WIDTHxHEIGHT+LEFT+TOP, in whole pixels.
std::optional<FrameSource::CropRectangle> ParseCrop(const QString& text) {
    static const QRegularExpression geometry(QStringLiteral("^(\\d+)x(\\d+)\\+(\\d+)\\+(\\d+)$"));
    const QRegularExpressionMatch match = geometry.match(text);
    QStringList parts = match.hasMatch()
                            ? QStringList{match.captured(3), match.captured(4), match.captured(1), match.captured(2)}
                            : text.split(',');
    const int64_t maxSide = std::numeric_limits<int32_t>::max();
    int64_t v[4] = {};
    if (parts.size() != 4 || !ToInt(parts[0], 0, maxSide, v[0]) || !ToInt(parts[1], 0, maxSide, v[1]) ||
        !ToInt(parts[2], 1, maxSide, v[2]) || !ToInt(parts[3], 1, maxSide, v[3])) {
        return std::nullopt;
    }
    return FrameSource::CropRectangle{int32_t(v[1]), int32_t(v[0]), int32_t(v[3]), int32_t(v[2])};
}

constexpr int kMaxSegments = 10000;

// "jpeg or sharpness", every measure's name.
QString MeasureNames() {
    QStringList names;
    for (const ranking::Measure* measure : ranking::AllMeasures()) names << QString::fromLatin1(measure->name);
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

QString OptionName(const QString& name) { return (name.size() == 1 ? "-" : "--") + name; }

// QCommandLineParser's own complaints, said the way the command says the others.
QString ParserError(const QCommandLineParser& parser) {
    if (!parser.unknownOptionNames().isEmpty()) {
        return QStringLiteral("unknown option %1").arg(OptionName(parser.unknownOptionNames().first()));
    }
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
    static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    const QString text = parser.errorText();
    if (const auto match = missing.match(text); match.hasMatch()) {
        return QStringLiteral("%1 needs a value").arg(match.captured(1));
    }
    if (const auto match = unexpected.match(text); match.hasMatch()) {
        return QStringLiteral("%1 takes no value").arg(match.captured(1));
    }
    QString said = text;
    if (said.endsWith('.')) said.chop(1);
    if (!said.isEmpty()) said[0] = said[0].toLower();
    return said;
}

}  // namespace

// What the help says of the picture types beyond their names, a line each.
QString FormatNotes() {
    QString notes;
    for (const output_types::OutputType& type : output_types::All()) {
        if (type.about) notes += QStringLiteral("                       %1: %2\n").arg(type.name, type.about);
    }
    return notes;
}

QString HelpText() {
    return Usage() +
           WithMeasures(
               QStringLiteral(
                   "\n"
                   "Ranks the frames of videos, or writes chosen frames as pictures, as Orvexa's\n"
                   "\"Best of...\" and \"Extraire Lot...\" do: same frames, same names, same bytes.\n"
                   "No display is needed.\n"
                   "\n"
                   "rank      prints, for each video, one line per frame, FRAME<TAB>VALUE<TAB>SCENE,\n"
                   "          the frame's measure (--measure: by default the byte length of its JPEG\n"
                   "          encoding), largest first (ties by frame number), and the frame's\n"
                   "          scene, from 1 along the video (a new scene at each cut, dissolve or\n"
                   "          fade between shots); with several\n"
                   "          videos each list follows a \"# VIDEO\" line,\n"
                   "          where a backslash, newline, tab or other control character of the name\n"
                   "          is written \\\\, \\n, \\t or \\xHH.\n"
                   "merge     reads what \"rank VIDEO --segment K/N\" printed for each of a video's\n"
                   "          segments (text or JSON, in any mix, of one video or several) and\n"
                   "          prints what rank prints for the whole videos, in the order of each\n"
                   "          video's first segment; it refuses segments that overlap, that leave\n"
                   "          frames out, that disagree on a video's content fingerprint, segment\n"
                   "          count or options (another version of it), that were ranked on other\n"
                   "          indexes of it (frame count or positions) or by other measures, and\n"
                   "          files that are not such segments.\n"
                   "index     reads each video's index (its pictures and where each lies) and saves\n"
                   "          it, so that every later open of the video, in any process, reads that\n"
                   "          and not the whole file: run it once before the tasks of a cluster.\n"
                   "          rank and extract save the index too, at their first open of a video.\n"
                   "extract   writes the chosen frames in rank order (--frames: in the list's order),\n"
                   "          numbered from --start; the next video goes on from the next number.\n"
                   "          Then says on standard error how many files it wrote, where, and the\n"
                   "          first and last name.\n"
                   "\n"
                   "Output picture and JPEG encoding:\n"
                   "  --crop LEFT,TOP,WIDTH,HEIGHT or --crop WIDTHxHEIGHT+LEFT+TOP\n"
                   "                       cut every frame to this rectangle, in pixels\n"
                   "  --quality Q          JPEG quality, 1 to 100 (default 100)\n"
                   "  --grayscale          grey-scale JPEG\n"
                   "  --progressive        progressive JPEG\n"
                   "Ranking measure (rank and extract):\n"
                   "  --measure {measures}\n"
                   "                       what ranks the frames, the largest first: jpeg, the byte\n"
                   "                       length of the frame's JPEG encoding with the options above\n"
                   "                       (default), which grows with detail and noise alike; or\n"
                   "                       sharpness, the variance of the Laplacian of the frame's grey\n"
                   "                       picture (as cropped), low on blurred frames, with two\n"
                   "                       decimals, no JPEG encoding needed. With sharpness, the\n"
                   "                       text of rank starts with \"# orvexa-batch measure sharpness\"\n"
                   "                       and has \"-\" for a frame that could not be decoded; its JSON has\n"
                   "                       \"measure\": \"sharpness\", \"unit\": \"grey levels squared\"\n"
                   "                       after \"height\", and \"sharpness\" for each frame in place\n"
                   "                       of \"bytes\"; a segment's text has a \"# measure sharpness\"\n"
                   "                       line; extract --ranking takes the measure from its file\n"
                   "rank:\n"
                   "  --json               print [{\"video\": ..., \"frame_count\": N, \"frame_rate\": R,\n"
                   "                       \"width\": W, \"height\": H, \"scenes\": S, \"cuts\": [{\"frame\": F,\n"
                   "                       \"time\": T, \"transition_first\": A, \"transition_end\": B}, ...],\n"
                   "                       \"frames\": [{\"frame\": F, \"time\": T, \"bytes\": B, \"scene\": S},\n"
                   "                       ...]}, ...], one frame a line; T in seconds; a cut's F is the\n"
                   "                       first frame of a scene, A to B - 1 the frames of the dissolve\n"
                   "                       or fade it lies in (A = B = F for a hard cut); a frame that\n"
                   "                       could not be decoded has \"bytes\": null, \"decoded\": false;\n"
                   "                       a video that could not be read has \"errors\"\n"
                   "  --plot FILE          also draw the ranking as a PNG picture: each frame's value\n"
                   "                       along the video, with the scene cuts (one video); an\n"
                   "                       existing FILE is replaced only with --overwrite, and only\n"
                   "                       when it is a regular file other than the video\n"
                   "  --segment K/N        rank only the K-th of N stretches of the one video given, K\n"
                   "                       from 1 to N, N up to 10000; each stretch begins at a key\n"
                   "                       frame where one lies near, and together they hold every frame\n"
                   "                       once. The text printed starts with \"# orvexa-batch segment\n"
                   "                       K/N\", then \"# KEY VALUE\" lines: video, file_size (bytes),\n"
                   "                       fingerprint (SIZE:SHA-256 of the file's first MiB and last\n"
                   "                       64 KiB), frame_count, frame_rate, width, height, first and end\n"
                   "                       (the stretch's frames, end excluded), options (those that\n"
                   "                       change a ranking) and positions (see below); then\n"
                   "                       FRAME<TAB>VALUE<TAB>TIME<TAB>SIGNATURE lines, VALUE as rank\n"
                   "                       prints it (0 bytes for a frame that could not be decoded),\n"
                   "                       SIGNATURE the frame's small picture merge finds scenes from.\n"
                   "                       The JSON is rank's with \"segment\": {\"index\": K, \"count\": N,\n"
                   "                       \"first\": F, \"end\": E, \"file_size\": S, \"fingerprint\": P,\n"
                   "                       \"options\": O, \"positions\": X} after \"height\", and a\n"
                   "                       \"signature\" for each frame instead of scenes.\n"
                   "                       Positions are \"tables\" when the frames' places were read from\n"
                   "                       an MP4's list of frames (index --from-tables) and the data of\n"
                   "                       this stretch alone found whole, \"checked\" otherwise; a\n"
                   "                       stretch that finds the data damaged indexes the video again\n"
                   "                       from it, saves that index and ranks the stretch it then gives\n"
                   "merge:\n"
                   "  --json               print rank's JSON\n"
                   "index:\n"
                   "  --from-tables        index an H.264 or HEVC MP4 or MOV from the list of frames it\n"
                   "                       holds, without reading their data, which is then looked into\n"
                   "                       for damage by what reads it: each rank --segment task its\n"
                   "                       own stretch's, an open that needs every frame's place all\n"
                   "                       of it (for a cluster's index job, whose tasks read the rest)\n"
                   "extract (one of --best, --percent, --frames, or --per-scene or --min-gap alone):\n"
                   "  --best N             the N frames of largest measure (by default of largest JPEG\n"
                   "                       encoding), N from 1\n"
                   "  --percent P          P percent of the frames, by rank, P a whole number from 1 to 100\n"
                   "  --frames LIST        these frames, in this order, e.g. 1,5,9-20\n"
                   "  --ranking FILE       with --best or --percent, the order of a ranking that rank or\n"
                   "                       merge printed (text or JSON), not a new ranking; the file\n"
                   "                       must rank every frame of the video, named as rank names it\n"
                   "                       (rank's text for one video names none: it is taken as is)\n"
                   "  --per-scene          only the best frame of each scene, in rank order; with --best N,\n"
                   "                       the N best scenes' best frames. A frame inside a dissolve or\n"
                   "                       a fade is taken only when its scene has no other (a --ranking\n"
                   "                       file tells them in JSON; rank's text tells only the scenes)\n"
                   "  --min-gap SECONDS    no two frames chosen closer in time than SECONDS, taken in\n"
                   "                       rank order; with --best or --percent, up to that many frames\n"
                   "  --format ") +
               output_types::Names("|", "|") +
               "\n"
               "                       picture type (default bmp)\n" +
               FormatNotes() +
               QStringLiteral(
                   "  --out DIR            output directory, made when missing (default .)\n"
                   "  --prefix NAME        file name prefix (default IMAGE), without \"/\" or \"..\"\n"
                   "  --numbering normal|padded:W|none\n"
                   "                       1, 2, ...; zero-filled to W digits, W from 0 to 16; or no\n"
                   "                       number, for one file only (default normal)\n"
                   "  --start N            first number (default 1)\n"
                   "  --overwrite          replace existing files\n"
                   "  --skip-existing      leave existing files and go on (their numbers are used up)\n"
                   "                       without either, an existing file stops the command; a\n"
                   "                       symbolic link is an existing file, replaced itself\n"
                   "  --manifest FILE      list every file written, with its video, the frame's number,\n"
                   "                       its time in seconds and its measure (its JPEG encoding's byte\n"
                   "                       length, or with --measure sharpness its sharpness):\n"
                   "                       CSV (file,video,frame,time,jpeg_bytes,kept; sharpness in\n"
                   "                       place of jpeg_bytes) when FILE ends in .csv, JSON when it\n"
                   "                       ends in .json; with --skip-existing the\n"
                   "                       files left as they were too, kept true (the measure empty or\n"
                   "                       null when not known)\n"
                   "Both:\n"
                   "  --jobs N             work on N videos at a time (default 1)\n"
                   "  --quiet              nothing on standard error but errors: no progress (shown\n"
                   "                       only on a terminal) and no closing line of extract\n"
                   "  -h, --help           print this help\n"
                   "  -v, --version        print the version\n"
                   "rank, extract and index:\n"
                   "  --index-dir DIR      save and look for the videos' indexes in DIR (made when\n"
                   "                       missing; default $ORVEXA_INDEX_DIR, else\n"
                   "                       $XDG_CACHE_HOME/orvexa/index, else ~/.cache/orvexa/index;\n"
                   "                       at most 256 MB kept there, the least used removed first)\n"
                   "\n"
                   "Names of videos and files that are not UTF-8 are used byte for byte; in JSON each\n"
                   "such byte reads \\udc80 to \\udcff, as Python's \"surrogateescape\" reads it.\n"
                   "\n"
                   "Exit status: 0 all done, 1 a video could not be read or a file not written\n"
                   "(the other videos are still done) or merge refused its segments, 2 bad usage,\n"
                   "130 interrupted. Bad usage includes what the videos show before anything is\n"
                   "written: --frames past a video's last frame, a choice that gives a video no\n"
                   "frame, and --numbering none for more than one file; then nothing is written\n"
                   "and no directory made.\n"
                   "\n"
                   "Example:\n"
                   "  orvexa-batch extract holiday.mp4 --best 10 --measure sharpness --crop 640x360+40+20 \\\n"
                   "      --format jpg --quality 90 --out best --prefix holiday --numbering padded:3 \\\n"
                   "      --manifest best.csv\n"
                   "writes best/holiday001.JPG ... best/holiday010.JPG, the sharpest frame first, and\n"
                   "in best.csv the frame each of them holds.\n"));
}

QString Settings::RankingOptions() const {
    // The JPEG options change only a ranking by the JPEG encoding.
    QString options = measure.encodes ? QStringLiteral("--quality %1").arg(quality)
                                      : QStringLiteral("--measure %1").arg(measure.name);
    if (crop)
        options +=
            QStringLiteral(" --crop %1,%2,%3,%4").arg(crop->left).arg(crop->top).arg(crop->width).arg(crop->height);
    if (grayscale && measure.encodes) options += QStringLiteral(" --grayscale");
    if (progressive && measure.encodes) options += QStringLiteral(" --progressive");
    return options;
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
        jobs("jobs", {}, "n"), quiet("quiet"), manifest("manifest", {}, "file"), segment("segment", {}, "k/n"),
        ranking("ranking", {}, "file"), perScene("per-scene"), minGap("min-gap", {}, "seconds"),
        plot("plot", {}, "file"), indexDir("index-dir", {}, "dir"), fromTables("from-tables"),
        measure("measure", {}, "name");
    parser.addOptions({help,    version,   crop,   quality,  grayscale, progressive, json,
                       best,    percent,   frames, format,   out,       prefix,      numbering,
                       start,   overwrite, skip,   manifest, jobs,      quiet,       segment,
                       ranking, perScene,  minGap, plot,     indexDir,  fromTables,  measure});
    if (!parser.parse(QStringList{"orvexa-batch"} + arguments)) return bad(ParserError(parser));
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
    if (positional.isEmpty()) return bad(QStringLiteral("no command: rank, extract, merge or index"));
    const QString command = positional.takeFirst();
    if (command == "rank") {
        result.settings.command = Command::Rank;
    } else if (command == "extract") {
        result.settings.command = Command::Extract;
    } else if (command == "merge") {
        result.settings.command = Command::Merge;
    } else if (command == "index") {
        result.settings.command = Command::Index;
    } else {
        return bad(QStringLiteral("unknown command '%1': rank, extract, merge or index").arg(command));
    }
    Settings& s = result.settings;
    if (parser.isSet(indexDir)) {
        if (s.command == Command::Merge) return bad(QStringLiteral("--index-dir is not an option of merge"));
        s.indexDir = parser.value(indexDir);
        if (s.indexDir.isEmpty()) return bad(QStringLiteral("--index-dir takes a directory"));
    }
    if (s.command == Command::Index) {
        for (const QString& name : parser.optionNames()) {
            if (name != "index-dir" && name != "quiet" && name != "from-tables") {
                return bad(QStringLiteral("%1 is not an option of index").arg(OptionName(name)));
            }
        }
        if (positional.isEmpty()) return bad(QStringLiteral("no video given"));
        s.videos = positional;
        s.quiet = parser.isSet(quiet);
        s.indexFromTables = parser.isSet(fromTables);
        return result;
    }
    if (parser.isSet(fromTables)) return bad(QStringLiteral("--from-tables is an option of index"));
    if (s.command == Command::Merge) {
        // The segments hold the ranking's options: merge takes none of them.
        for (const QString& name : parser.optionNames()) {
            if (name != "json" && name != "quiet") {
                return bad(QStringLiteral("%1 is not an option of merge").arg(OptionName(name)));
            }
        }
        if (positional.isEmpty()) return bad(QStringLiteral("no segment given"));
        s.segments = positional;
        s.json = parser.isSet(json);
        s.quiet = parser.isSet(quiet);
        return result;
    }
    if (positional.isEmpty()) return bad(QStringLiteral("no video given"));
    s.videos = positional;

    int64_t value = 0;
    if (parser.isSet(crop)) {
        s.crop = ParseCrop(parser.value(crop));
        if (!s.crop) {
            return bad(
                QStringLiteral("--crop takes LEFT,TOP,WIDTH,HEIGHT or WIDTHxHEIGHT+LEFT+TOP: whole numbers, width "
                               "and height of 1 or more"));
        }
    }
    if (parser.isSet(quality)) {
        if (!ToInt(parser.value(quality), 1, 100, value)) return bad(QStringLiteral("--quality takes 1 to 100"));
        s.quality = int(value);
    }
    s.grayscale = parser.isSet(grayscale);
    s.progressive = parser.isSet(progressive);
    s.quiet = parser.isSet(quiet);
    if (parser.isSet(measure)) {
        const ranking::Measure* named = ranking::MeasureNamed(parser.value(measure));
        if (!named) return bad(QStringLiteral("--measure takes %1").arg(MeasureNames()));
        s.measure = *named;
    }
    if (parser.isSet(jobs)) {
        if (!ToInt(parser.value(jobs), 1, 64, value)) return bad(QStringLiteral("--jobs takes 1 to 64"));
        s.jobs = int(value);
    }

    const QList<QCommandLineOption> rankOnly = {json, segment, plot};
    const QList<QCommandLineOption> extractOnly = {best,  percent,   frames, format,   out,     prefix,   numbering,
                                                   start, overwrite, skip,   manifest, ranking, perScene, minGap};
    const auto misplaced = [&](const QList<QCommandLineOption>& options) -> QString {
        for (const QCommandLineOption& option : options) {
            if (parser.isSet(option)) return option.names().first();
        }
        return {};
    };
    if (s.command == Command::Rank) {
        // --overwrite lets --plot replace its file.
        QList<QCommandLineOption> notOfRank = extractOnly;
        if (parser.isSet(plot))
            notOfRank.removeIf([](const QCommandLineOption& o) { return o.names() == QStringList{"overwrite"}; });
        const QString wrong = misplaced(notOfRank);
        if (!wrong.isEmpty()) return bad(QStringLiteral("--%1 is an option of extract, not of rank").arg(wrong));
        s.json = parser.isSet(json);
        if (parser.isSet(segment)) {
            static const QRegularExpression segmentForm(QStringLiteral("^(\\d{1,9})/(\\d{1,9})$"));
            const QRegularExpressionMatch match = segmentForm.match(parser.value(segment));
            const int index = match.captured(1).toInt(), count = match.captured(2).toInt();
            if (!match.hasMatch() || count < 1 || count > kMaxSegments || index < 1 || index > count) {
                return bad(
                    QStringLiteral("--segment takes K/N, whole numbers with 1 <= K <= N <= %1").arg(kMaxSegments));
            }
            if (s.videos.size() > 1) {
                return bad(QStringLiteral("--segment ranks one video, not %1").arg(s.videos.size()));
            }
            s.segmentIndex = index;
            s.segmentCount = count;
        }
        if (parser.isSet(plot)) {
            s.plot = parser.value(plot);
            if (s.plot.isEmpty()) return bad(QStringLiteral("--plot takes a file"));
            if (s.videos.size() > 1) return bad(QStringLiteral("--plot draws one video, not %1").arg(s.videos.size()));
            if (s.segmentCount > 0) return bad(QStringLiteral("--plot draws a whole ranking, not a segment"));
            s.jobs = 1;  // drawn by the command's own process, which has the drawing's fonts
            if (parser.isSet(overwrite)) s.existing = Existing::Overwrite;
        }
        return result;
    }
    const QString wrong = misplaced(rankOnly);
    if (!wrong.isEmpty()) return bad(QStringLiteral("--%1 is an option of rank, not of extract").arg(wrong));

    s.perScene = parser.isSet(perScene);
    if (parser.isSet(minGap)) {
        bool ok = false;
        s.minGap = parser.value(minGap).toDouble(&ok);
        if (!ok || !(s.minGap > 0) || s.minGap > 1e9)
            return bad(QStringLiteral("--min-gap takes a number of seconds above 0"));
    }
    QStringList choices;
    for (const QCommandLineOption& choice : {best, percent, frames}) {
        if (parser.isSet(choice)) choices << OptionName(choice.names().first());
    }
    if (choices.isEmpty() && !s.ChoosesByScenesOrTime()) {
        return bad(
            QStringLiteral("extract needs one of --best N, --percent P, --frames LIST, --per-scene, --min-gap S"));
    }
    if (choices.size() > 1) return bad(QStringLiteral("%1 cannot be used together").arg(choices.join(" and ")));
    if (s.ChoosesByScenesOrTime() && parser.isSet(frames)) {
        return bad(QStringLiteral("--frames lists its frames: it does not go with --per-scene or --min-gap"));
    }
    if (s.perScene && parser.isSet(percent)) {
        return bad(QStringLiteral("--per-scene counts scenes: it goes with --best N, not --percent"));
    }
    if (choices.isEmpty()) {
        // Every frame the scenes or the gap let through.
        s.choice = Choice::Best;
        s.count = std::numeric_limits<int32_t>::max();
    } else if (parser.isSet(best)) {
        if (!ToInt(parser.value(best), 0, std::numeric_limits<int32_t>::max(), value)) {
            return bad(QStringLiteral("--best takes a whole number of frames"));
        }
        if (value == 0) return bad(QStringLiteral("--best 0 chooses no frame"));
        s.choice = Choice::Best;
        s.count = int32_t(value);
    } else if (parser.isSet(percent)) {
        if (!ToInt(parser.value(percent), 0, 100, value)) {
            return bad(QStringLiteral("--percent takes a whole number from 1 to 100"));
        }
        if (value == 0) return bad(QStringLiteral("--percent 0 chooses no frame"));
        s.choice = Choice::Percent;
        s.count = int32_t(value);
    } else {
        s.choice = Choice::Frames;
        if (!ParseFrameList(parser.value(frames), s.frames)) {
            return bad(QStringLiteral("--frames takes a list of frames and runs, e.g. 1,5,9-20"));
        }
    }
    if (parser.isSet(ranking)) {
        if (s.choice == Choice::Frames) return bad(QStringLiteral("--ranking goes with --best or --percent"));
        s.ranking = parser.value(ranking);
        if (s.ranking.isEmpty()) return bad(QStringLiteral("--ranking takes a file"));
    }
    if (parser.isSet(format)) {
        const std::optional<naming::OutputType> type = output_types::Named(parser.value(format).toLower());
        if (!type) return bad(QStringLiteral("--format takes %1").arg(output_types::Names(", ", " or ")));
        s.type = *type;
    }
    if (parser.isSet(out)) {
        s.outDir = parser.value(out);
        if (s.outDir.isEmpty()) return bad(QStringLiteral("--out takes a directory"));
    }
    if (parser.isSet(prefix)) {
        s.prefix = parser.value(prefix);
        // The names stay in --out.
        if (s.prefix.contains('/') || s.prefix.contains(QStringLiteral(".."))) {
            return bad(QStringLiteral("--prefix '%1' holds \"/\" or \"..\": a prefix names files, not directories")
                           .arg(s.prefix));
        }
    }
    if (parser.isSet(numbering)) {
        static const QRegularExpression padded(QStringLiteral("^padded:(\\d{1,9})$"));
        const QString mode = parser.value(numbering);
        const QRegularExpressionMatch match = padded.match(mode);
        if (mode == "normal") {
            s.numbering = naming::Numbering::Plain;
        } else if (mode == "none") {
            s.numbering = naming::Numbering::None;
        } else if (match.hasMatch() && match.captured(1).toInt() <= naming::kMaxZeroFill) {
            s.numbering = naming::Numbering::ZeroFilled;
            s.width = match.captured(1).toInt();
        } else if (match.hasMatch()) {
            return bad(QStringLiteral("--numbering padded:%1: numbers are zero-filled to at most %2 digits")
                           .arg(match.captured(1))
                           .arg(naming::kMaxZeroFill));
        } else {
            return bad(QStringLiteral("--numbering takes normal, padded:W (W from 0 to %1) or none")
                           .arg(naming::kMaxZeroFill));
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
    // How many files the scenes or the gap leave is known only once the video is ranked.
    if (s.numbering == naming::Numbering::None && s.ChoosesByScenesOrTime() &&
        !(s.choice == Choice::Best && s.count == 1 && s.videos.size() == 1)) {
        return bad(QStringLiteral("--numbering none with --per-scene or --min-gap needs --best 1 and one video"));
    }
    if (parser.isSet(manifest)) {
        s.manifest = parser.value(manifest);
        if (!ManifestTypeKnown(s.manifest))
            return bad(QStringLiteral("--manifest takes a file ending in .csv or .json"));
    }
    return result;
}

}  // namespace batch
