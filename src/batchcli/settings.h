// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What one orvexa-batch command asks for, as read from its command line.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "framesource/naming.h"
#include "ranking/measure.h"

namespace batch {

enum class Command { Rank, Extract, Merge, Index };
// Which frames "extract" writes: the best by rank, a percentage of the frames by rank, or a list.
enum class Choice { Best, Percent, Frames };
// What happens to a file that is already where a picture is to be written.
enum class Existing { Refuse, Overwrite, Skip };

// A run of frame numbers of a --frames list, both ends included.
struct FrameRun {
    int32_t first = 0;
    int32_t last = 0;
};

struct Settings {
    Command command = Command::Rank;
    QStringList videos;

    // The frames' output picture and its JPEG encoding, as the program's crop rectangle with
    // "Limiter au Cadre" and its JPEG options give them.
    std::optional<FrameSource::CropRectangle> crop;
    int quality = 100;
    bool grayscale = false;
    bool progressive = false;
    // The JPEG options these flags stand for, the others at their defaults.
    jpeg_options::JpegOptions Jpeg() const {
        jpeg_options::JpegOptions options;
        options.quality = uint8_t(quality);
        options.grayscale = grayscale;
        options.progressiveEncoding = progressive;
        return options;
    }

    // rank and extract: what ranks the frames (--measure), and what the manifest tells of them.
    ranking::Measure measure = ranking::JpegLength();

    // rank (and merge)
    bool json = false;
    // rank --segment K/N: the K-th of N stretches of the video (ranking::SplitAtKeys), K from 1;
    // a count of 0 ranks the whole video.
    int segmentIndex = 0;
    int segmentCount = 0;
    QString plot;  // rank --plot: where to draw the ranking as a PNG picture
    // The options that change a ranking, as a segment records them so that merge compares them:
    // "--quality Q[ --crop L,T,W,H][ --grayscale][ --progressive]"; a measure that does not
    // encode only "--measure NAME[ --crop L,T,W,H]".
    QString RankingOptions() const;

    // index --from-tables: an index read from the sample tables is saved unchecked.
    bool indexFromTables = false;

    // merge: the files of rank --segment, in the command line's order
    QStringList segments;

    // extract
    Choice choice = Choice::Best;
    int32_t count = 0;  // --best N or --percent P
    std::vector<FrameRun> frames;
    QString ranking;  // --ranking: the saved ranking that --best or --percent takes its order from
    // --per-scene: only the best frame of each scene; --min-gap: no two frames closer in time.
    // Either chooses among the ranked frames before --best or --percent counts them.
    bool perScene = false;
    double minGap = 0;  // seconds; 0: no gap
    bool ChoosesByScenesOrTime() const { return perScene || minGap > 0; }
    naming::OutputType type = naming::OutputType::Bmp;
    QString outDir = QStringLiteral(".");
    QString prefix = QStringLiteral("IMAGE");
    naming::Numbering numbering = naming::Numbering::Plain;
    int width = 0;  // the zero-filled numbers' width, up to naming::kMaxZeroFill
    int32_t start = 1;
    // The names these options give, as the main window's naming controls give theirs.
    naming::OutputNaming Naming() const { return {outDir, prefix, numbering, width, start, type}; }
    Existing existing = Existing::Refuse;
    QString manifest;  // where to list the files written, as CSV or JSON; empty: nowhere

    int jobs = 1;
    bool quiet = false;
    // --index-dir: where the videos' indexes are saved and looked for; empty: the default
    // (ORVEXA_INDEX_DIR, else the user's cache).
    QString indexDir;
};

struct ParseResult {
    enum class Outcome { Run, Help, Version, BadUsage };
    Outcome outcome = Outcome::Run;
    Settings settings;
    QString error;
};

// `arguments` without the program's name.
ParseResult ParseArguments(const QStringList& arguments);

QString HelpText();

}  // namespace batch
