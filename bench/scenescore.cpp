// SPDX-License-Identifier: GPL-2.0-or-later
// Scores the scene cuts against videos whose cuts are known (bench/scene_videos.sh makes them;
// bench/scenescore.sh ranks them and runs FFmpeg's scdet over them):
//   scenescore DIR...
// For each NAME.truth it reads NAME.seg, what "orvexa-batch rank NAME --segment 1/1" printed,
// finds the scenes from its signatures as rank and merge do, and NAME.scdet, the scores FFmpeg's
// scdet gave each frame. A cut found matches a true one when it lies within its transition
// (two frames more on each side; a hard cut: two frames either way); a cut that matches none
// is false, and counts against the kind of the transition it lies within a second of, else
// against the video's own kind. Prints precision, recall and F1 per kind and in total, ours and
// scdet's at the threshold best for the whole set, and how many shots --per-scene gives exactly
// one frame from inside (outside every transition).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ranking/frame_choice.h"
#include "ranking/scenes.h"

namespace {

struct TrueCut {
    std::string kind;
    int first = 0;
    int end = 0;
};

struct Video {
    std::string name;
    std::string label;
    double rate = 25;
    int frames = 0;
    std::vector<TrueCut> cuts;
    std::vector<scenes::Signature> signatures;
    std::vector<bool> measured;
    std::vector<frame_choice::Candidate> ranked;
    std::vector<double> scdet;  // per frame
};

struct Tally {
    int truths = 0, found = 0, falseCuts = 0;
};

bool ReadVideo(const std::filesystem::path& truth, Video& v) {
    std::ifstream in(truth);
    std::string word;
    v.name = truth.stem().string();
    while (in >> word) {
        if (word == "rate") {
            in >> v.rate;
        } else if (word == "frames") {
            in >> v.frames;
        } else if (word == "label") {
            in >> v.label;
        } else if (word == "cut") {
            TrueCut c;
            in >> c.kind >> c.first >> c.end;
            v.cuts.push_back(c);
        }
    }
    std::filesystem::path seg = truth;
    std::ifstream segment(seg.replace_extension(".seg"));
    if (!segment) {
        std::fprintf(stderr, "%s: no .seg\n", v.name.c_str());
        return false;
    }
    std::string line;
    std::vector<std::pair<int, int64_t>> lengths;
    const int truthFrames = v.frames;
    while (std::getline(segment, line)) {
        if (line.rfind("# frame_rate ", 0) == 0) v.rate = std::stod(line.substr(13));
        if (line.rfind("# frame_count ", 0) == 0) {
            v.frames = std::stoi(line.substr(14));
            v.signatures.assign(size_t(v.frames), {});
            v.measured.assign(size_t(v.frames), false);
        }
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        int frame = 0;
        int64_t bytes = 0;
        double time = 0;
        std::string hex;
        fields >> frame >> bytes >> time >> hex;
        if (frame < 0 || frame >= v.frames || hex.size() != 2 * scenes::kSignatureBytes) continue;
        for (size_t i = 0; i < scenes::kSignatureBytes; ++i)
            v.signatures[size_t(frame)][i] = uint8_t(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
        v.measured[size_t(frame)] = bytes > 0;
        lengths.push_back({frame, bytes});
    }
    // A video cut short (a blend FFmpeg could not make) does not show all its transitions.
    if (!v.cuts.empty() && v.cuts.back().end >= v.frames) {
        std::fprintf(stderr, "%s: %d frames, not the %d its truth says\n", v.name.c_str(), v.frames, truthFrames);
        return false;
    }
    std::sort(lengths.begin(), lengths.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    for (const auto& [frame, bytes] : lengths) {
        v.ranked.push_back(
            {frame, bytes > 0 ? ranking::Value::Of(bytes) : ranking::Value::Unreadable(), frame / v.rate});
    }
    std::filesystem::path sc = truth;
    std::ifstream scdet(sc.replace_extension(".scdet"));
    v.scdet.assign(size_t(v.frames), 0.0);
    int frame = -1;
    while (std::getline(scdet, line)) {
        if (line.rfind("frame:", 0) == 0) frame = std::stoi(line.substr(6));
        const auto at = line.find("lavfi.scd.score=");
        if (at != std::string::npos && frame >= 0 && frame < v.frames)
            v.scdet[size_t(frame)] = std::stod(line.substr(at + 16));
    }
    return true;
}

// Matches the cuts found against the video's true ones, adding to the tallies per kind.
void Score(const Video& v, const std::vector<int>& found, std::map<std::string, Tally>& tallies) {
    std::vector<bool> used(found.size(), false);
    for (const TrueCut& t : v.cuts) {
        ++tallies[t.kind].truths;
        int best = -1;
        const double centre = (t.first + t.end) / 2.0;
        for (size_t i = 0; i < found.size(); ++i) {
            if (used[i] || found[i] < t.first - 2 || found[i] > t.end + 2) continue;
            if (best < 0 || std::abs(found[i] - centre) < std::abs(found[size_t(best)] - centre)) best = int(i);
        }
        if (best >= 0) {
            used[size_t(best)] = true;
            ++tallies[t.kind].found;
        }
    }
    const int second = int(std::lround(v.rate));
    for (size_t i = 0; i < found.size(); ++i) {
        if (used[i]) continue;
        std::string kind = v.label;
        int nearest = 1 << 30;
        for (const TrueCut& t : v.cuts) {
            const int away = found[i] < t.first ? t.first - found[i] : std::max(0, found[i] - t.end);
            if (away <= second && away < nearest) {
                nearest = away;
                kind = t.kind;
            }
        }
        ++tallies[kind].falseCuts;
    }
}

Tally Total(const std::map<std::string, Tally>& tallies) {
    Tally all;
    for (const auto& [kind, t] : tallies) {
        all.truths += t.truths;
        all.found += t.found;
        all.falseCuts += t.falseCuts;
    }
    return all;
}

double F1(const Tally& t) {
    if (t.truths == 0) return t.falseCuts == 0 ? 1.0 : 0.0;
    const double p = t.found + t.falseCuts > 0 ? double(t.found) / (t.found + t.falseCuts) : 1.0;
    const double r = double(t.found) / t.truths;
    return p + r > 0 ? 2 * p * r / (p + r) : 0.0;
}

void Row(const std::string& kind, const Tally& t, const Tally& s) {
    const auto p = [](const Tally& x) {
        return x.found + x.falseCuts > 0 ? double(x.found) / (x.found + x.falseCuts) : 1.0;
    };
    const auto r = [](const Tally& x) { return x.truths > 0 ? double(x.found) / x.truths : 1.0; };
    std::printf("%-16s %4d | %4d %4d  %5.2f %5.2f %5.2f | %4d %4d  %5.2f %5.2f %5.2f\n", kind.c_str(), t.truths,
                t.found, t.falseCuts, p(t), r(t), F1(t), s.found, s.falseCuts, p(s), r(s), F1(s));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Video> videos;
    for (int a = 1; a < argc; ++a) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[a])) {
            if (entry.path().extension() != ".truth") continue;
            Video v;
            if (ReadVideo(entry.path(), v)) videos.push_back(std::move(v));
        }
    }
    std::sort(videos.begin(), videos.end(), [](const Video& a, const Video& b) { return a.name < b.name; });
    std::map<std::string, Tally> ours;
    int shots = 0, shotsRight = 0;
    // Why a shot is not right: no frame, more than one, and frames chosen inside a transition.
    int shotsEmpty = 0, shotsSplit = 0, chosenBlended = 0;
    const bool verbose = std::getenv("SCENESCORE_VERBOSE") != nullptr;
    for (const Video& v : videos) {
        const scenes::SceneList list = scenes::FindScenes(v.signatures, v.measured, v.rate);
        std::vector<int> found;
        for (const scenes::Cut& c : list.cuts) found.push_back(c.frame);
        std::map<std::string, Tally> mine;
        Score(v, found, mine);
        for (const auto& [kind, t] : mine) {
            ours[kind].truths += t.truths;
            ours[kind].found += t.found;
            ours[kind].falseCuts += t.falseCuts;
        }
        // --per-scene: one frame from inside each shot.
        const std::vector<frame_choice::Candidate> chosen = frame_choice::BestOfEachScene(v.ranked, list);
        int right = 0;
        for (size_t k = 0; k <= v.cuts.size(); ++k) {
            const int first = k == 0 ? 0 : v.cuts[k - 1].end;
            const int end = k == v.cuts.size() ? v.frames : v.cuts[k].first;
            const auto inside = std::count_if(chosen.begin(), chosen.end(), [&](const frame_choice::Candidate& c) {
                return c.frame >= first && c.frame < end;
            });
            right += inside == 1;
            shotsEmpty += inside == 0;
            shotsSplit += inside > 1;
        }
        for (const frame_choice::Candidate& c : chosen) {
            chosenBlended += std::any_of(v.cuts.begin(), v.cuts.end(),
                                         [&](const TrueCut& t) { return c.frame >= t.first && c.frame < t.end; });
        }
        shots += int(v.cuts.size()) + 1;
        shotsRight += right;
        const Tally t = Total(mine);
        if (verbose || t.found < t.truths || t.falseCuts > 0 || right < int(v.cuts.size()) + 1) {
            std::printf("%-24s %d/%d found, %d false, per-scene %d/%zu; true:", v.name.c_str(), t.found, t.truths,
                        t.falseCuts, right, v.cuts.size() + 1);
            for (const TrueCut& c : v.cuts) std::printf(" %d-%d", c.first, c.end);
            std::printf("; found:");
            for (const scenes::Cut& c : list.cuts)
                std::printf(" %d(%d-%d)", c.frame, c.transitionFirst, c.transitionEnd);
            std::printf("; chosen:");
            for (const frame_choice::Candidate& c : chosen) std::printf(" %d", c.frame);
            std::printf("\n");
        }
    }
    // scdet at its best threshold over the whole set.
    double bestThreshold = 0, bestF1 = -1;
    std::map<std::string, Tally> theirs;
    for (double threshold = 1; threshold <= 60; threshold += 0.5) {
        std::map<std::string, Tally> tallies;
        for (const Video& v : videos) {
            std::vector<int> found;
            for (int f = 1; f < v.frames; ++f) {
                if (v.scdet[size_t(f)] > threshold) found.push_back(f);
            }
            Score(v, found, tallies);
        }
        const double f1 = F1(Total(tallies));
        if (f1 > bestF1) {
            bestF1 = f1;
            bestThreshold = threshold;
            theirs = tallies;
        }
    }
    std::printf("\n%zu videos; scdet at threshold %.1f\n", videos.size(), bestThreshold);
    std::printf("%-16s %4s | %4s %4s  %5s %5s %5s | %4s %4s  %5s %5s %5s\n", "kind", "true", "ours", "false", "P", "R",
                "F1", "scd", "false", "P", "R", "F1");
    for (const auto& [kind, t] : ours) Row(kind, t, theirs[kind]);
    Row("total", Total(ours), Total(theirs));
    std::printf("--per-scene: %d of %d shots get exactly one frame from inside (%.1f %%)\n", shotsRight, shots,
                shots ? 100.0 * shotsRight / shots : 0.0);
    std::printf("  wrong: %d with none, %d with more than one; %d frames chosen inside a transition\n", shotsEmpty,
                shotsSplit, chosenBlended);
    return 0;
}
