// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The file list of Qt's own file dialogs in French whatever the system's locale: sizes, type
// names and dates as a French desktop shows them, and the places beside it and its columns as
// wide as what they hold, so that no heading, place or value is cut.

class QFileDialog;

namespace dialogs {

// For a dialog that is not the desktop's (QFileDialog::DontUseNativeDialog).
void ShowFileListInFrench(QFileDialog& dialog);

}  // namespace dialogs
