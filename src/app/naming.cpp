// Output file names: directory, prefix, number and extension, and the controls that set them.

#include <QDir>
#include <limits>

#include "app/TForm1.h"
#include "platform/dialogs.h"
#include "ui_TForm1.h"

namespace {

constexpr int kFormatted = 1;
constexpr int kNoNumber = 2;
// Beyond this width the number is right-aligned with blanks instead of zero-filled.
constexpr int kMaxZeroFill = 16;

bool IsBlank(QChar c) { return c.unicode() <= 32; }

QString TrimBlanks(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.mid(first, last - first);
}

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
    const QString typedPrefix = ui_->EditNomFicImg->text();
    const QString prefix = TrimBlanks(typedPrefix).isEmpty() ? QStringLiteral("IMAGE") : typedPrefix;
    int32_t number = StartNumber;
    ParseInt32(ui_->EditDebut->text(), number);
    const int width = int(TrimBlanks(ui_->EditFormat->text()).size());

    QString numberPart;
    switch (ui_->RadioGroupNum->itemIndex()) {
        case kFormatted:
            numberPart = width <= kMaxZeroFill ? QString::asprintf("%*.*d", width, width, number)
                                               : QString::asprintf("%*d", width, number);
            break;
        case kNoNumber:
            break;
        default:
            numberPart = QString::number(number);
            break;
    }
    OutputType = ui_->RadioGroupTypeExtraction->itemIndex();
    const QString name = prefix + numberPart + (OutputType == 1 ? ".JPG" : ".BMP");
    ui_->LabelNomImg->setText(name);
    return name;
}

void TForm1::RenommeChange() {
    OutputDir = ui_->LabelRepFicImg->text();
    AviDirectory = ui_->LabelRepFicAvi->text();
    const bool formatted = ui_->RadioGroupNum->itemIndex() == kFormatted;
    ui_->EditFormat->setVisible(formatted);
    ui_->LabelFormat->setVisible(formatted);
    ui_->LabelNomImg->setText(BuildImageName());
    OutputType = ui_->RadioGroupTypeExtraction->itemIndex();
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
