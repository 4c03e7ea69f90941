// SPDX-License-Identifier: GPL-2.0-or-later
#include "ranking/measure.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace ranking {
namespace {

int64_t PowerOfTen(int decimals) {
    int64_t power = 1;
    for (int i = 0; i < decimals; ++i) power *= 10;
    return power;
}

constexpr int kSharpnessDecimals = 2;

const Measure kJpegLength{.name = "jpeg",
                          .unit = "bytes",
                          .jsonField = "bytes",
                          .manifestField = "jpeg_bytes",
                          .englishTitle = "JPEG bytes of each frame",
                          .englishAxis = "Bytes",
                          .frenchName = "taille JPEG",
                          .frenchTitle = "Tri de chaque image (longueur JPEG)",
                          .frenchAxis = "Tri (octets)",
                          .largerIsBetter = true,
                          .decimals = 0,
                          .encodes = true,
                          .ofRows = nullptr};

const Measure kSharpness{.name = "sharpness",
                         .unit = "grey levels squared",
                         .jsonField = "sharpness",
                         .manifestField = "sharpness",
                         .englishTitle = "Sharpness of each frame (variance of the Laplacian)",
                         .englishAxis = "Sharpness",
                         .frenchName = "netteté",
                         .frenchTitle = "Tri de chaque image (netteté)",
                         .frenchAxis = "Tri (netteté)",
                         .largerIsBetter = true,
                         .decimals = kSharpnessDecimals,
                         .encodes = false,
                         .ofRows = &SharpnessOf};

const Measure* const kMeasures[] = {&kJpegLength, &kSharpness};

}  // namespace

const Measure& JpegLength() { return kJpegLength; }
const Measure& Sharpness() { return kSharpness; }

std::span<const Measure* const> AllMeasures() { return kMeasures; }

const Measure* MeasureNamed(const QString& name) {
    for (const Measure* measure : kMeasures) {
        if (name == QLatin1String(measure->name)) return measure;
    }
    return nullptr;
}

QByteArray Measure::Text(int64_t steps) const {
    if (decimals == 0) return QByteArray::number(steps);
    const int64_t power = PowerOfTen(decimals);
    const int64_t whole = steps / power, part = steps % power;
    QByteArray text = QByteArray::number(part < 0 ? -part : part).rightJustified(decimals, '0');
    return (steps < 0 && whole == 0 ? "-" : "") + QByteArray::number(whole) + '.' + text;
}

QString Measure::FrenchText(int64_t steps) const {
    QString text = QString::fromLatin1(Text(steps));
    return text.replace('.', ',');
}

double Measure::Units(int64_t steps) const { return double(steps) / double(PowerOfTen(decimals)); }

bool Measure::FromText(const QByteArray& text, int64_t& steps) const {
    const qsizetype dot = text.indexOf('.');
    const QByteArray whole = decimals == 0 ? text : text.left(dot);
    const QByteArray part = decimals == 0 ? QByteArray() : text.mid(dot + 1);
    if ((decimals > 0 && (dot < 0 || part.size() != decimals)) || whole.isEmpty() || whole.size() > 15) return false;
    const auto digits = [](const QByteArray& t) {
        return std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(whole) || !digits(part) || (whole.size() > 1 && whole[0] == '0')) return false;
    steps = whole.toLongLong() * PowerOfTen(decimals) + (part.isEmpty() ? 0 : part.toLongLong());
    return true;
}

int64_t Measure::StepsOf(double number) const { return std::llround(number * double(PowerOfTen(decimals))); }

bool Measure::RanksBefore(const Value& x, int32_t a, const Value& y, int32_t b) const {
    if (x.Measured() != y.Measured()) return x.Measured();
    if (x.Measured() && x.steps != y.steps) return largerIsBetter ? x.steps > y.steps : x.steps < y.steps;
    return a < b;
}

int64_t SharpnessOf(const Rows& rows) {
    const int width = rows.width, height = rows.height;
    if (width < 3 || height < 3 || !rows.data) return 0;
    // Three grey rows at a time, the one above, this one and the one below, in 16 bits and the
    // sums of a row in 32 (a Laplacian is at most 1020 either way): the compiler's vector
    // instructions take them many at once.
    std::vector<int16_t> grey(size_t(3) * size_t(width));
    const auto greyRow = [&](int y, int16_t* out) {
        const uint8_t* p = rows.data + ptrdiff_t(y) * rows.stride;
        for (int x = 0; x < width; ++x)
            out[x] = int16_t((29 * p[3 * x] + 150 * p[3 * x + 1] + 77 * p[3 * x + 2] + 128) >> 8);
    };
    int16_t* above = grey.data();
    int16_t* here = above + width;
    int16_t* below = here + width;
    greyRow(0, above);
    greyRow(1, here);
    // Squares of this many Laplacians add up within 32 bits unsigned.
    constexpr int kChunk = 4096;
    int64_t sum = 0;
    int64_t squares = 0;
    for (int y = 1; y + 1 < height; ++y) {
        greyRow(y + 1, below);
        for (int from = 1; from + 1 < width; from += kChunk) {
            const int end = std::min(width - 1, from + kChunk);
            int32_t chunkSum = 0;
            uint32_t chunkSquares = 0;
            for (int x = from; x < end; ++x) {
                const int32_t laplacian = 4 * here[x] - here[x - 1] - here[x + 1] - above[x] - below[x];
                chunkSum += laplacian;
                chunkSquares += uint32_t(laplacian * laplacian);
            }
            sum += chunkSum;
            squares += chunkSquares;
        }
        int16_t* spare = above;
        above = here;
        here = below;
        below = spare;
    }
    // variance = squares / n - (sum / n)^2, in steps, rounded half up, without rounding before.
    const __int128 n = __int128(width - 2) * (height - 2);
    const __int128 numerator = (n * squares - __int128(sum) * sum) * PowerOfTen(kSharpnessDecimals);
    const __int128 denominator = n * n;
    return int64_t((2 * numerator + denominator) / (2 * denominator));
}

}  // namespace ranking
