// SPDX-License-Identifier: GPL-2.0-or-later
// Entry point of every test program, built once per kind of test (tests/CMakeLists.txt): the
// tests of widgets and windows get a QApplication in the program's font with its accessible
// buttons, the others a QGuiApplication; those that load pictures find the metafile helper.
#include <gtest/gtest.h>

#ifdef ORVEXA_TEST_WIDGETS
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "widgets/accessibility.h"
#include "widgets/program_font.h"
#else
#include <QGuiApplication>
#endif
#ifdef ORVEXA_METAFILE_HELPER_PATH
#include "imaging/metafile.h"
#endif

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef ORVEXA_TEST_WIDGETS
    // The windows remember folders and places in the program's settings: never the user's here.
    QTemporaryDir settings;
    if (!settings.isValid()) return 1;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QApplication app(argc, argv);
    ApplyProgramFont(app);
#else
    QGuiApplication app(argc, argv);
#endif
#ifdef ORVEXA_METAFILE_HELPER_PATH
    imaging::SetMetafileHelperPath(ORVEXA_METAFILE_HELPER_PATH);
#endif
#ifdef ORVEXA_TEST_WIDGETS
    accessibility::Install();
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
