// SPDX-License-Identifier: GPL-2.0-or-later
// Output file names: directory, prefix, number and extension, and the controls that set them.

#include <QDir>
#include <limits>

#include "app/TForm1.h"
#include "base/dialogs.h"
#include "framesource/output_names.h"
#include "ui_TForm1.h"

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

QString TForm1::BuildImageName() {
    OutputDir = WithTrailingSeparator(ui_->LabelRepFicImg->text());
    int32_t number = StartNumber;
    ParseInt32(ui_->EditDebut->text(), number);
    const int width = int(naming::TrimBlanks(ui_->EditFormat->text()).size());
    OutputType = naming::OutputType(ui_->RadioGroupTypeExtraction->itemIndex());
    const QString name = naming::ImageName(
        ui_->EditNomFicImg->text(), naming::Numbering(ui_->RadioGroupNum->itemIndex()), number, width, OutputType);
    ui_->LabelNomImg->setText(name);
    return name;
}

naming::OutputNaming TForm1::Naming() {
    naming::OutputNaming naming;
    // Also shows the name and brings the directory and type up to date.
    BuildImageName();
    naming.folder = OutputDir;
    naming.prefix = ui_->EditNomFicImg->text();
    naming.numbering = naming::Numbering(ui_->RadioGroupNum->itemIndex());
    naming.width = int(naming::TrimBlanks(ui_->EditFormat->text()).size());
    naming.start = StartNumber;
    ParseInt32(ui_->EditDebut->text(), naming.start);
    naming.type = OutputType;
    return naming;
}

void TForm1::SetStartNumber(int32_t number) {
    StartNumber = number;
    ui_->EditDebut->setText(QString::number(StartNumber));
}

void TForm1::RenommeChange() {
    OutputDir = ui_->LabelRepFicImg->text();
    AviDirectory = ui_->LabelRepFicAvi->text();
    const bool formatted = naming::Numbering(ui_->RadioGroupNum->itemIndex()) == naming::Numbering::ZeroFilled;
    ui_->EditFormat->setVisible(formatted);
    ui_->LabelFormat->setVisible(formatted);
    ui_->LabelNomImg->setText(BuildImageName());
    OutputType = naming::OutputType(ui_->RadioGroupTypeExtraction->itemIndex());
}

void TForm1::EditDebutChange() {
    int32_t value = 0;
    if (ParseInt32(ui_->EditDebut->text(), value)) {
        StartNumber = value;
    } else {
        // Putting the last valid number back raises this handler again with a valid text.
        ui_->EditDebut->setText(QString::number(StartNumber));
        return;
    }
    RenommeChange();
}

bool TForm1::EditDebutKeyPress(QChar key) { return key.unicode() < 14 || (key >= '0' && key <= '9'); }

bool TForm1::EditFormatKeyPress(QChar key) {
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

void TForm1::LabelNomImgClick() { ui_->LabelNomImg->setText(BuildImageName()); }

void TForm1::SpeedButtonParcourirExtractionClick() {
    const QString chosen = dialogs::current().chooseDirectory("Sélection du répertoire", ui_->LabelRepFicImg->text());
    if (chosen.isEmpty()) return;
    ui_->LabelRepFicImg->setText(WithTrailingSeparator(chosen));
    RenommeChange();
}
