// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The program's identity texts, shown by the About box; the main window's caption is built
// from the product name and the version.

#include <QString>

namespace identity {

// The version is the build's project version, set once in CMakeLists.txt.
inline const QString kVersionNumber = QStringLiteral(ORVEXA_VERSION);
inline const QString kVersion = QStringLiteral("préVersion : ") + kVersionNumber;
inline const QString kProductName = QStringLiteral("Orvexa");
inline const QString kDescription = QStringLiteral("Tri et Conversion de Fichiers Vidéo");
inline const QString kEdition = QStringLiteral("Version Libre");
inline const QString kAuthorLine = QStringLiteral("Auteur : l'équipe Orvexa");
inline const QString kCopyrightLine = QStringLiteral("Copyright © 2026 l'équipe Orvexa");

}  // namespace identity
