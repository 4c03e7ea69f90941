// SPDX-License-Identifier: GPL-2.0-or-later
// The list window driven as the user drives it: building, ranking, mark counts, row gestures,
// the count box's keys and the batch extraction, against a stand-in for the main window.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "base/errors.h"
#include "framelist/frame_list_window.h"
#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "framesource/naming.h"
#include "imaging/bitmap.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"
#include "navigation/navigation.h"
#include "plotdrawing/ranking_plot.h"
#include "ranking/encode_pool.h"
#include "ranking/measure.h"
#include "rankingplot/ranking_plot_view.h"
#include "rankingplot/ranking_plot_window.h"
#include "support/find_control.h"
#include "support/fixture_video.h"
#include "support/scripted_dialogs.h"
#include "widgets/controls/radio_group.h"
#include "widgets/controls/report_list.h"
#include "widgets/controls/speed_button.h"
#include "widgets/keys.h"

using framelist::kColMark;
using framelist::kColNum;
using framelist::kColQualite;
using framelist::kColTaille;
using framelist::kColTri;

namespace {

constexpr int kQuality = 80;

// What the list window asks of the main window, recorded.
struct FakeMain {
    std::vector<bool> sequenceModes;
    std::vector<int> trackBar;
    int pauses = 0;
    std::vector<int32_t> nextNumbers;
    std::vector<int> keys;
    FrameListWindow* window = nullptr;
    Navigation* navigation = nullptr;

    void Follow(FrameListWindow& list) {
        window = &list;
        QObject::connect(&list, &FrameListWindow::listSequenceWanted, [this] { sequenceModes.push_back(false); });
        QObject::connect(&list, &FrameListWindow::rowWanted, [this](int row) {
            trackBar.push_back(row);
            navigation->SetCurrentPosition(row);
        });
        QObject::connect(&list, &FrameListWindow::slideshowPaused, [this] { ++pauses; });
        QObject::connect(&list, &FrameListWindow::nextNumberChanged, [this](int32_t n) { nextNumbers.push_back(n); });
    }

    // The main window's key map, as far as the list window sees it.
    void keyDown(int& key) {
        keys.push_back(key);
        if (key >= keys::kDigit0 && key <= keys::kDigit0 + 9) window->SetRowQuality(key - keys::kDigit0);
        if (key >= keys::kNumpad0 && key <= keys::kNumpad0 + 9) window->SetRowQuality(key - keys::kNumpad0);
        key = 0;
    }
};

fixture::TempDir& Videos() {
    static fixture::TempDir dir;
    return dir;
}

// A fixture video per length, written once for the whole run.
std::string VideoOf(int frames, int width = 64, int height = 48) {
    static std::map<std::tuple<int, int, int>, std::string> written;
    const auto key = std::make_tuple(frames, width, height);
    auto found = written.find(key);
    if (found != written.end()) return found->second;
    fixture::VideoOptions options;
    options.frames = frames;
    options.width = width;
    options.height = height;
    const std::string path = Videos().File("v" + std::to_string(frames) + "_" + std::to_string(width) + ".avi");
    EXPECT_TRUE(fixture::WriteVideo(path, options));
    written[key] = path;
    return path;
}

class ListWindowTest : public ::testing::Test {
protected:
    FrameSource frameSource;
    Navigation navigation;

    void SetUp() override {
        navigation.SetRunFlag(false);
        dialogs_->clearRecords();
        main_ = FakeMain{};
        main_.navigation = &navigation;
        navigation.Reset();
        window_ = std::make_unique<FrameListWindow>(frameSource, navigation);
        window_->setJpegOptionsSource([] {
            jpeg_options::JpegOptions options;
            options.quality = kQuality;
            return options;
        });
        ASSERT_TRUE(out_.IsValid());
        window_->setOutputNamingSource([this] {
            naming::OutputNaming naming;
            naming.folder = QString::fromStdString(out_.File(""));
            return naming;
        });
        main_.Follow(*window_);
        window_->setKeyDownHandler([this](int& key) { main_.keyDown(key); });
        window_->show();
        QCoreApplication::processEvents();
    }

    void TearDown() override {
        window_.reset();
        for (const QString& name : QDir(QString::fromStdString(out_.File(""))).entryList(QDir::Files)) {
            QFile::remove(QString::fromStdString(out_.File(name.toStdString())));
        }
        frameSource.CloseVideo();
        navigation.SetListBuilt(false);
        navigation.SetRunFlag(false);
    }

    // Opens a video and builds the table, as "Liste..." does.
    void Build(const std::string& path) {
        ASSERT_TRUE(frameSource.OpenVideo(QString::fromStdString(path)));
        navigation.SetListBuilt(false);
        window_->BuildTable();
        QCoreApplication::processEvents();
    }
    void Build(int frames) { Build(VideoOf(frames)); }

