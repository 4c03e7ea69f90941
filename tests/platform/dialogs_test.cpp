// SPDX-License-Identifier: GPL-2.0-or-later
// The real dialogs' French texts and filters, and the switch to a scripted double.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <functional>
#include <vector>

#include "platform/dialogs.h"
#include "platform/file_filter.h"
#include "platform/qt_dialogs.h"
#include "support/scripted_dialogs.h"

namespace {

const QString kAviFilter = "Animations AVI (*.AVI)|*.AVI|Tous Fichiers (*.*)|*.*";

// The patterns of a Qt name filter: the words inside its last parentheses.
QStringList PatternsOf(const QString& qtFilter) {
    const qsizetype open = qtFilter.lastIndexOf('(');
    return qtFilter.mid(open + 1, qtFilter.size() - open - 2).split(' ');
}

// Runs `answer` once the next modal dialog has started its own event loop.
void WhenModal(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer = std::move(answer)] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        answer(modal);
    });
}

TEST(FileFilter, PairsBecomeCaselessQtNameFilters) {
    struct Case {
        QString pairs;
        QStringList filters;
    };
    const std::vector<Case> cases = {
        {kAviFilter, {"Animations AVI (*.AVI) (*.[aA][vV][iI])", "Tous Fichiers (*.*) (*)"}},
        {"Images|*.bmp;*.jpg", {"Images (*.[bB][mM][pP] *.[jJ][pP][gG])"}},
        {"Image1|IMAGE?.JPG", {"Image1 ([iI][mM][aA][gG][eE]?.[jJ][pP][gG])"}},
        {"", {}},
        {"Sans motif|", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dialogs::toQtNameFilters(c.pairs), c.filters) << c.pairs.toStdString();
    }
}

TEST(FileFilter, AviPatternShowsFilesWhateverTheCaseOfTheirExtension) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"clip.avi", "CLIP2.AVI", "Clip3.Avi", "notes.txt", "avi", "README"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QStringList qtFilters = dialogs::toQtNameFilters(kAviFilter);
    ASSERT_EQ(qtFilters.size(), 2);
    // Matched case-sensitively, so the patterns themselves must do the work.
    const auto listed = [&](const QString& qtFilter) {
        return QDir(dir.path()).entryList(PatternsOf(qtFilter), QDir::Files | QDir::CaseSensitive, QDir::Name);
    };
    EXPECT_EQ(listed(qtFilters[0]), (QStringList{"CLIP2.AVI", "Clip3.Avi", "clip.avi"}));
    EXPECT_EQ(listed(qtFilters[1]).size(), 6);  // every file, names without a dot too
}

TEST(OpenDialog, StartsInTheGivenDirectoryWithTheConvertedFilters) {
    QTemporaryDir dir;
    for (bool multi : {false, true}) {
        QFileDialog dialog;
        dialogs::configureOpenDialog(dialog, {dir.path(), kAviFilter, multi});
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog.fileMode(), multi ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        EXPECT_EQ(QDir(dialog.directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
        EXPECT_EQ(dialog.nameFilters(), dialogs::toQtNameFilters(kAviFilter));
        EXPECT_EQ(dialog.labelText(QFileDialog::Reject), "Annuler");
        EXPECT_EQ(dialog.labelText(QFileDialog::Accept), "Ouvrir");
    }
}

TEST(MessageBox, HasFrenchButtonsAndReturnsTheOneClicked) {
    struct Case {
        dialogs::Buttons buttons;
        QString click;
        QStringList texts;
        dialogs::Answer answer;
    };
    const std::vector<Case> cases = {
        {dialogs::Buttons::Ok, "OK", {"OK"}, dialogs::Answer::Ok},
        {dialogs::Buttons::OkCancel, "OK", {"OK", "Annuler"}, dialogs::Answer::Ok},
        {dialogs::Buttons::OkCancel, "Annuler", {"OK", "Annuler"}, dialogs::Answer::Cancel},
    };
    for (const Case& c : cases) {
        QStringList seen;
        QString caption;
        QString text;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            text = box->text();
            for (QAbstractButton* button : box->buttons()) seen << button->text();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == c.click) button->click();
            }
        });
        dialogs::QtDialogs real;
        EXPECT_EQ(real.messageBox("Ecraser : IMAGE1.JPG ?", "Confirmation", c.buttons), c.answer);
        seen.sort();
        QStringList expected = c.texts;
        expected.sort();
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(caption, "Confirmation");
        EXPECT_EQ(text, "Ecraser : IMAGE1.JPG ?");
    }
}

