// SPDX-License-Identifier: GPL-2.0-or-later
#include "rankfile/json_text.h"

#include <QLocale>

namespace batch {

QByteArray JsonString(const QString& text) {
    QByteArray json = "\"";
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            json += text.mid(i, 2).toUtf8();
            ++i;
        } else if (c == '"' || c == '\\') {
            json += '\\';
            json += char(c);
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\t') {
            json += "\\t";
        } else if (c < 0x20 || QChar::isSurrogate(c)) {
            json += "\\u" + QByteArray::number(unsigned(c), 16).rightJustified(4, '0');
        } else {
            json += QString(QChar(c)).toUtf8();
        }
    }
    return json + '"';
}

QByteArray JsonNumber(double value) { return QByteArray::number(value, 'g', QLocale::FloatingPointShortest); }

}  // namespace batch
