// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/output_names.h"

namespace naming {

namespace {

// Beyond this width the number is right-aligned with blanks instead of zero-filled.
constexpr int kMaxZeroFill = 16;

bool IsBlank(QChar c) { return c.unicode() <= 32; }

}  // namespace

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
    return prefix + numberPart + (type == OutputType::Jpeg ? ".JPG" : ".BMP");
}

}  // namespace naming
