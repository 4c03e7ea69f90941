// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/naming.h"

#include "framesource/output_types.h"

#include <limits>

#include <cstdint>

namespace naming {

int32_t NumberAfter(int32_t number) { return number < std::numeric_limits<int32_t>::max() ? number + 1 : number; }

namespace {

bool IsBlank(QChar c) { return c.unicode() <= 32; }

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at `p` (no overlong form, no surrogate, nothing
// past U+10FFFF); 0 when there is none.
qsizetype Utf8Length(const uint8_t* p, qsizetype left) {
    const uint8_t lead = p[0];
    if (lead < 0x80) return 1;
    qsizetype length = 0;
    uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high) return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (!IsContinuation(p[i])) return 0;
    }
    return length;
}

constexpr char16_t kEscapedByte = 0xDC00;

bool IsEscapedByte(char16_t c) { return c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF; }

}  // namespace

QString PathText(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
    QString text;
    qsizetype runStart = 0, i = 0;
    while (i < bytes.size()) {
        const qsizetype length = Utf8Length(p + i, bytes.size() - i);
        if (length > 0) {
            i += length;
            continue;
        }
        text += QString::fromUtf8(bytes.constData() + runStart, i - runStart);
        text += QChar(char16_t(kEscapedByte + p[i]));
        runStart = ++i;
    }
    return text + QString::fromUtf8(bytes.constData() + runStart, bytes.size() - runStart);
}

QByteArray PathBytes(const QString& text) {
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // A pair's low half is a character of its own, never a byte.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (!IsEscapedByte(c)) continue;
        bytes += QStringView(text).mid(runStart, i - runStart).toUtf8();
        bytes += char(c - kEscapedByte);
        runStart = i + 1;
    }
    return bytes + QStringView(text).mid(runStart).toUtf8();
}

QString TrimBlanks(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.mid(first, last - first);
}

QString ImageName(const QString& typedPrefix, Numbering numbering, int32_t number, int width, OutputType type) {
    const QString prefix = TrimBlanks(typedPrefix).isEmpty() ? QStringLiteral("IMAGE") : typedPrefix;
    QString numberPart;
    switch (numbering) {
        case Numbering::ZeroFilled:
            numberPart = width <= kMaxZeroFill ? QString::asprintf("%*.*d", width, width, number)
                                               : QString::asprintf("%*d", width, number);
            break;
        case Numbering::None:
            break;
        case Numbering::Plain:
            numberPart = QString::number(number);
            break;
    }
    return prefix + numberPart + QLatin1String(output_types::Of(type).extension);
}

}  // namespace naming
