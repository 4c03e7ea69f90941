// SPDX-License-Identifier: GPL-2.0-or-later
// Output file names: directory, prefix, number and extension, and the controls that set them.

#include <QDir>
#include <limits>

#include "app/main_window.h"
#include "base/dialogs.h"
#include "framesource/naming.h"
#include "ui_main_window.h"

namespace {

bool IsBlank(QChar c) { return c.unicode() <= 32; }

QString WithTrailingSeparator(QString directory) {
    if (!directory.endsWith('/')) directory += '/';
    return directory;
}

// A 32-bit integer with optional leading blanks and sign; nothing else may follow.
bool ParseInt32(const QString& text, int32_t& value) {
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool ok = false;
    const qlonglong parsed = text.mid(i).toLongLong(&ok);
    if (!ok || text.mid(i).trimmed() != text.mid(i) || parsed < std::numeric_limits<int32_t>::min() ||
        parsed > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    value = int32_t(parsed);
    return true;
}

}  // namespace

QString MainWindow::BuildImageName() {
    outputDir_ = WithTrailingSeparator(ui_->LabelRepFicImg->text());
    int32_t number = startNumber_;
    ParseInt32(ui_->EditDebut->text(), number);
    const int width = int(naming::TrimBlanks(ui_->EditFormat->text()).size());
    outputType_ = naming::OutputType(ui_->RadioGroupTypeExtraction->itemIndex());
    const QString name = naming::ImageName(
        ui_->EditNomFicImg->text(), naming::Numbering(ui_->RadioGroupNum->itemIndex()), number, width, outputType_);
    ui_->LabelNomImg->setText(name);
    return name;
}

naming::OutputNaming MainWindow::Naming() {
    naming::OutputNaming naming;
    // Also shows the name and brings the directory and type up to date.
    BuildImageName();
    naming.folder = outputDir_;
    naming.prefix = ui_->EditNomFicImg->text();
    naming.numbering = naming::Numbering(ui_->RadioGroupNum->itemIndex());
    naming.width = int(naming::TrimBlanks(ui_->EditFormat->text()).size());
    naming.start = startNumber_;
    ParseInt32(ui_->EditDebut->text(), naming.start);
    naming.type = outputType_;
    return naming;
}

void MainWindow::SetStartNumber(int32_t number) {
    startNumber_ = number;
    ui_->EditDebut->setText(QString::number(startNumber_));
}

void MainWindow::NamingChanged() {
    outputDir_ = ui_->LabelRepFicImg->text();
    videoDirectory_ = ui_->LabelRepFicAvi->text();
    const bool formatted = naming::Numbering(ui_->RadioGroupNum->itemIndex()) == naming::Numbering::ZeroFilled;
    ui_->EditFormat->setVisible(formatted);
    ui_->LabelFormat->setVisible(formatted);
    ui_->LabelNomImg->setText(BuildImageName());
    outputType_ = naming::OutputType(ui_->RadioGroupTypeExtraction->itemIndex());
}

void MainWindow::StartNumberEdited() {
    int32_t value = 0;
    if (ParseInt32(ui_->EditDebut->text(), value)) {
        startNumber_ = value;
    } else {
        // Putting the last valid number back raises this handler again with a valid text.
        ui_->EditDebut->setText(QString::number(startNumber_));
        return;
    }
    NamingChanged();
}

bool MainWindow::FilterStartNumberKey(QChar key) { return key.unicode() < 14 || (key >= '0' && key <= '9'); }

bool MainWindow::FilterWidthKey(QChar key) {
    if (key >= '0' && key <= '9') {
        ui_->EditFormat->setText(QString(key.digitValue(), '#'));
        return false;
    }
    if (key.unicode() > 13) {
        ui_->EditFormat->insert("#");
        return false;
    }
    return true;
}

void MainWindow::RefreshImageName() { ui_->LabelNomImg->setText(BuildImageName()); }

void MainWindow::ChooseOutputFolder() {
    const QString chosen = dialogs::current().chooseDirectory("Sélection du répertoire", ui_->LabelRepFicImg->text());
    if (chosen.isEmpty()) return;
    ui_->LabelRepFicImg->setText(WithTrailingSeparator(chosen));
    NamingChanged();
    RememberOutputFolder();
}
