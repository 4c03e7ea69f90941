// SPDX-License-Identifier: GPL-2.0-or-later
// Scene cuts from the frames' signatures, in two kinds:
// - a hard cut: one frame differs from the one before far more than the frames around it
//   differ from each other, and the frames after it do not come back (a flash does);
// - a dissolve or a fade: over a stretch of frames, each frame is a blend of the stretch's
//   first and last, moving steadily from one to the other, faster than the pictures around
//   the stretch move by themselves. A fade to black is a dissolve into a flat picture.
// A scene left with no picture of its own (the black between a fade-out and a fade-in) joins
// the transitions around it into one.
#include <algorithm>
#include <array>
#include <cmath>

#include "ranking/scenes.h"

namespace scenes {

int SceneList::SceneOf(int32_t frame) const {
    return 1 + int(std::upper_bound(cuts.begin(), cuts.end(), frame,
                                    [](int32_t f, const Cut& cut) { return f < cut.frame; }) -
                   cuts.begin());
}

bool SceneList::InTransition(int32_t frame) const {
    // The cut whose transition could hold the frame is the last one that starts at it or before.
    auto after = std::upper_bound(cuts.begin(), cuts.end(), frame,
                                  [](int32_t f, const Cut& cut) { return f < cut.transitionFirst; });
    return after != cuts.begin() && frame < std::prev(after)->transitionEnd;
}

namespace {

// Grey and colour count alike: a colour difference is stored halved.
constexpr size_t kGreyBytes = size_t(kGreyCells) * kGreyCells;
constexpr double kColourWeight = 2.0;
constexpr double kTotalWeight = double(kGreyBytes) + kColourWeight * double(kSignatureBytes - kGreyBytes);

using Point = Signature;

double Weight(size_t i) { return i < kGreyBytes ? 1.0 : kColourWeight; }

// The mean difference of two pictures, in grey levels.
double Distance(const Point& a, const Point& b) {
    int grey = 0, colour = 0;
    for (size_t i = 0; i < kGreyBytes; ++i) grey += std::abs(int(a[i]) - int(b[i]));
    for (size_t i = kGreyBytes; i < kSignatureBytes; ++i) colour += std::abs(int(a[i]) - int(b[i]));
    return (grey + kColourWeight * colour) / kTotalWeight;
}

// The weighted square of the way from a to b.
double WaySquared(const Point& a, const Point& b) {
    double sum = 0;
    for (size_t i = 0; i < kSignatureBytes; ++i) sum += Weight(i) * Weight(i) * (b[i] - a[i]) * (b[i] - a[i]);
    return sum;
}

// How far the move from `from` to `to` goes along the way from a to b (1: all of it), and in
// `off` how far from that way it lands, in grey levels. With `flicker`, a change of the whole
// picture's brightness counts in neither, unless the way is mostly one (a fade of a flat
// picture, a light dimmed).
double Along(const Point& from, const Point& to, const Point& a, const Point& b, double waySquared, double& off,
             bool flicker = false) {
    if (!flicker) {
        double dot = 0;
        for (size_t i = 0; i < kSignatureBytes; ++i) dot += Weight(i) * Weight(i) * (to[i] - from[i]) * (b[i] - a[i]);
        const double way = dot / waySquared;
        double sum = 0;
        for (size_t i = 0; i < kSignatureBytes; ++i) sum += Weight(i) * std::abs(to[i] - from[i] - way * (b[i] - a[i]));
        off = sum / kTotalWeight;
        return way;
    }
    double moveMean = 0, wayMean = 0;
    for (size_t i = 0; i < kGreyBytes; ++i) {
        moveMean += to[i] - from[i];
        wayMean += b[i] - a[i];
    }
    moveMean /= double(kGreyBytes);
    wayMean /= double(kGreyBytes);
    double dot = 0, steady = 0;
    for (size_t i = 0; i < kSignatureBytes; ++i) {
        const double w = Weight(i) * Weight(i);
        const double m = i < kGreyBytes ? moveMean : 0, c = i < kGreyBytes ? wayMean : 0;
        dot += w * (to[i] - from[i] - m) * (b[i] - a[i] - c);
        steady += w * (b[i] - a[i] - c) * (b[i] - a[i] - c);
    }
    const bool brightness = steady < 0.3 * waySquared;
    if (brightness) {
        dot = 0;
        for (size_t i = 0; i < kSignatureBytes; ++i) dot += Weight(i) * Weight(i) * (to[i] - from[i]) * (b[i] - a[i]);
    }
    const double way = dot / (brightness ? waySquared : steady);
    double greyMean = 0;
    for (size_t i = 0; i < kGreyBytes; ++i) greyMean += to[i] - from[i] - way * (b[i] - a[i]);
    greyMean = brightness ? 0 : greyMean / double(kGreyBytes);
    double sum = 0;
    for (size_t i = 0; i < kSignatureBytes; ++i)
        sum += Weight(i) * std::abs(to[i] - from[i] - way * (b[i] - a[i]) - (i < kGreyBytes ? greyMean : 0));
    off = sum / kTotalWeight;
    return way;
}

// The spread of greys (their standard deviation) below which a picture has no structure.
constexpr double kStructureSpread = 4.0;

// How alike the structure of two pictures is, whatever their brightness and contrast: the
// correlation of their greys (1: the same picture in another light; 0 when either is nearly
// flat, with no structure to compare).
double Structure(const Point& a, const Point& b) {
    double ma = 0, mb = 0;
    for (size_t i = 0; i < kGreyBytes; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= double(kGreyBytes);
    mb /= double(kGreyBytes);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < kGreyBytes; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    const double flat = double(kGreyBytes) * kStructureSpread * kStructureSpread;
    return aa < flat || bb < flat ? 0.0 : ab / std::sqrt(aa * bb);
}

// A light switched changes the greys, not the colours: the colour differences of the pictures
// before and after correlate by at least this much, both with this spread at least (a light
// curve that clips greys may turn the cells' greys out of order).
constexpr double kSameColours = 0.95;
constexpr double kColourSpread = 3.0;

bool SameColours(const Point& a, const Point& b) {
    constexpr size_t n = kSignatureBytes - kGreyBytes;
    double ma = 0, mb = 0;
    for (size_t i = kGreyBytes; i < kSignatureBytes; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= double(n);
    mb /= double(n);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = kGreyBytes; i < kSignatureBytes; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    const double flat = double(n) * kColourSpread * kColourSpread;
    return aa >= flat && bb >= flat && ab >= kSameColours * std::sqrt(aa * bb);
}

// Hard cuts: at least this difference, this many times the motion around it plus a margin.
constexpr double kCutMinimum = 6.0;
constexpr double kCutOverMotion = 2.5;
constexpr double kCutMargin = 4.0;
constexpr double kCutOverBusier = 2.0;
// Frames on each side whose differences give the motion around a frame.
constexpr int kMotionNeighbours = 6;
// A step below this is a picture shown again rather than a move.
constexpr double kRepeatStep = 0.1;
constexpr double kRepeatAround = 0.5;
// The frames after a cut still differ from the frame before it by this share of the cut.
constexpr double kCutKept = 0.5;
// The longest flash looked past, in frames.
constexpr int32_t kFlashFrames = 3;

// Dissolves and fades: the stretch's ends differ by at least this much; every frame inside
// lies within this share of that difference (and at least the floor) of the blend of the
// ends; no step makes more than this share of the way; and the stretch moves this many times
// faster than the frames around it.
constexpr double kBlendMinimum = 3.0;
// Below this difference of its ends, a dissolve must lie between shots that hold still: their
// frames as far before and after drift by at most this share of it.
constexpr double kBlendClear = 12.0;
constexpr double kFaintStill = 0.2;
// ... and it moves twice as fast as they do, or goes this many times as far as they drift.
constexpr double kFaintOverDrift = 10.0;
constexpr double kBlendResidualShare = 0.25;
constexpr double kBlendResidualFloor = 2.0;
constexpr double kBlendResidualCeiling = 10.0;
constexpr double kBlendLargestStep = 0.5;
// A blend's first and last steps under this share of its median pace are a shot drifting.
constexpr double kDriftPace = 0.5;
// A blend spends at most this share of its frames between these shares of its way from its
// ends (a steady one 0.6, one that eases in and out less).
constexpr double kBlendStallLow = 0.2;
constexpr double kBlendStallShare = 0.7;
constexpr double kBlendOverMotion = 2.0;
constexpr double kBlendOverDrift = 2.0;
// A transition goes on past where it was seen while each step makes this share of its pace
// along it, and moves off it by no more than twice its own steps do (at least this floor).
constexpr double kExtendPace = 0.5;
constexpr double kExtendOffFloor = 1.0;
// The longest transition looked for, in seconds, and the frames it may last at least.
constexpr double kLongestBlendSeconds = 3.0;
constexpr int kShortestBlend = 3;
// A frame whose greys and colours vary less than this over its picture is flat (black, white,
// one colour): the middle of a fade, not a scene, when it lasts less than kFlatSceneSeconds.
constexpr double kFlatSpread = 8.0;
constexpr double kFlatSceneSeconds = 1.0;
constexpr int kBlackOrWhite = 24;
// A dissolve or fade this close to a hard cut is the shot settling after it, not a cut.
constexpr double kShortestSceneSeconds = 0.4;

// Reveals (wipes, shaped reveals, squeezes) and slides between shots that hold still: over a
// stretch of at most this long, each cell of the picture goes once from the first frame's value
// to the last's (a reveal), or the two pictures side by side slide across it (a slide); the
// frames just before and after the stretch drift by at most this share of its ends' difference
constexpr double kRevealLongestSeconds = 2.0;
constexpr double kRevealStill = 0.3;
constexpr double kRevealMoving = 0.45;  // ... on one side; on the other, this share
constexpr double kRevealResidualShare = 0.3;
// A slide is seen through cells that mix both pictures: it is allowed further off.
constexpr double kSlideResidualShare = 0.45;
// A reveal's last picture that is its first moved across, within this share of their
// difference, is a camera panning.
constexpr double kShiftedShare = 0.2;
// ... and its middle picture within this share: it is caught moving fast, a fraction of a cell
// off the shifts tried (a whip pan over a detailed picture).
constexpr double kShiftedMiddleShare = 0.25;
constexpr double kSlideDetailShare = 0.75;
// A step this many times the stretch's typical step is a jump (a cut), not part of a reveal.
constexpr double kJumpOverSteps = 3.0;
// A cell whose ends differ by less than this takes no part in telling when it switched.
constexpr double kRevealCellMinimum = 8.0;
constexpr double kRevealMinimum = 8.0;
// Frames at a reveal's ends within this share of its ends' difference take no part in it.
constexpr double kRevealUnchanged = 0.06;
// Each step between two parts of one transition makes at least this share of their ends'
// difference.
constexpr double kJoinedStep = 0.02;
// A change after which the picture comes back within this share of it, within kFlashSeconds,
// is a flash; one after which the picture keeps its structure (its greys correlate by at least
// this much with the ones before) is a light changing or flickering.
constexpr double kFlashBack = 0.35;
constexpr double kFlashSeconds = 0.3;
constexpr double kFlashSame = 0.1;
constexpr double kFlashStructure = 0.6;
constexpr double kSameStructure = 0.9;
// Frames whose brightness flickers by this much from one to the next are compared whatever
// their brightness.
constexpr double kFlickerLevels = 2.0;
// A transition's span goes on while each step is above this, and this many times the motion
// of the shot beyond.
constexpr double kWidenFloor = 0.3;
constexpr double kWidenOverMotion = 2.0;
constexpr double kMarginShare = 1.0;
// A hard cut inside a blend whose step makes at least this share of the blend's way.
constexpr double kCutInBlend = 0.5;

struct Transition {
    int32_t first = 0;  // its blended frames, end excluded
    int32_t end = 0;
    int32_t cut = 0;  // where the blend is half way
    // The frames whose blend it is (a dissolve's or a fade's), for following it further.
    int32_t from = 0;
    int32_t to = 0;
    bool hard = false;  // cut at a hard cut
    // With a hard cut, the end of the stretch that moved on after it (the new shot's frames).
    int32_t after = 0;
};

// The frame is one of the transitions' blended frames.
bool InAny(const std::vector<Transition>& transitions, int32_t frame) {
    return std::any_of(transitions.begin(), transitions.end(),
                       [&](const Transition& t) { return frame >= t.first && frame < t.end; });
}

class Finder {
public:
    Finder(const std::vector<Signature>& signatures, const std::vector<bool>& measured, double frameRate)
        : rate_(frameRate > 0 && std::isfinite(frameRate) ? frameRate : 25.0) {
        // A frame not measured takes the picture of the last one measured before it (of the
        // first measured when none is), so that it makes no cut of its own.
        const size_t n = signatures.size();
        const auto isMeasured = [&](size_t i) { return i < measured.size() && measured[i]; };
        size_t firstMeasured = 0;
        while (firstMeasured < n && !isMeasured(firstMeasured)) ++firstMeasured;
        if (firstMeasured == n) return;  // nothing to find scenes in
        points_.resize(n);
        for (size_t i = 0; i < n; ++i) {
            points_[i] = isMeasured(i)       ? &signatures[i]
                         : i > firstMeasured ? points_[i - 1]
                                             : &signatures[firstMeasured];
        }
        means_.assign(n, 0.0);
        for (size_t i = 0; i < n; ++i) {
            for (size_t k = 0; k < kGreyBytes; ++k) means_[i] += (*points_[i])[k];
            means_[i] /= double(kGreyBytes);
        }
        // The median change of brightness over the steps just before and just after each frame.
        flickerBefore_.assign(n, 0.0);
        flickerAfter_.assign(n, 0.0);
        std::vector<double> around;
        for (size_t i = 0; i < n; ++i) {
            for (int side = 0; side < 2; ++side) {
                around.clear();
                for (int k = 0; k < kMotionNeighbours; ++k) {
                    const ptrdiff_t f = side == 0 ? ptrdiff_t(i) - k : ptrdiff_t(i) + 1 + k;
                    if (f >= 1 && f < ptrdiff_t(n))
                        around.push_back(std::abs(means_[size_t(f)] - means_[size_t(f - 1)]));
                }
                if (around.empty()) continue;
                std::nth_element(around.begin(), around.begin() + ptrdiff_t(around.size() / 2), around.end());
                (side == 0 ? flickerBefore_ : flickerAfter_)[i] = around[around.size() / 2];
            }
        }
        steps_.assign(n, 0.0);
        for (size_t i = 1; i < n; ++i) steps_[i] = Distance(*points_[i - 1], *points_[i]);
        // A frame that repeats the one before while the pictures around it move (footage of a
        // lower rate, its frames shown twice or three times) tells nothing of the motion.
        repeated_.assign(n, false);
        for (size_t i = 1; i + 1 < n; ++i)
            repeated_[i] = steps_[i] < kRepeatStep && std::max(steps_[i - 1], steps_[i + 1]) >= kRepeatAround;
    }

    SceneList Find() {
        std::vector<Transition> found = Blends();
        for (const Transition& t : Reveals(found)) found.push_back(t);
        std::sort(found.begin(), found.end(),
                  [](const Transition& a, const Transition& b) { return a.first < b.first; });
        found = JoinMoving(std::move(found));
        // A hard cut inside a fade is a fast stretch of it; one just before or after a dissolve
        // or fade ends it (a shot settling after a cut, a fade that finishes with a jump): the
        // two are one transition, cut where the jump is.
        const int32_t near = int32_t(std::lround(kShortestSceneSeconds * rate_));
        for (int32_t frame : HardCuts()) {
            const auto blend = std::find_if(found.begin(), found.end(), [&](const Transition& t) {
                return frame > t.first - near && frame < t.end + near;
            });
            if (blend == found.end() || blend->hard) {
                found.push_back({frame, frame, frame, 0, 0, true});
            } else if ((frame < blend->first - kFlashFrames && !Flat(blend->from)) ||
                       frame > blend->end + kFlashFrames) {
                // A stretch that follows a cut a while after it is the new shot settling, unless
                // it fades in from black or white: a cut into white that fades to the next shot.
                *blend = {frame, frame, frame, 0, 0, true};
            } else if (frame <= blend->first || frame >= blend->end ||
                       steps_[size_t(frame)] >= kCutInBlend * Distance(P(blend->from), P(blend->to))) {
                // A jump that makes most of a blend's way is a cut, the rest of the stretch
                // the new shot moving (a crash zoom after a cut).
                // Every stretch near it goes with it.
                // Its frames end at the jump: those after it are the new shot's (a cut
                // into a crash zoom), however it moves.
                Transition joined = *blend;
                joined.first = std::min(joined.first, frame);
                // ... unless they fade in from black or white: the blend is then the cut's.
                joined.end = frame > blend->first || !Flat(blend->from) ? frame : blend->end;
                joined.after = std::max(blend->end, frame);
                joined.cut = frame;
                joined.hard = true;
                found.erase(std::remove_if(found.begin(), found.end(),
                                           [&](const Transition& t) {
                                               if (t.hard || frame <= t.first - near || frame >= t.end + near)
                                                   return false;
                                               joined.first = std::min(joined.first, t.first);
                                               joined.after = std::max(joined.after, t.end);
                                               // A fade from white or black after the jump
                                               // is the cut's too.
                                               if (t.first >= frame && Flat(t.from))
                                                   joined.end = std::max(joined.end, t.end);
                                               return true;
                                           }),
                            found.end());
                found.push_back(joined);
            }
        }
        found.erase(std::remove_if(found.begin(), found.end(), [&](const Transition& t) { return FlashOrLight(t); }),
                    found.end());
        std::sort(found.begin(), found.end(), [](const Transition& a, const Transition& b) { return a.cut < b.cut; });
        return Scenes(JoinShortScenes(JoinFlatScenes(found)));
    }

private:
    int32_t Count() const { return int32_t(points_.size()); }
    const Point& P(int32_t frame) const { return *points_[size_t(frame)]; }

    // The typical step between neighbouring frames around `frame`, leaving out the steps into
    // and out of the frames from `skipFirst` to `skipEnd`.
    double Motion(int32_t skipFirst, int32_t skipEnd, bool before = true, bool after = true) const {
        std::vector<double> around;
        for (int32_t i = skipFirst - kMotionNeighbours; i < skipFirst && before; ++i) {
            if (i >= 1 && !repeated_[size_t(i)]) around.push_back(steps_[size_t(i)]);
        }
        for (int32_t i = skipEnd + 1; i <= skipEnd + kMotionNeighbours && after; ++i) {
            if (i < Count() && !repeated_[size_t(i)]) around.push_back(steps_[size_t(i)]);
        }
        if (around.empty()) return 0;
        std::nth_element(around.begin(), around.begin() + ptrdiff_t(around.size() / 2), around.end());
        return around[around.size() / 2];
    }

    // The typical change of the whole picture's brightness from a frame to the next around
    // frames p to q, in grey levels.
    double Flicker(int32_t p, int32_t q) const { return std::min(flickerBefore_[size_t(p)], flickerAfter_[size_t(q)]); }

    std::vector<int32_t> HardCuts() const {
        std::vector<int32_t> cuts;
        for (int32_t i = 1; i < Count(); ++i) {
            const double step = steps_[size_t(i)];
            if (step < kCutMinimum) continue;
            // A cut into a moving shot (or out of one) is one: the motion on the calmer side
            // counts, as long as the step is well above the motion on the other.
            const double before = Motion(i, i, true, false), after = Motion(i, i, false, true);
            if (step < std::max(kCutOverMotion * std::min(before, after), kCutOverBusier * std::max(before, after)) +
                           kCutMargin)
                continue;
            // Not a flash: the frames after the cut stay away from the one before it, and the
            // frames before it away from the one after.
            bool kept = true;
            for (int32_t k = 1; k <= kFlashFrames; ++k) {
                if (i + k < Count() && Distance(P(i - 1), P(i + k)) < kCutKept * step) kept = false;
                if (i - 1 - k >= 0 && Distance(P(i - 1 - k), P(i)) < kCutKept * step) kept = false;
            }
            if (kept) cuts.push_back(i);
        }
        return cuts;
    }

    // Two stretches with frames between that never hold still are parts of one transition
    // (a shape that opens slowly at first, then fast), seen apart: they become one.
    std::vector<Transition> JoinMoving(std::vector<Transition> found) const {
        const int32_t longest = int32_t(std::lround(kRevealLongestSeconds * rate_));
        for (size_t i = 1; i < found.size();) {
            Transition& before = found[i - 1];
            const Transition& after = found[i];
            const double motion = Motion(before.first, after.end);
            const double ends = std::min(Distance(P(before.from), P(before.to)), Distance(P(after.from), P(after.to)));
            bool moving = after.first - before.end <= longest && after.end - before.first <= longest;
            for (int32_t f = before.end; f <= after.first && moving; ++f)
                moving = steps_[size_t(f)] >= std::max(kBlendOverMotion * motion, kJoinedStep * ends);
            // ... and the whole goes once from the first's picture to the second's: two
            // transitions pass through the shot between, however it moves.
            std::vector<double> progress;
            if (moving)
                moving = IsReveal(before.from, after.to) || IsSlide(before.from, after.to) ||
                         IsBlend(before.from, after.to, progress);
            if (!moving) {
                ++i;
                continue;
            }
            before.end = after.end;
            before.to = after.to;
            before.cut = before.first;
            while (before.cut < before.end &&
                   Distance(P(before.from), P(before.cut)) < Distance(P(before.cut), P(before.to)))
                ++before.cut;
            found.erase(found.begin() + ptrdiff_t(i));
        }
        return found;
    }

    // The change is a flash (the picture comes back within a short while) or the light of the
    // same picture changing (switched on or off, flickering): no cut.
    bool FlashOrLight(const Transition& t) const {
        const int32_t first = std::max(t.first == t.end ? t.cut - 1 : t.first - 1, 0);
        const int32_t end = std::min(std::max({t.end, t.cut, t.after}), Count() - 1);
        double change = 0;  // the furthest the picture goes
        for (int32_t m = first + 1; m <= end; ++m) change = std::max(change, Distance(P(first), P(m)));
        const int32_t flash = std::max<int32_t>(1, int32_t(std::lround(kFlashSeconds * rate_)));
        for (int32_t j = 0; j <= flash && first - j >= 0; ++j) {
            for (int32_t k = 0; k <= flash && end + k < Count(); ++k) {
                // Back to the same picture: near it, or of the same structure (a bright
                // flash between two shots a little apart is a fade through white).
                const double back = Distance(P(first - j), P(end + k));
                if (back < kFlashBack * change &&
                    (back < kFlashSame * change || Structure(P(first - j), P(end + k)) >= kFlashStructure))
                    return true;
            }
        }
        // A light switched keeps the colours; a fade keeps them too on its way to black, so
        // only a sudden change is judged so.
        return Structure(P(first), P(end)) >= kSameStructure || (t.first == t.end && SameColours(P(first), P(end)));
    }

    // Frames p to q are a blend of their ends; `progress` then holds each one's way, p to q.
    bool IsBlend(int32_t p, int32_t q, std::vector<double>& progress) const {
        const Point& a = P(p);
        const Point& b = P(q);
        const double ends = Distance(a, b);
        if (ends < kBlendMinimum) return false;
        const int32_t length = q - p;
        // A faint dissolve (between dim or alike shots) stands out of shots that hold still on
        // both sides: checked first, as it costs little.
        // (over its length, or as many frames as the video has there, at least half of it).
        const bool faint = ends < kBlendClear;
        const int32_t before = std::min(length, p), after = std::min(length, Count() - 1 - q);
        if (faint && (2 * before < length || 2 * after < length || Distance(P(p - before), P(p)) > kFaintStill * ends ||
                      Distance(P(q), P(q + after)) > kFaintStill * ends))
            return false;
        const double waySquared = WaySquared(a, b);
        const double allowed = std::clamp(kBlendResidualShare * ends, kBlendResidualFloor, kBlendResidualCeiling);
        const bool flicker = Flicker(p, q) >= kFlickerLevels;
        // The middle first: most stretches fail there.
        double off = 0;
        const double mid = Along(a, P((p + q) / 2), a, b, waySquared, off, flicker);
        if (mid < 0.2 || mid > 0.8 || off > allowed) return false;
        progress.assign(1, 0.0);
        double moved = 0;
        for (int32_t m = p + 1; m < q; ++m) {
            const double t = Along(a, P(m), a, b, waySquared, off, flicker);
            if (off > allowed || t < progress.back() - 0.05 || t > 1.05 || t - progress.back() > kBlendLargestStep)
                return false;
            progress.push_back(t);
            moved += steps_[size_t(m)];
        }
        if (1.0 - progress.back() > kBlendLargestStep) return false;
        progress.push_back(1.0);
        // It moves on all along: a fade in, a shot held, then a fade out lie on one line too,
        // their middle frames at a standstill on it.
        const auto middle = std::count_if(progress.begin(), progress.end(),
                                          [](double t) { return t > kBlendStallLow && t < 1.0 - kBlendStallLow; });
        if (double(middle) > kBlendStallShare * length + 1) return false;
        moved += steps_[size_t(q)];
        // How far the shots on each side drift in as many frames.
        double drift = 0;
        int sides = 0;
        if (p - length >= 0) {
            drift = std::max(drift, Distance(P(p - length), P(p)));
            ++sides;
        }
        if (q + length < Count()) {
            drift = std::max(drift, Distance(P(q), P(q + length)));
            ++sides;
        }
        // A faint one moves faster than the shots held still around it, or, its steps no larger
        // than their grain, takes the picture far further than they drift.
        if (faint)
            return moved / length >= kBlendOverMotion * Motion(p, q) || (sides > 0 && ends >= kFaintOverDrift * drift);
        // A fade to or from a flat picture is one whatever the pictures do around it; a dissolve
        // moves faster than they do by themselves, or takes the picture further than they go
        // in as many frames.
        if (Flat(p) || Flat(q) || moved / length >= kBlendOverMotion * Motion(p, q)) return true;
        return sides > 0 && ends >= kBlendOverDrift * drift;
    }

    // The dissolves and fades, each as the widest blend found around it.
    std::vector<Transition> Blends() const {
        const int32_t longest = std::max(kShortestBlend, int32_t(std::lround(kLongestBlendSeconds * rate_)));
        std::vector<int32_t> lengths;
        for (double l = kShortestBlend; l <= longest; l *= 1.4) {
            if (lengths.empty() || int32_t(l) != lengths.back()) lengths.push_back(int32_t(l));
        }
        std::vector<Transition> found;
        std::vector<double> progress, paces;
        for (int32_t p = 0; p < Count(); ++p) {
            // The widest blend starting here.
            for (auto length = lengths.rbegin(); length != lengths.rend(); ++length) {
                const int32_t q = p + *length;
                if (q >= Count() || !IsBlend(p, q, progress)) continue;
                // The frames actually on the way, and the first past half way.
                Transition t{q, p, q, p, q};
                for (int32_t m = p; m <= q; ++m) {
                    const double way = progress[size_t(m - p)];
                    if (way > 0.03 && way < 0.97) {
                        t.first = std::min(t.first, m);
                        t.end = std::max(t.end, m + 1);
                    }
                    if (way >= 0.5 && t.cut == q) t.cut = m;
                }
                if (t.first >= t.end) break;
                // A shot drifting the blend's way before or after it is not part of it: its
                // steps make a small share of the blend's typical pace.
                paces.clear();
                for (size_t k = 1; k < progress.size(); ++k) paces.push_back(progress[k] - progress[k - 1]);
                std::nth_element(paces.begin(), paces.begin() + ptrdiff_t(paces.size() / 2), paces.end());
                const double pace = paces[paces.size() / 2];
                const auto paceInto = [&](int32_t m) { return progress[size_t(m - p)] - progress[size_t(m - p - 1)]; };
                while (t.first < t.cut && t.first > p && paceInto(t.first) < kDriftPace * pace) ++t.first;
                while (t.end - 1 > t.cut && paceInto(t.end - 1) < kDriftPace * pace) --t.end;
                // A fade that opens or closes the video holds its first or last frame.
                if (p == 0) t.first = 0;
                if (q == Count() - 1) t.end = Count();
                if (!found.empty() && t.first <= found.back().end) {
                    // The same transition seen from another start: keep the wider view.
                    Transition& last = found.back();
                    if (t.end - t.first > last.end - last.first) {
                        last.cut = t.cut;
                        last.from = t.from;
                        last.to = t.to;
                    }
                    last.first = std::min(last.first, t.first);
                    last.end = std::max(last.end, t.end);
                } else {
                    found.push_back(t);
                }
                break;
            }
        }
        for (Transition& t : found) {
            Extend(t);
            t.cut = std::clamp(t.cut, std::max(t.first, 1), std::max(t.end - 1, 1));
        }
        return found;
    }

    // Wipes, shaped reveals and slides between shots that hold still, not already among
    // `blends`: for each start, the widest stretch whose frames switch cell by cell from its
    // first frame to its last, or slide them across.
    std::vector<Transition> Reveals(const std::vector<Transition>& blends) const {
        const int32_t longest = std::max(kShortestBlend, int32_t(std::lround(kRevealLongestSeconds * rate_)));
        std::vector<int32_t> lengths;
        for (double l = kShortestBlend; l <= longest; l *= 1.25) {
            if (lengths.empty() || int32_t(l) != lengths.back()) lengths.push_back(int32_t(l));
        }
        std::vector<Transition> found;
        std::vector<double> inside;
        for (int32_t p = 1; p < Count(); ++p) {
            for (auto length = lengths.rbegin(); length != lengths.rend(); ++length) {
                const int32_t q = p + *length;
                if (q >= Count() - 1) continue;
                const double ends = Distance(P(p), P(q));
                if (ends < kRevealMinimum) continue;
                // Still around: the frames as far before and after drift little.
                // (over at least half as many frames as the stretch: a drift into the video's
                // first frames is no still shot)
                const int32_t side = std::min(*length, int32_t(std::lround(rate_)));
                if (2 * std::min(p, Count() - 1 - q) < side) continue;
                const double before = Distance(P(std::max(p - side, 0)), P(p));
                const double after = Distance(P(q), P(std::min(q + side, Count() - 1)));
                if (std::min(before, after) > kRevealStill * ends || std::max(before, after) > kRevealMoving * ends)
                    continue;
                // No step makes most of the way (a cut, or the picture jumping).
                // A detailed picture sliding makes many steps as large as half its ends'
                // difference: only a step that also stands far above the others is a jump.
                inside.assign(steps_.begin() + p + 1, steps_.begin() + q + 1);
                const auto middle = inside.begin() + ptrdiff_t(inside.size() / 2);
                std::nth_element(inside.begin(), middle, inside.end());
                const double typical = *middle;
                const double largest = *std::max_element(inside.begin(), inside.end());
                const bool jumps = largest > kBlendLargestStep * ends && largest > kJumpOverSteps * typical;
                if (jumps || std::any_of(blends.begin(), blends.end(),
                                         [&](const Transition& t) { return t.first < q && t.end > p; }))
                    continue;
                // Faster than the calmer shot beside it moves by itself: a camera panning to and
                // fro moves as fast before and after each turn as between two of them.
                double moved = 0;
                for (int32_t m = p + 1; m <= q; ++m) moved += steps_[size_t(m)];
                if (moved / (q - p) < kBlendOverMotion * std::min(Motion(p, p, true, false), Motion(q, q, false, true)))
                    continue;
                if (!IsReveal(p, q) && !IsSlide(p, q)) continue;
                // A camera panning: the last picture and the one half way are the first moved.
                if (Shifted(P(p), P(q), P(q), 1.0, kShiftedShare) &&
                    Shifted(P(p), P((p + q) / 2), P(q), 0.0, kShiftedMiddleShare))
                    continue;
                // The frames that actually change (a shot held still drifts a little before it).
                int32_t first = p, end = q;
                while (first < end && Distance(P(p), P(first + 1)) < kRevealUnchanged * ends) ++first;
                while (end > first + 1 && Distance(P(end - 1), P(q)) < kRevealUnchanged * ends) --end;
                int32_t cut = first + 1;
                while (cut < end && Distance(P(p), P(cut)) < Distance(P(cut), P(q))) ++cut;
                found.push_back({first, end + 1, cut, p, q});
                p = q;
                break;
            }
        }
        return found;
    }

    // Picture b is picture a moved across by `least` cells or more (a camera panning), the part
    // they share alike: the cells of b lie within `share` of the difference between a and
    // `last` (the stretch's last picture) from a's greys that far off.
    static bool Shifted(const Point& a, const Point& b, const Point& last, double least, double share) {
        constexpr int n = kGreyCells;
        constexpr int kSteps = 4;   // shifts tried per cell
        constexpr int kShared = 3;  // cells at least they share each way
        constexpr int kLargest = n - kShared;
        double plain = 0;
        for (size_t i = 0; i < kGreyBytes; ++i) plain += std::abs(a[i] - last[i]);
        plain /= double(kGreyBytes);
        // a's grey at (x, y) in cells, between the cells' centres.
        const auto at = [&](double x, double y) {
            const int x0 = std::min(int(x), n - 2), y0 = std::min(int(y), n - 2);
            const double fx = x - x0, fy = y - y0;
            const auto cell = [&](int cx, int cy) { return double(a[size_t(cy * n + cx)]); };
            return (cell(x0, y0) * (1 - fx) + cell(x0 + 1, y0) * fx) * (1 - fy) +
                   (cell(x0, y0 + 1) * (1 - fx) + cell(x0 + 1, y0 + 1) * fx) * fy;
        };
        for (int ky = -kLargest * kSteps; ky <= kLargest * kSteps; ++ky) {
            for (int kx = -kLargest * kSteps; kx <= kLargest * kSteps; ++kx) {
                if (std::max(std::abs(kx), std::abs(ky)) < least * kSteps) continue;
                const double sx = double(kx) / kSteps, sy = double(ky) / kSteps;
                double off = 0;
                int shared = 0;
                for (int y = 0; y < n; ++y) {
                    const double ya = y + sy;
                    if (ya < 0 || ya > n - 1) continue;
                    for (int x = 0; x < n; ++x) {
                        const double xa = x + sx;
                        if (xa < 0 || xa > n - 1) continue;
                        off += std::abs(b[size_t(y * n + x)] - at(xa, ya));
                        ++shared;
                    }
                }
                if (shared >= kShared * kShared && off / shared <= share * plain) return true;
            }
        }
        return false;
    }

    // Each cell goes once, steadily, from its value in frame p to its value in frame q, cells
    // at different times (a wipe, a shape opening) or together (a dissolve).
    bool IsReveal(int32_t p, int32_t q) const {
        const Point& a = P(p);
        const Point& b = P(q);
        const double ends = Distance(a, b);
        const double allowed = std::clamp(kRevealResidualShare * ends, kBlendResidualFloor, kBlendResidualCeiling);
        std::array<double, kSignatureBytes> reached{};  // how far each cell has gone, 0 to 1
        int switching = 0;                              // frames where some cells are half way and others not
        for (int32_t m = p + 1; m < q; ++m) {
            const Point& v = P(m);
            double off = 0;
            int done = 0, counted = 0;
            for (size_t i = 0; i < kSignatureBytes; ++i) {
                const double d = double(b[i]) - a[i];
                const double x = double(v[i]) - a[i];
                // Outside the span from a to b, or back from where the cell had gone. A colour
                // may pass through grey on its way (a fade through greys).
                const double grey = i < kGreyBytes ? 0.0 : 128.0 - a[i];
                const double low = std::min({0.0, d, grey}), high = std::max({0.0, d, grey});
                double miss = x < low ? low - x : x > high ? x - high : 0.0;
                if (i < kGreyBytes && std::abs(d) >= kRevealCellMinimum) {
                    const double t = x / d;
                    miss = std::max(miss, (reached[i] - t) * std::abs(d) - 2.0);
                    reached[i] = std::max(reached[i], t);
                    ++counted;
                    done += t > 0.5;
                }
                off += Weight(i) * std::max(0.0, miss);
            }
            if (off / kTotalWeight > allowed) return false;
            if (counted > 0 && done > 0 && done < counted) ++switching;
        }
        return switching > 0;
    }

    // The pictures of frames p and q side by side (or one above the other) move across the
    // picture by its whole width (or height), steadily: a slide or a push.
    bool IsSlide(int32_t p, int32_t q) const {
        const Point& a = P(p);
        const Point& b = P(q);
        const double ends = Distance(a, b);
        constexpr int n = kGreyCells;
        constexpr int kSteps = 4;  // shifts tried per cell
        for (int direction = 0; direction < 4; ++direction) {
            // A shift by part of a cell changes a cell's mean by up to the difference from its
            // neighbour, which the line between the cells' means does not follow in a detailed
            // picture: it may land further off by a share of the mean such difference.
            double detail = 0;
            for (int r = 0; r < n; ++r) {
                for (int c = 0; c + 1 < n; ++c) {
                    const size_t i = size_t(direction < 2 ? r * n + c : c * n + r);
                    const size_t j = size_t(direction < 2 ? r * n + c + 1 : (c + 1) * n + r);
                    detail += std::abs(a[i] - a[j]) + std::abs(b[i] - b[j]);
                }
            }
            detail /= 2.0 * n * (n - 1);
            const double allowed = std::clamp(std::max(kSlideResidualShare * ends, kSlideDetailShare * detail),
                                              kBlendResidualFloor, 2 * kBlendResidualCeiling);
            // The greys along row (or column) r of both pictures end to end, the incoming one
            // after the outgoing one when it enters from the end.
            const auto line = [&](int r, double x) {
                const int i = int(x);
                const double f = x - i;
                const auto at = [&](int k) {
                    const bool second = direction % 2 == 0 ? k >= n : k < n;
                    const int c = k % n;
                    const int cell = direction < 2 ? r * n + c : c * n + r;
                    return double(second ? b[size_t(cell)] : a[size_t(cell)]);
                };
                return i + 1 < 2 * n ? at(i) * (1 - f) + at(i + 1) * f : at(i);
            };
            // The shift that fits frame m best, and how far off it lands.
            const auto fit = [&](int32_t m, double& bestShift) {
                const Point& v = P(m);
                double best = 1e9;
                for (int k = 0; k <= n * kSteps; ++k) {
                    const double shift = double(k) / kSteps;
                    double off = 0;
                    for (int r = 0; r < n; ++r) {
                        for (int c = 0; c < n; ++c) {
                            const int cell = direction < 2 ? r * n + c : c * n + r;
                            const double x = direction % 2 == 0 ? c + shift : c + n - shift;
                            off += std::abs(v[size_t(cell)] - line(r, x));
                        }
                    }
                    if (off < best) {
                        best = off;
                        bestShift = shift;
                    }
                }
                return best / (n * n);
            };
            // The middle first: most stretches fail there.
            double shift = 0;
            if (fit((p + q) / 2, shift) > allowed || shift < 0.2 * n || shift > 0.8 * n) continue;
            double previous = 0;
            bool fits = true;
            for (int32_t m = p + 1; m < q && fits; ++m) {
                fits = fit(m, shift) <= allowed && shift >= previous - 0.5 && shift - previous <= kBlendLargestStep * n;
                previous = std::max(previous, shift);
            }
            if (fits && n - previous <= kBlendLargestStep * n && previous >= 1) return true;
        }
        return false;
    }

    // A long dissolve beside a moving shot is seen over part of its length only: it goes on
    // each side as long as the frames keep moving from one picture to the other at a good
    // share of its pace, and little in any other direction.
    void Extend(Transition& t) const {
        const Point& a = P(t.from);
        const Point& b = P(t.to);
        const double waySquared = WaySquared(a, b);
        if (waySquared <= 0 || t.end - t.first < 2) return;
        // How far the step into frame f goes along the blend, and how far off it.
        const auto along = [&](int32_t f, double& off) { return Along(P(f - 1), P(f), a, b, waySquared, off); };
        double pace = 0, offInside = 0;
        for (int32_t f = t.first + 1; f < t.end; ++f) {
            double off = 0;
            pace += along(f, off);
            offInside += off;
        }
        pace /= t.end - t.first - 1;
        offInside /= t.end - t.first - 1;
        if (pace <= 0) return;
        const auto continues = [&](int32_t f) {
            double off = 0;
            const double way = along(f, off);
            return way >= kExtendPace * pace && off <= std::max(kExtendOffFloor, 2 * offInside);
        };
        const int32_t reach = t.end - t.first;
        for (int32_t n = 0; n < reach && t.first > 1 && continues(t.first); ++n) --t.first;
        for (int32_t n = 0; n < reach && t.end < Count() && continues(t.end); ++n) ++t.end;
    }

    bool Flat(int32_t frame) const {
        const Point& p = P(frame);
        double low = 255, high = 0;
        for (size_t i = 0; i < kGreyBytes; ++i) {
            low = std::min<double>(low, p[i]);
            high = std::max<double>(high, p[i]);
        }
        if (high - low > kFlatSpread) return false;
        low = 1e9, high = -1e9;
        for (size_t i = kGreyBytes; i < kSignatureBytes; ++i) {
            low = std::min<double>(low, p[i]);
            high = std::max<double>(high, p[i]);
        }
        return high - low <= kFlatSpread / kColourWeight;
    }

    // Most of the picture is black or white (a shape opening in black, a picture almost faded
    // out): three quarters of its grey cells lie within kFlatSpread of each other, all dark
    // (or all bright).
    bool MostlyFlat(int32_t frame) const {
        std::array<uint8_t, kGreyBytes> greys{};
        std::copy_n(P(frame).begin(), kGreyBytes, greys.begin());
        std::sort(greys.begin(), greys.end());
        constexpr size_t most = kGreyBytes * 3 / 4;
        for (size_t i = 0; i + most <= kGreyBytes; ++i) {
            if (greys[i + most - 1] - greys[i] <= kFlatSpread &&
                (greys[i + most - 1] <= kBlackOrWhite || greys[i] >= 255 - kBlackOrWhite))
                return true;
        }
        return false;
    }

    // A scene whose frames outside transitions are all flat and last a short while, or that has
    // none, is the middle of one transition: the cuts on each side become one.
    std::vector<Transition> JoinFlatScenes(std::vector<Transition> cuts) const {
        const auto flatScene = [&](int32_t first, int32_t end) {
            int32_t own = 0;  // frames outside the transitions
            for (int32_t f = first; f < end; ++f) {
                if (InAny(cuts, f)) continue;
                if (!MostlyFlat(f) || ++own > kFlatSceneSeconds * rate_) return false;
            }
            // With none, a flat picture between the cuts tells (the black between a fade out
            // and a fade in, the white a cut jumps to before fading to the next shot), not a
            // shot a cut and a stretch of motion hide.
            if (own > 0) return true;
            for (int32_t f = first; f < end; ++f) {
                if (Flat(f)) return true;
            }
            return false;
        };
        for (size_t i = 0; i <= cuts.size() && !cuts.empty();) {
            const int32_t first = i == 0 ? 0 : cuts[i - 1].cut;
            const int32_t end = i == cuts.size() ? Count() : cuts[i].cut;
            if (!flatScene(first, end)) {
                ++i;
            } else if (i == 0) {
                cuts.erase(cuts.begin());  // the video opens on a fade-in
            } else if (i == cuts.size()) {
                cuts.pop_back();  // the video closes on a fade-out
            } else {
                Transition& before = cuts[i - 1];
                const Transition& after = cuts[i];
                before.first = std::min(before.first, first);
                before.end = std::max(after.end, end);
                before.cut = first + (end - first) / 2;
                cuts.erase(cuts.begin() + ptrdiff_t(i));
            }
        }
        return cuts;
    }

    // A scene with fewer frames of its own (outside transitions) than kShortestSceneSeconds is
    // no shot: at either end of the video it joins the scene beside it, elsewhere the scenes
    // on both sides of its weaker cut (a dissolve's rather than a hard cut's) become one.
    std::vector<Transition> JoinShortScenes(std::vector<Transition> cuts) const {
        const int32_t shortest = std::max<int32_t>(2, int32_t(std::lround(kShortestSceneSeconds * rate_)));
        const auto own = [&](int32_t first, int32_t end) {
            int32_t count = 0;
            for (int32_t f = first; f < end && count < shortest; ++f) {
                if (!InAny(cuts, f)) ++count;
            }
            return count;
        };
        for (size_t i = 0; i <= cuts.size() && !cuts.empty();) {
            const int32_t first = i == 0 ? 0 : cuts[i - 1].cut;
            const int32_t end = i == cuts.size() ? Count() : cuts[i].cut;
            if (own(first, end) >= shortest) {
                ++i;
                continue;
            }
            size_t removed = i == cuts.size() ? i - 1 : i;
            if (i > 0 && i < cuts.size() && cuts[i].hard && !cuts[i - 1].hard) {
                removed = i - 1;  // the dissolve goes, the hard cut stays
            }
            cuts.erase(cuts.begin() + ptrdiff_t(removed));
            i = removed == 0 ? 0 : removed - 1;
        }
        return cuts;
    }

    SceneList Scenes(const std::vector<Transition>& found) const {
        SceneList list;
        std::vector<bool> hard;
        for (const Transition& t : found) {
            if (t.cut <= 0 || (!list.cuts.empty() && t.cut <= list.cuts.back().frame)) continue;
            list.cuts.push_back({t.cut, std::min(t.first, t.cut), std::max(t.end, t.cut)});
            hard.push_back(t.hard);
        }
        // A transition begins and ends more softly than where it was told (a shape opening
        // from a point, a blend's first faint steps): its frames go on while the picture still
        // changes more than its shot does, so that no faint blend is taken for the shot. It may
        // go on as long again as it was told, and as long as the shortest scene (a wipe slowing
        // to its end).
        const std::vector<Cut> told = list.cuts;
        for (size_t i = 0; i < list.cuts.size(); ++i) {
            Cut& c = list.cuts[i];
            if (c.transitionEnd - c.transitionFirst < 2) continue;
            const int32_t reach = std::max<int32_t>(
                {2, c.transitionEnd - c.transitionFirst, int32_t(std::lround(kShortestSceneSeconds * rate_))});
            const int32_t low = std::max(i == 0 ? 1 : list.cuts[i - 1].transitionEnd + 1, c.transitionFirst - reach);
            const int32_t high =
                std::min(i + 1 == list.cuts.size() ? Count() - 1 : list.cuts[i + 1].transitionFirst - 1,
                         c.transitionEnd + reach);
            const double before = std::max(kWidenFloor, kWidenOverMotion * Motion(low, low, true, false));
            while (c.transitionFirst > low && steps_[size_t(c.transitionFirst - 1)] > before) --c.transitionFirst;
            const double after = std::max(kWidenFloor, kWidenOverMotion * Motion(high, high, false, true));
            while (!hard[i] && c.transitionEnd < high && steps_[size_t(c.transitionEnd + 1)] > after) ++c.transitionEnd;
            // Its faintest steps do not show on the signature at all (the last strip of a wipe,
            // a shape's first point): a margin of its length on each side, taking at
            // most a quarter of the frames the shot beside it has of its own.
            const int32_t margin = int32_t(kMarginShare * (c.transitionEnd - c.transitionFirst));
            const int32_t ownBefore = told[i].transitionFirst - (i == 0 ? 0 : told[i - 1].transitionEnd);
            const int32_t ownAfter =
                (i + 1 == told.size() ? Count() : told[i + 1].transitionFirst) - told[i].transitionEnd;
            c.transitionFirst =
                std::max(1, std::min(c.transitionFirst, told[i].transitionFirst - std::min(margin, ownBefore / 4)));
            if (!hard[i])
                c.transitionEnd = std::max(c.transitionEnd, told[i].transitionEnd + std::min(margin, ownAfter / 4));
        }
        return list;
    }

    double rate_;
    std::vector<const Point*> points_;  // each frame's signature
    std::vector<double> steps_;         // steps_[i]: frame i's difference from frame i - 1
    std::vector<bool> repeated_;        // frame i shows frame i - 1's picture again
    std::vector<double> means_;         // each frame's mean grey
    std::vector<double> flickerBefore_, flickerAfter_;
};

}  // namespace

SceneList FindScenes(const std::vector<Signature>& signatures, const std::vector<bool>& measured, double frameRate) {
    return Finder(signatures, measured, frameRate).Find();
}

}  // namespace scenes