    template <typename T>
    T* child(const char* name) {
        T* found = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    ReportList* list() { return child<ReportList>("ListView1"); }
    QLineEdit* edit() { return child<QLineEdit>("EditNombre"); }
    RadioGroup* group() { return child<RadioGroup>("RadioGroup1"); }

    void select(int item) { QTest::mouseClick(group()->button(item), Qt::LeftButton); }
    void clickRow(int row, Qt::MouseButton button, Qt::KeyboardModifiers modifiers = {}) {
        list()->scrollTo(list()->model()->index(row, 0));
        const QRect cell = list()->visualRect(list()->model()->index(row, 2));
        QTest::mouseClick(list()->viewport(), button, modifiers, cell.center());
    }
    std::vector<int> markedRows() const {
        std::vector<int> rows;
        for (int i = 0; i < window_->rowCount(); ++i)
            if (window_->table().cell(i, kColMark) == "X") rows.push_back(i);
        return rows;
    }
    std::vector<int> frameOrder() const {
        std::vector<int> frames;
        for (int i = 0; i < window_->rowCount(); ++i) frames.push_back(window_->FrameAtRow(i));
        return frames;
    }

    // The last line of "Extraire Lot..."'s closing message: the folder it wrote to.
    QString extractedTo() const {
        return "\nDans : " + QDir::toNativeSeparators(QString::fromStdString(out_.File("")));
    }

    // The frames "Extraire Lot..." wrote, in the order of their numbers.
    std::vector<int> writtenFrames() {
        std::vector<int> frames;
        for (int number = 1;; ++number) {
            QFile file(QString::fromStdString(out_.File("IMAGE" + std::to_string(number) + ".BMP")));
            if (!file.open(QIODevice::ReadOnly)) return frames;
            const QByteArray bmp = file.readAll();
            dib::BitmapInfoHeader header;
            std::memcpy(&header, bmp.constData() + sizeof(dib::BitmapFileHeader), sizeof header);
            const auto* rows = reinterpret_cast<const uint8_t*>(bmp.constData()) + 54;
            frames.push_back(fixture::ReadFrameNumber(rows, header.biWidth, header.biHeight,
                                                      int(dib::RowStride(header.biWidth, 24))));
        }
    }

    testing_support::ScopedDialogs dialogs_;
    fixture::TempDir out_;
    FakeMain main_;
    std::unique_ptr<FrameListWindow> window_;
};

int JpegSizeOf(FrameSource& frameSource, int frame) {
    imaging::Bitmap bitmap;
    if (!frameSource.LoadOutputBitmap(frame, bitmap)) return -1;
    imaging::JpegImage jpeg;
    jpeg.setQuality(kQuality);
    jpeg.assign(bitmap);
    return int(jpeg.data().size());
}

// The sharpness of the frame's output picture, in hundredths.
int64_t SharpnessOf(FrameSource& frameSource, int frame) {
    if (!frameSource.PrepareFrame(frame)) return -1;
    const std::optional<ranking::Rows> rows = ranking::OutputRows(frameSource);
    return rows ? ranking::SharpnessOf(*rows) : -1;
}

}  // namespace

TEST_F(ListWindowTest, FormHasItsDesignLayout) {
    EXPECT_EQ(window_->objectName(), "FormListe");
    EXPECT_EQ(window_->windowTitle(), "FormListe");
    EXPECT_EQ(window_->size(), QSize(441, 281));
    EXPECT_EQ(child<QWidget>("Panel1")->height(), 49);
    EXPECT_EQ(child<SpeedButton>("SpeedButtonBestOf")->geometry(), QRect(8, 8, 65, 22));
    EXPECT_EQ(edit()->geometry(), QRect(80, 9, 57, 21));
    EXPECT_EQ(edit()->text(), "10");
    EXPECT_EQ(group()->geometry(), QRect(160, 3, 145, 33));
    EXPECT_EQ(group()->itemIndex(), 0);
    EXPECT_EQ(child<SpeedButton>("SpeedButton1")->geometry(), QRect(312, 8, 41, 17));
    EXPECT_EQ(child<SpeedButton>("SpeedButton2")->geometry(), QRect(312, 24, 41, 17));
    EXPECT_EQ(child<SpeedButton>("SpeedButtonExtraire")->geometry(), QRect(360, 8, 65, 22));
    EXPECT_FALSE(child<SpeedButton>("SpeedButtonBestOf")->isEnabled());
    EXPECT_FALSE(child<SpeedButton>("SpeedButtonExtraire")->isEnabled());
    EXPECT_EQ(list()->geometry(), QRect(0, 49, 441, 232));
    const int widths[] = {30, 40, 80, 130, 40, 40, 40, 60, 60};
    for (int c = 0; c < 9; ++c) EXPECT_EQ(list()->columnWidth(c), widths[c]) << c;
    EXPECT_EQ(window_->MarkCount(), 0);
    EXPECT_EQ(window_->countMode(), FrameListWindow::CountMode::Count);
    EXPECT_EQ(window_->SortColumn(), 0);
    // Owned by the main window, it stays a window of its own.
    QWidget owner;
    FrameListWindow owned(frameSource, navigation, &owner);
    EXPECT_TRUE(owned.isWindow());
}

TEST_F(ListWindowTest, EveryCaptionFitsItsControl) {
    struct Caption {
        const char* control;
        const char* text;
    };
    for (const Caption& c : {Caption{"SpeedButtonBestOf", "Best of..."}, Caption{"SpeedButton1", "Sél."},
                             Caption{"SpeedButton1", "InvSél."}, Caption{"SpeedButton2", "DéSél."},
                             Caption{"SpeedButtonExtraire", "Extraire Lot..."}}) {
        auto* button = child<SpeedButton>(c.control);
        const int text = button->fontMetrics().horizontalAdvance(QString::fromUtf8(c.text));
        EXPECT_LE(text + 4, button->width()) << c.text;
        EXPECT_LE(button->fontMetrics().height(), button->height()) << c.text;
    }
    for (int i = 0; i < group()->count(); ++i) {
        QRadioButton* radio = group()->button(i);
        EXPECT_LE(radio->sizeHint().width(), radio->width()) << radio->text().toStdString();
        EXPECT_GE(radio->geometry().left(), 0);
        EXPECT_LE(radio->geometry().right(), group()->width());
    }
    EXPECT_LE(edit()->fontMetrics().horizontalAdvance("100000") + 6, edit()->width());
    for (int c = 0; c < 9; ++c) {
        const QString caption = list()->model()->headerData(c, Qt::Horizontal).toString();
        EXPECT_LE(list()->horizontalHeader()->fontMetrics().horizontalAdvance(caption) + 4, list()->columnWidth(c))
            << caption.toStdString();
    }
}

TEST_F(ListWindowTest, BuildMakesOneRowPerFrameAndEnablesTheButtons) {
    Build(25);
    EXPECT_TRUE(navigation.ListBuilt());
    EXPECT_FALSE(navigation.RunFlag());
    ASSERT_EQ(window_->rowCount(), 25);
    EXPECT_EQ(list()->model()->rowCount(), 25);
    EXPECT_EQ(navigation.RangeEnd(), 24);
    EXPECT_EQ(window_->table().cell(7, framelist::kColNom), "00007");
    EXPECT_TRUE(child<SpeedButton>("SpeedButtonBestOf")->isEnabled());
    EXPECT_TRUE(child<SpeedButton>("SpeedButtonExtraire")->isEnabled());
    // A built table is never rebuilt until the main window clears the flag.
    window_->SortByColumn(framelist::kColNom);
    window_->ClearList();
    window_->BuildTable();
    EXPECT_EQ(window_->rowCount(), 0);
    EXPECT_EQ(window_->FrameAtRow(0), -1);
}

TEST_F(ListWindowTest, BuildWithoutVideoGivesAnEmptyBuiltTable) {
    edit()->setText("7");
    window_->BuildTable();
    EXPECT_TRUE(navigation.ListBuilt());
    EXPECT_EQ(window_->rowCount(), 0);
    EXPECT_EQ(navigation.RangeEnd(), -1);
    EXPECT_FALSE(child<SpeedButton>("SpeedButtonBestOf")->isEnabled());
    EXPECT_FALSE(child<SpeedButton>("SpeedButtonExtraire")->isEnabled());
    // A percentage of no rows is 0, not a division by zero.
    select(2);
    EXPECT_EQ(edit()->text(), "0");
    EXPECT_EQ(window_->MarkCount(), 0);
}

TEST_F(ListWindowTest, ListFrameAtNeedsABuiltTable) {
    EXPECT_EQ(window_->FrameAtRow(0), -1);
    Build(5);
    EXPECT_EQ(window_->FrameAtRow(3), 3);
    EXPECT_EQ(window_->FrameAtRow(5), -1);
    navigation.SetListBuilt(false);
    EXPECT_EQ(window_->FrameAtRow(3), -1);
}

TEST_F(ListWindowTest, HeaderClicksSortNumericallyAndByTextCaseless) {
    Build(25);
    QHeaderView* header = list()->horizontalHeader();
    auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    clickHeader(framelist::kColNom);
    clickHeader(kColNum);
    EXPECT_EQ(window_->SortColumn(), kColNum);
    std::vector<int> expected(25);
    for (int i = 0; i < 25; ++i) expected[size_t(i)] = i;
    // Numeric: "10" comes after "9".
    EXPECT_EQ(frameOrder(), expected);
}

// Each measure of the context menu ranks the next "Best of...": "Tri" shows its values (the
// JPEG length in bytes, the sharpness with a decimal comma), the best first, and the plot
// takes its words and values.
TEST_F(ListWindowTest, RankingMeasuresEveryFrameAndSortsLargestFirst) {
    Build(VideoOf(25, 160, 120));
    for (const ranking::Measure* measure : {&ranking::JpegLength(), &ranking::Sharpness()}) {
        SCOPED_TRACE(measure->name);
        FindControl<QAction>(*window_, QStringLiteral("ActionMesure_%1").arg(measure->name).toLatin1().constData())
            ->trigger();
        window_->SortByColumn(framelist::kColNom);
        QTest::mouseClick(child<SpeedButton>("SpeedButtonBestOf"), Qt::LeftButton);

        EXPECT_FALSE(navigation.RunFlag());
        ASSERT_FALSE(dialogs_->messages().empty());
        EXPECT_EQ(dialogs_->messages().back().text, "\" 25 \" Images Traitées");
        EXPECT_EQ(dialogs_->messages().back().caption, "Traitement Terminé");
        EXPECT_EQ(window_->SortColumn(), kColTri);

        std::vector<bool> seen(25, false);
        int64_t previous = INT64_MAX;
        for (int row = 0; row < 25; ++row) {
            const int frame = window_->FrameAtRow(row);
            ASSERT_GE(frame, 0);
            seen[size_t(frame)] = true;
            const QString tri = window_->table().cell(row, kColTri);
            EXPECT_EQ(tri, measure->encodes ? QString::number(JpegSizeOf(frameSource, frame))
                                            : measure->FrenchText(SharpnessOf(frameSource, frame)))
                << "frame " << frame;
            EXPECT_EQ(window_->table().cell(row, kColTaille), QString::number(160 * 120 * 4));
            EXPECT_LE(window_->table().row(row).tri, previous);
            previous = window_->table().row(row).tri;
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 25);
        // The view shows the measures too, and the plot the ranking's.
        EXPECT_EQ(list()->model()->index(0, kColTri).data().toString(), window_->table().cell(0, kColTri));
        FindControl<QAction>(*window_, "ActionGraphique")->trigger();
        window_->rankingPlot()->RefreshNow();
        const ranking_plot::PlotData& plotted = window_->rankingPlot()->data();
        EXPECT_EQ(plotted.measure, *measure);
        EXPECT_EQ(plotted.values[size_t(window_->FrameAtRow(0))], ranking::Value::Of(window_->table().row(0).tri));
    }
}

// Clears RunFlag from inside the n-th round of event processing of a running loop, as a
// command started by the user from there would.
void StopLoopAfter(Navigation& navigation, int rounds) {
    auto remaining = std::make_shared<int>(rounds);
    auto tick = std::make_shared<std::function<void()>>();
    *tick = [&navigation, remaining, tick] {
        if (--*remaining == 0) {
            navigation.SetRunFlag(false);
            *tick = nullptr;  // breaks the cycle
            return;
        }
        QMetaObject::invokeMethod(qApp, *tick, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(qApp, *tick, Qt::QueuedConnection);
}

// While it runs, "Best of..." reads "Arrêter" and a click on it stops the ranking instead of
// starting another inside it. A new ranking starts from no values: after a full run at one quality
// and a run stopped at another, only the rows of the second carry values, those of that quality,
// and the plot and the scene marks go by the same ones. The count box is the user's throughout.
TEST_F(ListWindowTest, BestOfStopsFromItsButtonAndANewRankingStartsFromNoValues) {
    // A round of the loop is one row only while the window encodes alone: with workers, rows
    // come back as they are ready (the parallel stop is checked with the ranking's options).
    window_->setWorkerThreads(1);
    Build(VideoOf(12, 160, 120));
    auto* button = child<SpeedButton>("SpeedButtonBestOf");
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(dialogs_->messages().size(), 1u);
    EXPECT_EQ(dialogs_->messages()[0].caption, "Traitement Terminé");
    EXPECT_EQ(button->text(), "Best of...");
    FindControl<QAction>(*window_, "ActionGraphique")->trigger();

    int quality = 20;
    window_->setJpegOptionsSource([&quality] {
        jpeg_options::JpegOptions options;
        options.quality = quality;
        return options;
    });
    dialogs_->clearRecords();
    edit()->setText("10");
    QStringList captions;
    auto rounds = std::make_shared<int>(0);
    auto tick = std::make_shared<std::function<void()>>();
    *tick = [&, rounds, tick] {
        captions << button->text();
        if (++*rounds == 5) {
            QTest::mouseClick(button, Qt::LeftButton);  // "Arrêter"
            *tick = nullptr;
            return;
        }
        QMetaObject::invokeMethod(qApp, *tick, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(qApp, *tick, Qt::QueuedConnection);
    QTest::mouseClick(button, Qt::LeftButton);

    EXPECT_EQ(captions.count("Arrêter"), captions.size());
    EXPECT_EQ(button->text(), "Best of...");
    EXPECT_FALSE(navigation.RunFlag());
    // One run, one message: stopped, and how far it went.
    ASSERT_EQ(dialogs_->messages().size(), 1u);
    EXPECT_EQ(dialogs_->messages()[0].caption, "Traitement Arrêté");
    EXPECT_EQ(dialogs_->messages()[0].text, "\" 5 \" Images Traitées\nClassement arrêté après 5 images sur 12");

    imaging::Bitmap bitmap;
    window_->rankingPlot()->RefreshNow();
    const std::vector<ranking::Value>& values = window_->rankingPlot()->data().values;
    ASSERT_EQ(values.size(), 12u);
    for (int row = 0; row < 12; ++row) {
        const int frame = window_->FrameAtRow(row);
        const QString tri = window_->table().cell(row, kColTri);
        if (row < 5) {
            // Measured by the second run, at its quality, first in the list.
            ASSERT_TRUE(frameSource.LoadOutputBitmap(frame, bitmap));
            imaging::JpegImage jpeg;
            jpeg.setQuality(quality);
            jpeg.assign(bitmap);
            EXPECT_EQ(tri, QString::number(jpeg.data().size())) << "frame " << frame;
            EXPECT_EQ(values[size_t(frame)], ranking::Value::Of(tri.toLongLong()));
        } else {
            EXPECT_EQ(tri, "0") << "frame " << frame;
            EXPECT_EQ(window_->table().cell(row, kColTaille), "0");
            EXPECT_EQ(values[size_t(frame)], ranking::Value{});
        }
    }
    // The scene marks take the frames of the second run only, and leave the count box alone.
    FindControl<QAction>(*window_, "ActionMeilleureParScene")->trigger();
    ASSERT_FALSE(markedRows().empty());
    for (const int row : markedRows()) EXPECT_LT(row, 5);
    EXPECT_EQ(edit()->text(), "10");
}

// The long loops as the user sees them with workers encoding: the progress line while they
// run, none after; a stop keeps exactly the rows it reports, in table order.
TEST_F(ListWindowTest, LongLoopsShowTheirProgressAndAStopKeepsTheRowsReported) {
    struct Case {
        const char* name;
        int stopAfter;  // rounds of events before a command clears RunFlag; 0: none
    };
    for (const Case& c : {Case{"to the end", 0}, Case{"stopped", 6}}) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        ASSERT_TRUE(frameSource.OpenVideo(QString::fromStdString(VideoOf(40, 320, 240))));
        QStringList seen;
        auto rounds = std::make_shared<int>(0);
        auto watch = std::make_shared<std::function<void()>>();
        *watch = [&, rounds, watch] {
            if (!*watch) return;  // a call still queued when the loop was over
            if (!window_->progressText().isEmpty()) seen << window_->progressText();
            // Rounds count from the first row reported: on a loaded machine the workers may
            // not have given any result in the first rounds.
            if (c.stopAfter > 0 && window_->SortColumn() == kColNum && !seen.isEmpty() && ++*rounds == c.stopAfter) {
                navigation.SetRunFlag(false);
            }
            if (navigation.RunFlag()) QMetaObject::invokeMethod(qApp, *watch, Qt::QueuedConnection);
        };
        navigation.SetListBuilt(false);
        QMetaObject::invokeMethod(qApp, *watch, Qt::QueuedConnection);
        window_->BuildTable();
        ASSERT_EQ(window_->rowCount(), 40);
        ASSERT_FALSE(seen.isEmpty());
        EXPECT_TRUE(seen.front().startsWith("Construction : ")) << seen.front().toStdString();
        EXPECT_TRUE(window_->progressText().isEmpty());

        seen.clear();
        QMetaObject::invokeMethod(qApp, *watch, Qt::QueuedConnection);
        window_->RankRows();
        *watch = nullptr;
        ASSERT_FALSE(seen.isEmpty());
        const QRegularExpression shape("^Classement : \\d+ / 40 images( - \\d+ images/s( - reste \\d+ s)?)?$");
        for (const QString& text : seen) EXPECT_TRUE(shape.match(text).hasMatch()) << text.toStdString();
        EXPECT_TRUE(window_->progressText().isEmpty());
        EXPECT_FALSE(child<QLabel>("LabelProgression")->isVisible());

        // Every row measured keeps its values, wherever it is, and the closing count says how
        // many there are.
        int measured = 0;
        for (int row = 0; row < 40; ++row) measured += window_->table().cell(row, kColTri) != "0" ? 1 : 0;
        if (c.stopAfter == 0) {
            EXPECT_EQ(measured, 40);
        }
        ASSERT_EQ(dialogs_->messages().size(), 1u);
        QString closing = QString("\" %1 \" Images Traitées").arg(measured);
        if (measured < 40) closing += QString("\nClassement arrêté après %1 images sur 40").arg(measured);
        EXPECT_EQ(dialogs_->messages()[0].text, closing);
        // Once ranked, the list shows its best rows with their frame numbers.
        EXPECT_EQ(list()->horizontalScrollBar()->value(), 0);
        EXPECT_TRUE(list()->viewport()->rect().contains(list()->visualRect(list()->model()->index(0, kColNum))));
    }
}

TEST_F(ListWindowTest, LoopsEndedByTheProgramClosingShowNoClosingMessage) {
    Build(VideoOf(6, 64, 48));
    navigation.SetRangeEnd(5);
    StopLoopAfter(navigation, 3);
    navigation.SetProgramEnding();  // the main window closed while the ranking ran
    window_->RankRows();
    // A ranking done in fewer rounds leaves the stop queued: it must not stop the extraction.
    for (int round = 0; round < 3; ++round) QCoreApplication::processEvents();
    select(1);
    clickRow(0, Qt::RightButton);
    QTest::mouseClick(child<SpeedButton>("SpeedButtonExtraire"), Qt::LeftButton);
    EXPECT_EQ(writtenFrames().size(), 1u);
    EXPECT_TRUE(dialogs_->messages().empty());
}

TEST_F(ListWindowTest, StoppedBuildKeepsTheRowsItMade) {
    ASSERT_TRUE(frameSource.OpenVideo(QString::fromStdString(VideoOf(25))));
    StopLoopAfter(navigation, 9);
    window_->BuildTable();
    EXPECT_TRUE(navigation.ListBuilt());
    EXPECT_EQ(window_->rowCount(), 9);
    EXPECT_EQ(list()->model()->rowCount(), 9);
    EXPECT_EQ(navigation.RangeEnd(), 8);
    EXPECT_EQ(window_->FrameAtRow(8), 8);
    EXPECT_EQ(window_->FrameAtRow(9), -1);
}

// A frame that cannot be decoded is said so in its row, ranked last, and counted apart.
TEST_F(ListWindowTest, RankingSaysWhichFramesCannotBeDecoded) {
    fixture::VideoOptions options;
    options.frames = 20;
    const std::string valid = Videos().File("whole.avi");
    const std::string damaged = Videos().File("damaged.avi");
    ASSERT_TRUE(fixture::WriteVideo(valid, options));
    ASSERT_TRUE(fixture::WriteBadFile(damaged, fixture::BadFile::Truncated, valid));
    Build(damaged);
    ASSERT_EQ(window_->rowCount(), 20);

    std::vector<int> expected(20);
    for (int frame = 0; frame < 20; ++frame) expected[size_t(frame)] = JpegSizeOf(frameSource, frame);
    ASSERT_GT(std::count(expected.begin(), expected.end(), -1), 0) << "the damage must hit some frames";
    ASSERT_GT(std::count_if(expected.begin(), expected.end(), [](int size) { return size > 0; }), 0);

    window_->RankRows();
    const auto failures = int(std::count(expected.begin(), expected.end(), -1));
    for (int row = 0; row < 20; ++row) {
        const int frame = window_->FrameAtRow(row);
        const bool failed = expected[size_t(frame)] < 0;
        SCOPED_TRACE(frame);
        EXPECT_EQ(failed, row >= 20 - failures) << "unreadable frames rank last";
        EXPECT_EQ(window_->table().cell(row, kColTri), failed ? "Illisible" : QString::number(expected[size_t(frame)]));
        EXPECT_EQ(window_->table().cell(row, kColTaille), failed ? "Illisible" : QString::number(160 * 120 * 4));
    }
    ASSERT_EQ(dialogs_->messages().size(), 1u);
    EXPECT_EQ(dialogs_->messages()[0].text,
              QString("\" %1 \" Images Traitées\n\" %2 \" Images Illisibles").arg(20 - failures).arg(failures));
}

TEST_F(ListWindowTest, RankingStopsWhenTheJpegOptionsAreRefused) {
    window_.reset();
    window_ = std::make_unique<FrameListWindow>(frameSource, navigation);
    window_->setJpegOptionsSource([]() -> jpeg_options::JpegOptions {
        throw errors::Error(QStringLiteral("'x' n'est pas une valeur entière correcte"));
    });
    main_.Follow(*window_);
    window_->show();
    Build(12);
    window_->SortByColumn(framelist::kColNom);
    QTest::mouseClick(child<SpeedButton>("SpeedButtonBestOf"), Qt::LeftButton);
    EXPECT_EQ(dialogs_->errors(), QStringList{"'x' n'est pas une valeur entière correcte"});
    EXPECT_TRUE(dialogs_->messages().empty());
    EXPECT_EQ(window_->SortColumn(), kColNum);
    EXPECT_EQ(window_->table().cell(11, kColTri), "0");
    EXPECT_EQ(window_->FrameAtRow(10), 10);
}

TEST_F(ListWindowTest, CountConversionsBetweenAbsToutAndPercent) {
    struct Step {
        const char* text;  // typed into the count box first, when set
        int item;          // then this item is clicked
    };
    struct Case {
        const char* name;
        int rows;
        std::vector<Step> steps;
        int markCount;
        const char* shown;
    };
    const Case cases[] = {
        // The build itself recomputes the count: 10 under "Abs" is limited to the rows.
        {"abs limited", 4, {}, 4, "4"},
        {"abs to percent", 3, {{"1", 0}, {nullptr, 2}}, 0, "33"},
        {"percent to abs", 200, {{nullptr, 2}, {"10", 0}}, 20, "20"},
        {"tout", 10, {{"3", 1}}, 10, "10"},
        {"tout 200", 200, {{"3", 1}}, 200, "200"},
        {"percent to tout to abs", 200, {{nullptr, 2}, {"10", 1}, {nullptr, 0}}, 200, "200"},
        {"count to percent", 200, {{"50", 2}}, 50, "25"},
        {"not a number", 10, {{"abc", 2}}, 0, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Build(c.rows);
        for (const Step& step : c.steps) {
            if (step.text) edit()->setText(QString::fromLatin1(step.text));
            select(step.item);
        }
        EXPECT_EQ(window_->MarkCount(), c.markCount);
        EXPECT_EQ(edit()->text(), c.shown);
        EXPECT_EQ(int(window_->countMode()), group()->itemIndex());
    }
}

TEST_F(ListWindowTest, PercentBeyondHundredMarksEveryRow) {
    Build(10);
    select(2);
    edit()->setText("150");
    QTest::mouseClick(child<SpeedButton>("SpeedButton1"), Qt::LeftButton);
    EXPECT_EQ(window_->MarkCount(), 15);
    EXPECT_EQ(markedRows().size(), 10u);
    EXPECT_FALSE(navigation.RunFlag());
}

TEST_F(ListWindowTest, RightClickTogglesAMarkAndLeftClickShowsTheRow) {
    Build(10);
    navigation.SetRangeEnd(9);
    clickRow(3, Qt::RightButton);
    EXPECT_EQ(markedRows(), std::vector<int>{3});
    clickRow(3, Qt::RightButton);
    EXPECT_TRUE(markedRows().empty());
    // Two quick right clicks: the second press arrives as a double click and toggles all the same.
    clickRow(3, Qt::RightButton);
    const QPoint at = list()->visualRect(list()->model()->index(3, 2)).center();
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, at, list()->viewport()->mapToGlobal(at), Qt::RightButton,
                            Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(list()->viewport(), &doubleClick);
    QTest::mouseRelease(list()->viewport(), Qt::RightButton, {}, at);
    EXPECT_TRUE(markedRows().empty());

    window_->SortByColumn(kColTri);  // all "0": the order stays
    navigation.SetRunFlag(true);
    clickRow(6, Qt::LeftButton);
    EXPECT_FALSE(navigation.RunFlag());
    EXPECT_EQ(main_.sequenceModes, std::vector<bool>{false});
    EXPECT_EQ(main_.pauses, 1);
    EXPECT_EQ(main_.trackBar, std::vector<int>{6});
    EXPECT_TRUE(markedRows().empty());
}

TEST_F(ListWindowTest, ShiftRightClickMarksTheRowsUpToIt) {
    for (int before : {0, 2}) {
        SCOPED_TRACE(before);
        TearDown();
        SetUp();
        Build(10);
        navigation.SetRangeEnd(9);
        select(before);
        clickRow(7, Qt::RightButton);
        clickRow(9, Qt::RightButton);
        clickRow(4, Qt::RightButton, Qt::ShiftModifier);
        EXPECT_EQ(edit()->text(), "5");
        EXPECT_EQ(group()->itemIndex(), 0);
        EXPECT_EQ(window_->MarkCount(), 5);
        EXPECT_EQ(markedRows(), (std::vector<int>{0, 1, 2, 3, 4}));
        EXPECT_FALSE(navigation.RunFlag());
    }
}

TEST_F(ListWindowTest, SelButtonsMarkInvertAndClear) {
    Build(10);
    navigation.SetRangeEnd(9);
    auto* sel = child<SpeedButton>("SpeedButton1");
    auto* desel = child<SpeedButton>("SpeedButton2");

    edit()->setText("3");
    QTest::mouseClick(sel, Qt::LeftButton);
    EXPECT_EQ(markedRows(), (std::vector<int>{0, 1, 2}));

    // Shift+"Sél." inverts every mark.
    QTest::mouseClick(desel, Qt::LeftButton);
    clickRow(1, Qt::RightButton);
    clickRow(3, Qt::RightButton);
    QTest::mouseClick(sel, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(markedRows(), (std::vector<int>{0, 2, 4, 5, 6, 7, 8, 9}));

    // "DéSél." unmarks everything, with or without Shift.
    QTest::mouseClick(desel, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_TRUE(markedRows().empty());
    QTest::mouseClick(sel, Qt::LeftButton);
    QTest::mouseClick(desel, Qt::LeftButton);
    EXPECT_TRUE(markedRows().empty());

    // Another button on "DéSél." only presses it: it marks like "Sél.".
    QTest::mouseClick(desel, Qt::RightButton);
    EXPECT_EQ(markedRows(), (std::vector<int>{0, 1, 2}));

    // Marking stays within the main window's range.
    navigation.SetRange(1, navigation.RangeEnd());
    navigation.SetRangeEnd(4);
    QTest::mouseClick(sel, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(markedRows(), (std::vector<int>{0, 3, 4}));
}

TEST_F(ListWindowTest, SelCaptionShowsInvSelWhileShiftIsHeld) {
    auto* sel = child<SpeedButton>("SpeedButton1");
    auto move = [&](Qt::KeyboardModifiers modifiers) {
        QMouseEvent event(QEvent::MouseMove, QPointF(5, 5), sel->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                          modifiers);
        QCoreApplication::sendEvent(sel, &event);
    };
    move(Qt::ShiftModifier);
    EXPECT_EQ(sel->text(), "InvSél.");
    move(Qt::NoModifier);
    EXPECT_EQ(sel->text(), "Sél.");
    move(Qt::ShiftModifier);
    QTest::mouseRelease(sel, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
    EXPECT_EQ(sel->text(), "Sél.");
}

TEST_F(ListWindowTest, KeysGoToTheKeyMapAndDigitsStillReachTheCountBox) {
    Build(25);
    navigation.SetCurrentPosition(12);
    QLineEdit* box = edit();
    box->setFocus();
    box->setCursorPosition(box->text().size());

    QTest::keyClick(box, Qt::Key_7);
    EXPECT_EQ(box->text(), "107");
    EXPECT_EQ(window_->table().cell(12, kColQualite), "7");
    EXPECT_EQ(main_.keys.back(), 0x37);

    QTest::keyClick(box, 'a');
    QTest::keyClick(box, Qt::Key_Minus);
    EXPECT_EQ(box->text(), "107");
    EXPECT_EQ(main_.keys.back(), keys::VirtualKeyCode(Qt::Key_Minus, {}));

    // Backspace still deletes; arrows belong to the key map and do not move the cursor.
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(box->text(), "10");
    QTest::keyClick(box, Qt::Key_Left);
    EXPECT_EQ(main_.keys.back(), keys::kLeft);
    QTest::keyClick(box, Qt::Key_5);
    EXPECT_EQ(box->text(), "105");
    EXPECT_EQ(window_->table().cell(12, kColQualite), "5");

    // The list itself gets no key-down: its current row stays.
    list()->setCurrentIndex(list()->model()->index(2, 0));
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(main_.keys.back(), keys::kDown);
    EXPECT_EQ(list()->currentIndex().row(), 2);
    QTest::keyClick(list(), Qt::Key_3);
    EXPECT_EQ(window_->table().cell(12, kColQualite), "3");
    EXPECT_EQ(list()->model()->index(12, kColQualite).data().toString(), "3");
}

TEST_F(ListWindowTest, RowQualityNeedsARowAtTheCurrentPosition) {
    window_->SetRowQuality(4);
    Build(5);
    navigation.SetCurrentPosition(5);
    window_->SetRowQuality(4);
    navigation.SetCurrentPosition(4);
    window_->SetRowQuality(9);
    for (int row = 0; row < 4; ++row) EXPECT_EQ(window_->table().cell(row, kColQualite), "");
    EXPECT_EQ(window_->table().cell(4, kColQualite), "9");
}

// "Extraire Lot...": the marked rows within the count ("Tout": all of them), decoded in the
// file's order but numbered in the table's, each shown as it is written. A name the user keeps
// is passed over and not counted, the next row taking it; an error ends the batch without the
// closing message.
TEST_F(ListWindowTest, BatchExtractsTheMarkedRowsWithinTheCountInTableOrder) {
    struct Case {
        const char* name;
        int item;  // "Abs" with a count of 3, or "Tout"
        bool ranked;
        std::vector<int> marked;   // rows, in the order clicked
        std::vector<int> written;  // rows, in the files' order
        std::vector<int32_t> nextNumbers;
        std::vector<int> shown;   // the rows shown as they are reached; empty: not looked at
        bool nameKept = false;    // IMAGE2.BMP is there, and the user keeps it
        bool folderGoes = false;  // once the first file is written
    };
    const Case cases[] = {
        {"within the count", 0, false, {0, 2, 7}, {0, 2}, {2, 3}, {0, 2}},
        {"Tout", 1, false, {0, 2, 7}, {0, 2, 7}, {2, 3, 4}, {0, 2, 7}},
        {"in table order", 1, true, {5, 1, 3, 8}, {1, 3, 5, 8}, {2, 3, 4, 5}, {}},
        {"a name kept", 1, false, {0, 2, 7}, {0, 7}, {2, 3}, {}, true},
        {"the folder gone", 1, false, {0, 2, 7}, {0}, {2}, {}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Build(10);
        navigation.SetRangeEnd(9);
        if (c.ranked) window_->RankRows();
        edit()->setText("3");
        select(c.item);
        for (int row : c.marked) clickRow(row, Qt::RightButton);
        std::vector<int> frames;
        for (int row : c.written) frames.push_back(window_->FrameAtRow(row));
        if (c.ranked) {
            ASSERT_FALSE(std::is_sorted(frames.begin(), frames.end()));
        }
        if (c.nameKept) {
            QFile taken(QString::fromStdString(out_.File("IMAGE2.BMP")));
            ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
            taken.write("kept");
            dialogs_->queueAnswer(dialogs::Answer::Cancel);
        }
        if (c.folderGoes) {
            QObject::connect(window_.get(), &FrameListWindow::nextNumberChanged,
                             [this] { QDir(QString::fromStdString(out_.File(""))).removeRecursively(); });
        }
        dialogs_->clearRecords();
        main_.trackBar.clear();
        main_.sequenceModes.clear();
        QTest::mouseClick(child<SpeedButton>("SpeedButtonExtraire"), Qt::LeftButton);
        EXPECT_EQ(main_.sequenceModes, std::vector<bool>{false});
        if (!c.shown.empty()) {
            EXPECT_EQ(main_.trackBar, c.shown);
        }
        EXPECT_EQ(main_.nextNumbers, c.nextNumbers);
        EXPECT_FALSE(navigation.RunFlag());
        if (c.folderGoes) {
            EXPECT_TRUE(dialogs_->messages().empty());
            EXPECT_EQ(dialogs_->errors(), QStringList{"Erreur E/S 103"});
            continue;
        }
        EXPECT_EQ(writtenFrames(), frames);
        ASSERT_FALSE(dialogs_->messages().empty());
        EXPECT_EQ(dialogs_->messages().size(), c.nameKept ? 3u : 1u);
        EXPECT_EQ(dialogs_->messages().back().text,
                  QStringLiteral("\" %1 \" Images Extraites").arg(frames.size()) + extractedTo());
        EXPECT_EQ(dialogs_->messages().back().caption, "Extraction Terminée");
    }
}

TEST_F(ListWindowTest, BatchDoesNothingWithoutABuiltTable) {
    window_->ExtractMarkedRows();
    EXPECT_TRUE(main_.sequenceModes.empty());
    EXPECT_TRUE(dialogs_->messages().empty());
}

// Three scenes joined by hard cuts: "Best of..." finds them, the scene command marks one row in
// each and counts far enough for "Extraire Lot..." to write them, the plot shows the marks, and
// a click there shows its frame as a row click does; another video forgets it all.
TEST_F(ListWindowTest, BestOfEachSceneMarksOneRowPerSceneAndAPlotClickShowsItsFrame) {
    constexpr int kSceneLength = 50;
    fixture::VideoOptions options;
    options.frames = 3 * kSceneLength;
    options.width = 64;
    options.height = 48;
    options.shotLength = kSceneLength;
    const std::string path = Videos().File("scenes.avi");
    ASSERT_TRUE(fixture::WriteVideo(path, options));
    Build(path);
    window_->RankRows();

    // The count box stays as the user left it (3 here); the marks beyond it are said to need "Tout".
    edit()->setText("3");
    dialogs_->clearRecords();
    FindControl<QAction>(*window_, "ActionMeilleureParScene")->trigger();
    std::set<int> scenes;
    for (const int row : markedRows()) scenes.insert(window_->FrameAtRow(row) / kSceneLength);
    EXPECT_EQ(markedRows().size(), 3u);
    EXPECT_EQ(scenes, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(edit()->text(), "3");
    EXPECT_EQ(group()->itemIndex(), 0);
    ASSERT_EQ(dialogs_->messages().size(), markedRows().back() >= 3 ? 1u : 0u);
    select(1);
    dialogs_->clearRecords();
    window_->ExtractMarkedRows();
    ASSERT_EQ(dialogs_->messages().size(), 1u);
    EXPECT_EQ(dialogs_->messages()[0].text, "\" 3 \" Images Extraites" + extractedTo());

    FindControl<QAction>(*window_, "ActionGraphique")->trigger();
    RankingPlotWindow* plot = window_->rankingPlot();
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->data().scenes.Count(), 3);
    EXPECT_EQ(plot->data().marked.size(), 3u);
    auto* view = FindControl<RankingPlotView>(*plot, "ImageGraphique");
    const int32_t wanted = 2 * kSceneLength + 7;
    const ranking_plot::Layout layout = ranking_plot::LayoutOf(view->size(), options.frames);
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(layout.CentreOfFrame(wanted), layout.area.center().y()));
    ASSERT_FALSE(main_.sequenceModes.empty());
    EXPECT_EQ(window_->FrameAtRow(navigation.CurrentPosition()), wanted);

    // Another video, opened as the main window opens one, forgets the ranking: the plot has no
    // values, scenes or marks, and the scene command asks for a ranking first.
    window_->ClearList();
    Build(VideoOf(12, 160, 120));
    plot->RefreshNow();
    EXPECT_EQ(plot->data().frameCount, 12);
    EXPECT_TRUE(plot->data().values.empty());
    EXPECT_EQ(plot->data().scenes.Count(), 1);
    EXPECT_TRUE(plot->data().marked.empty());
    dialogs_->clearRecords();
    FindControl<QAction>(*window_, "ActionMeilleureParScene")->trigger();
    EXPECT_TRUE(markedRows().empty());
    ASSERT_EQ(dialogs_->messages().size(), 1u);
    EXPECT_EQ(dialogs_->messages()[0].text, "Classez d'abord les images avec « Best of... ».");
}
