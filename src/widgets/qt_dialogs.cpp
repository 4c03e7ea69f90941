// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/qt_dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLayout>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTranslator>
#include <algorithm>
#include <memory>

#include "widgets/file_filter.h"
#include "widgets/file_list_french.h"

namespace dialogs {

namespace {

const QString kOk = QStringLiteral("OK");
const QString kCancel = QStringLiteral("Annuler");

QMessageBox::Icon ToQt(Icon icon) {
    switch (icon) {
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Error:
            return QMessageBox::Critical;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

void SetFrenchLabels(QFileDialog& dialog, const QString& acceptText) {
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Rechercher dans :"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Nom :"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Types de fichiers :"));
    dialog.setLabelText(QFileDialog::Accept, acceptText);
    dialog.setLabelText(QFileDialog::Reject, kCancel);
}

// The dialog starts wide enough for its filter box to show the longest description whole.
void WidenForFilterNames(QFileDialog& dialog) {
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (types == nullptr || dialog.layout() == nullptr) return;
    int longest = 0;
    for (int item = 0; item < types->count(); ++item) {
        longest = std::max(longest, types->fontMetrics().horizontalAdvance(types->itemText(item)));
    }
    QStyleOptionComboBox option;
    option.initFrom(types);
    const int needed =
        types->style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(longest, types->height()), types).width();
    dialog.layout()->activate();  // gives the box its width at the dialog's present size
    if (needed > types->width()) dialog.resize(dialog.width() + needed - types->width(), dialog.height());
}

// A directory chooser that accepts a directory that does not exist yet, once the user agreed
// to create it.
class DirectoryDialog : public QFileDialog {
public:
    DirectoryDialog(QWidget* parent, const QString& title, const QString& start) : QFileDialog(parent, title, start) {
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::ShowDirsOnly);
        setFileMode(QFileDialog::Directory);
        setAcceptMode(QFileDialog::AcceptOpen);
        SetFrenchLabels(*this, kOk);
        ShowFileListInFrench(*this);
        if (auto* buttons = findChild<QDialogButtonBox*>()) {
            QPushButton* help = buttons->addButton(QStringLiteral("Aide"), QDialogButtonBox::HelpRole);
            help->setObjectName(QStringLiteral("helpButton"));
            connect(help, &QPushButton::clicked, this, [] {
                QtDialogs().messageBox(QStringLiteral("Choisissez le répertoire où les images extraites sont écrites. "
                                                      "Pour en créer un nouveau, tapez son chemin et validez : il "
                                                      "est créé après confirmation."),
                                       QStringLiteral("Aide"), Buttons::Ok, Icon::Information);
            });
        }
    }

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (chosen.isEmpty()) return;
        const QString path = chosen.first();
        if (!QFileInfo(path).exists()) {
            QtDialogs asker;
            if (asker.messageBox(QStringLiteral("Le répertoire spécifié n'existe pas. Le créer ?"),
                                 QStringLiteral("Confirmation"), Buttons::OkCancel, Icon::Warning) != Answer::Ok) {
                return;
            }
            if (!QDir().mkpath(path)) {
                asker.showError(QStringLiteral("Impossible de créer le répertoire %1").arg(path));
                return;
            }
        }
        QFileDialog::accept();
    }
};

// Made on first use. Named as the program loads, which it does in every program that links
// this file: those with windows do, through OrvexaApplication (installFrench).
Dialogs& Real() {
    static QtDialogs real;
    return real;
}
[[maybe_unused]] const bool kRealNamed = (setReal(&Real), true);

}  // namespace

Answer QtDialogs::messageBox(const QString& text, const QString& caption, Buttons buttons, Icon icon) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon(ToQt(icon));
    QPushButton* ok = box.addButton(kOk, QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    if (buttons == Buttons::OkCancel) {
        box.setEscapeButton(box.addButton(kCancel, QMessageBox::RejectRole));
    } else {
        box.setEscapeButton(ok);
    }
    // A window manager cuts a caption wider than its box ("Tra... né"): the box is made wide
    // enough for the caption, with room for the title bar's icon and buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont titleFont = box.font();
        titleFont.setBold(true);
        const int width = QFontMetrics(titleFont).horizontalAdvance(caption) + 140;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    box.exec();
    return box.clickedButton() == ok ? Answer::Ok : Answer::Cancel;
}

void configureOpenDialog(QFileDialog& dialog, const OpenFileRequest& request) {
    dialog.setWindowTitle(QStringLiteral("Ouvrir"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The dialog shows the descriptions only, not the caseless patterns behind them.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (!request.directory.isEmpty()) dialog.setDirectory(request.directory);
    const QStringList filters = toQtNameFilters(request.filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    SetFrenchLabels(dialog, QStringLiteral("Ouvrir"));
    ShowFileListInFrench(dialog);
    WidenForFilterNames(dialog);
}

QStringList QtDialogs::openFiles(const OpenFileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow());
    configureOpenDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

QString QtDialogs::chooseDirectory(const QString& title, const QString& start) {
    DirectoryDialog dialog(QApplication::activeWindow(), title, start);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : QDir::cleanPath(chosen.first());
}

void QtDialogs::showError(const QString& message) {
    messageBox(message, QStringLiteral("Erreur"), Buttons::Ok, Icon::Error);
}

QString QtDialogs::askText(const QString& caption, const QString& label, const QString& initial) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(label);
    dialog.setTextValue(initial);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Annuler"));
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.textValue();
}

bool installFrench() {
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    auto* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    const QStringList places = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                QStringLiteral("/usr/share/qt6/translations")};
    for (const QString& place : places) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QStringLiteral("qtbase_fr"), place)) {
            QCoreApplication::installTranslator(translator.get());
            translator.release()->setParent(app);  // the application owns it from now on
            return true;
        }
    }
    return false;
}

}  // namespace dialogs
