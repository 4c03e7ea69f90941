// SPDX-License-Identifier: GPL-2.0-or-later
// Entry point of every test program: a QApplication exists for the widget tests.
#include <gtest/gtest.h>
#include <QApplication>

#include "platform/accessibility.h"
#include "platform/metafile.h"
#include "platform/program_font.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ApplyProgramFont(app);
    gfx::SetMetafileHelperPath(ORVEXA_METAFILE_HELPER_PATH);
    accessibility::Install();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
