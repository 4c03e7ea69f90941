// SPDX-License-Identifier: GPL-2.0-or-later
// The real dialogs' French texts and filters, and the switch to a scripted double.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>
#include <functional>
#include <vector>

#include "base/dialogs.h"
#include "support/fixture_video.h"
#include "support/scripted_dialogs.h"
#include "widgets/file_filter.h"
#include "widgets/qt_dialogs.h"

namespace {

const QString kAviFilter = "Animations AVI (*.AVI)|*.AVI|Tous Fichiers (*.*)|*.*";

// The patterns of a Qt name filter: the words inside its last parentheses.
QStringList PatternsOf(const QString& qtFilter) {
    const qsizetype open = qtFilter.lastIndexOf('(');
    return qtFilter.mid(open + 1, qtFilter.size() - open - 2).split(' ');
}

// Qt in French for one test, as the program sets it up at start; the other tests of this program
// see Qt's untranslated texts in the system's locale.
class FrenchQt {
public:
    FrenchQt() { translated_ = dialogs::installFrench(); }
    ~FrenchQt() {
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QLocale::setDefault(QLocale::system());
    }
    bool translated() const { return translated_; }

private:
    bool translated_ = false;
};

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
    const FrenchQt french;
    ASSERT_TRUE(french.translated()) << "qtbase_fr is not installed";
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
}

// The cells of a name's row in a file dialog's list; empty until the dialog has read it.
QStringList RowOf(const QFileDialog& dialog, const QString& name) {
    const auto* view = dialog.findChild<QTreeView*>("treeView");
    if (view == nullptr) return {};
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(view->rootIndex()); ++column) {
            cells << model->index(row, column, view->rootIndex()).data().toString();
        }
        if (cells.first() == name) return cells;
    }
    return {};
}

// Waits until the dialog lists `name` with its type, then for its columns to be fitted.
bool WaitForListed(const QFileDialog& dialog, const QString& name) {
    if (!QTest::qWaitFor([&] { return !RowOf(dialog, name).value(2).isEmpty(); }, 5000)) return false;
    QTest::qWait(100);
    return true;
}

// No heading, place, value or filter description of the dialog is cut.
void ExpectNothingCut(const QFileDialog& dialog) {
    const auto* view = dialog.findChild<QTreeView*>("treeView");
    ASSERT_NE(view, nullptr);
    const QHeaderView* header = view->header();
    int width = 0;
    for (int column = 0; column < header->count(); ++column) {
        const int values = static_cast<const QAbstractItemView*>(view)->sizeHintForColumn(column);
        EXPECT_GE(header->sectionSize(column), std::max(values, header->sectionSizeHint(column))) << column;
        width += header->sectionSize(column);
    }
    EXPECT_LE(width, view->viewport()->width()) << "the columns need a scroll bar";
    const auto* places = dialog.findChild<QAbstractItemView*>("sidebar");
    ASSERT_NE(places, nullptr);
    EXPECT_GE(places->viewport()->width(), places->sizeHintForColumn(0));
    const auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    EXPECT_GT(types->width(), types->fontMetrics().horizontalAdvance(types->currentText()));
}

// Whatever the system's locale, the file dialogs list folders and files with French types,
// sizes and dates, and at their first size nothing in them is cut.
TEST(FileDialogs, ListInFrenchWithNothingCut) {
    const FrenchQt french;
    ASSERT_TRUE(french.translated()) << "qtbase_fr is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("Vacances"));
    fixture::VideoOptions options;
    options.frames = 3;
    ASSERT_TRUE(fixture::WriteVideo(dir.filePath("clip.avi").toStdString(), options));
    QFile clipFile(dir.filePath("clip.avi"));
    ASSERT_TRUE(clipFile.open(QIODevice::ReadOnly));
    ASSERT_TRUE(clipFile.setFileTime(QDateTime(QDate(2024, 12, 8), QTime(14, 35)), QFileDevice::FileModificationTime));
    const QRegularExpression date("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d$");

    QFileDialog open;
    const QString videos =
        "Vidéos (*.avi *.mp4 *.m4v *.mov *.mkv *.webm *.ts *.m2ts *.mts *.mpg *.mpeg *.vob)|"
        "*.avi;*.mp4;*.m4v;*.mov;*.mkv;*.webm;*.ts;*.m2ts;*.mts;*.mpg;*.mpeg;*.vob|" +
        kAviFilter;
    dialogs::configureOpenDialog(open, {dir.path(), videos, false});
    open.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&open));
    ASSERT_TRUE(WaitForListed(open, "clip.avi"));
    const QStringList folder = RowOf(open, "Vacances");
    EXPECT_EQ(folder.mid(1, 2), (QStringList{"", "Dossier"}));
    EXPECT_TRUE(date.match(folder[3]).hasMatch()) << folder[3].toStdString();
    const QStringList clip = RowOf(open, "clip.avi");
    EXPECT_TRUE(QRegularExpression("^\\d+(,\\d+)? Kio$").match(clip[1]).hasMatch()) << clip[1].toStdString();
    EXPECT_EQ(clip.mid(2), (QStringList{"vidéo AVI", "08/12/2024 14:35"}));
    EXPECT_EQ(open.findChild<QTreeView*>("treeView")->model()->headerData(3, Qt::Horizontal).toString(),
              "Dernière modification");
    ExpectNothingCut(open);
    open.close();

    // The directory chooser lists the folders alone, beside a column of buttons.
    QStringList chooserFolder;
    WhenModal([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(chooser, nullptr);
        EXPECT_TRUE(WaitForListed(*chooser, "Vacances"));
        chooserFolder = RowOf(*chooser, "Vacances");
        ExpectNothingCut(*chooser);
        chooser->reject();
    });
    dialogs::QtDialogs().chooseDirectory("Sélection du répertoire", dir.path());
    EXPECT_EQ(chooserFolder.value(2), "Dossier");
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