TEST(DirectoryChooser, CreatesATypedDirectoryOnlyAfterTheUserAgrees) {
    for (bool agree : {true, false}) {
        QTemporaryDir dir;
        const QString wanted = dir.filePath("sorties/jour1");
        QString question;
        WhenModal([&](QWidget* modal) {
            auto* chooser = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(chooser, nullptr);
            EXPECT_EQ(chooser->windowTitle(), "Sélection du répertoire");
            auto* help = chooser->findChild<QPushButton*>("helpButton");
            ASSERT_NE(help, nullptr);
            EXPECT_EQ(help->text(), "Aide");
            auto* name = chooser->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(wanted);
            WhenModal([&](QWidget* confirm) {
                auto* box = qobject_cast<QMessageBox*>(confirm);
                ASSERT_NE(box, nullptr);
                question = box->text();
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text() == (agree ? "OK" : "Annuler")) button->click();
                }
            });
            QMetaObject::invokeMethod(chooser, "accept", Qt::DirectConnection);
            if (!agree) chooser->reject();
        });
        dialogs::QtDialogs real;
        const QString chosen = real.chooseDirectory("Sélection du répertoire", dir.path());
        EXPECT_EQ(question, "Le répertoire spécifié n'existe pas. Le créer ?");
        EXPECT_EQ(QDir(wanted).exists(), agree);
        EXPECT_EQ(chosen, agree ? QDir::cleanPath(wanted) : QString());
    }
}

// Qt's own dialogs (the file list's columns, its warnings) speak French only when Qt's French
// translation is installed on the machine.
TEST(FrenchTranslation, LoadsAndTranslatesTheStandardDialogs) {
    ASSERT_TRUE(dialogs::installFrenchTranslation()) << "qtbase_fr is not installed";
    const struct {
        const char* context;
        const char* english;
        QString french;
    } cases[] = {
        {"QFileSystemModel", "Name", "Nom"},
        {"QFileSystemModel", "Size", "Taille"},
        {"QFileSystemModel", "Date Modified", "Dernière modification"},
        {"QFileDialog", "%1\nFile not found.\nPlease verify the correct file name was given.",
         "%1\nFichier introuvable.\nVeuillez vérifier que le nom du fichier est correct."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QCoreApplication::translate(c.context, c.english), c.french) << c.english;
    }
    // The other tests of this program see Qt's untranslated texts.
    for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

TEST(ScriptedDialogs, RecordsRequestsAnswersFromItsQueuesAndRestoresTheRealOnes) {
    dialogs::Dialogs* real = &dialogs::current();
    {
        testing_support::ScopedDialogs scripted;
        EXPECT_EQ(&dialogs::current(), &*scripted);
        scripted->queueAnswer(dialogs::Answer::Cancel);
        scripted->queueFiles({"/v/a.avi", "/v/b.avi"});
        scripted->queueDirectory("/sorties");

        auto& current = dialogs::current();
        EXPECT_EQ(current.messageBox("Ecraser : X ?", "Confirmation", dialogs::Buttons::OkCancel),
                  dialogs::Answer::Cancel);
        EXPECT_EQ(current.messageBox("\" 3 \" Images Extraites", "Info", dialogs::Buttons::Ok),
                  dialogs::Answer::Ok);  // queue empty: OK
        EXPECT_EQ(current.openFiles({"/v", kAviFilter, true}), (QStringList{"/v/a.avi", "/v/b.avi"}));
        EXPECT_TRUE(current.openFiles({"/v", kAviFilter, false}).isEmpty());  // cancelled
        EXPECT_EQ(current.chooseDirectory("Sélection du répertoire", "/start"), "/sorties");
        current.showError("Erreur E/S 5");

        EXPECT_EQ(scripted->messageTexts(), (QStringList{"Ecraser : X ?", "\" 3 \" Images Extraites"}));
        EXPECT_EQ(scripted->messages()[0].buttons, dialogs::Buttons::OkCancel);
        ASSERT_EQ(scripted->fileRequests().size(), 2u);
        EXPECT_EQ(scripted->fileRequests()[0].filter, kAviFilter);
        EXPECT_TRUE(scripted->fileRequests()[0].multiSelect);
        ASSERT_EQ(scripted->directoryRequests().size(), 1u);
        EXPECT_EQ(scripted->directoryRequests()[0].start, "/start");
        EXPECT_EQ(scripted->errors(), QStringList{"Erreur E/S 5"});
        EXPECT_EQ(scripted->shownCount(), 3);
    }
    EXPECT_EQ(&dialogs::current(), real);
}

}  // namespace
