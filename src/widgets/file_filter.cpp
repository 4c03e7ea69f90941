// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/file_filter.h"

namespace dialogs {

QString caselessPattern(const QString& pattern) {
    // "*.*" meant "every file" where the filters were written, names without a dot included.
    if (pattern == QLatin1String("*.*")) return QStringLiteral("*");
    QString result;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper()) {
            result += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        } else {
            result += c;
        }
    }
    return result;
}

QStringList toQtNameFilters(const QString& pairs) {
    QStringList filters;
    const QStringList parts = pairs.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << caselessPattern(pattern.trimmed());
        }
        if (patterns.isEmpty()) continue;
        filters << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

}  // namespace dialogs
