// SPDX-License-Identifier: GPL-2.0-or-later
// How long finding the scenes takes after a ranking: FRAMES signatures (default 100000) of
// pictures that drift slowly, with a hard cut every 200 frames and a one-second dissolve
// every 700, at 25 frames a second. Prints the time and the scenes found.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "ranking/scenes.h"

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> level(20, 235);
    std::uniform_int_distribution<int> jitter(-1, 1);
    const auto newShot = [&] {
        scenes::Signature s;
        for (uint8_t& v : s) v = uint8_t(level(random));
        return s;
    };
    std::vector<scenes::Signature> signatures(static_cast<size_t>(frames));
    scenes::Signature shot = newShot();
    scenes::Signature next = newShot();
    int expected = 1;
    for (int i = 0; i < frames; ++i) {
        if (i > 0 && i % 200 == 0) {
            shot = newShot();
            ++expected;
        }
        if (i % 1000 == 500) {
            next = newShot();
            ++expected;
        }
        scenes::Signature s = shot;
        const int dissolve = i % 1000 - 500;
        for (size_t k = 0; k < s.size(); ++k) {
            double v = shot[k] + jitter(random);
            if (dissolve >= 0) v += (next[k] - double(shot[k])) * dissolve / 25.0;
            s[k] = uint8_t(std::clamp(v, 0.0, 255.0));
        }
        if (dissolve == 24) shot = next;
        signatures[size_t(i)] = s;
    }
    std::vector<uint8_t> picture(size_t(1920) * 1080 * 3);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(random());
    const auto signing = std::chrono::steady_clock::now();
    constexpr int kSignatures = 2000;
    uint32_t sum = 0;  // keeps the signatures from being optimised away
    for (int i = 0; i < kSignatures; ++i)
        sum += scenes::SignatureOfBgr(1920, 1080, picture.data(), 1920 * 3)[size_t(i) % 96];
    const double signingSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signing).count();
    std::printf("signature of a 1920x1080 frame: %.1f us (%u)\n", signingSeconds * 1e6 / kSignatures, sum % 10);

    const std::vector<bool> measured(size_t(frames), true);
    const auto start = std::chrono::steady_clock::now();
    const scenes::SceneList list = scenes::FindScenes(signatures, measured, 25.0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d frames: %.3f s (%.2f us a frame), %d scenes found, %d made\n", frames, seconds,
                seconds * 1e6 / frames, list.Count(), expected);
    return 0;
}
