// SPDX-License-Identifier: GPL-2.0-or-later
#include "framelist/frame_list_window.h"

#include <QAction>
#include <QActionGroup>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <climits>
#include <cstring>

#include "base/dialogs.h"
#include "base/errors.h"
#include "framelist/extraction_order.h"
#include "framelist/frame_thumbnails.h"
#include "framelist/loop_progress.h"
#include "framesource/crop_check.h"
#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "framesource/output_types.h"
#include "imaging/bitmap.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"
#include "navigation/navigation.h"
#include "ranking/frame_choice.h"
#include "ranking/ranking.h"
#include "rankingplot/ranking_plot_window.h"
#include "ui_frame_list_window.h"
#include "widgets/keys.h"
#include "widgets/slot_guard.h"
#include "widgets/window_memory.h"

using framelist::FrameRow;
using framelist::FrameTable;

namespace {

// Views are told about changed cells at most this often during a long loop, so a loop that
// processes events after each row does not repaint the list once per row.
constexpr qint64 kFlushIntervalMs = 40;

// The spinner's limits are 16-bit; a longer table would wrap them.
constexpr int kSpinnerLimit = SHRT_MAX;

int ClampToInt(int64_t value) { return int(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

// Clears RunFlag when a loop is left by an exception, so an outer loop does not run on.
struct RunFlagOnExit {
    ~RunFlagOnExit() { navigation.SetRunFlag(false); }
    Navigation& navigation;
};

// The "Taille" and "Tri" of a frame that could not be decoded.
const QString kUnreadableFrame = QStringLiteral("Illisible");

QString Closing(int count, const char* phrase) {
    return QStringLiteral("\" %1 \" ").arg(count) + QString::fromUtf8(phrase);
}

// Frames that could not be decoded, named apart under a closing message; nothing when none.
QString UnreadableLine(int count) { return count > 0 ? "\n" + Closing(count, "Images Illisibles") : QString(); }

}  // namespace

// The "Best of..." button stops a ranking while it runs, however the ranking is left.
struct FrameListWindow::RankingOnExit {
    explicit RankingOnExit(FrameListWindow& window) : window_(window) { window_.SetRanking(true); }
    ~RankingOnExit() { window_.SetRanking(false); }
    FrameListWindow& window_;
};

// Hides the progress line however a loop is left.
struct FrameListWindow::ProgressOnExit {
    explicit ProgressOnExit(FrameListWindow& window) : window_(window) {}
    ~ProgressOnExit() { window_.hideProgress(); }
    FrameListWindow& window_;
};

FrameListWindow::FrameListWindow(FrameSource& source, Navigation& navigation, QWidget* parent)
    : QWidget(parent, Qt::Window),
      source_(source),
      navigation_(navigation),
      ui_(std::make_unique<Ui::FormListe>()),
      thumbnails_(std::make_unique<framelist::FrameThumbnails>(source)) {
    ui_->setupUi(this);
    move(272, 234);  // the form keeps only its size; the design places the window here
    table_ = new FrameTable(this);
    ui_->ListView1->setModel(table_);
    // The last ranking reads its marks from the table, whose measures it clears as it starts.
    lastRanking_ = new ranking::LastRanking(this);
    lastRanking_->setMarksSource([this] { return table_->markedFrames(); });
    connect(lastRanking_, &ranking::LastRanking::started, table_, &FrameTable::clearMeasures);
    ui_->UpDown1->setBuddy(ui_->EditNombre);
    SetUpControls();
    SetUpMenu();
    connectHandlers();
    FollowPosition();
    sinceFlush_.start();
}

FrameListWindow::~FrameListWindow() = default;

void FrameListWindow::SetUpControls() {
    navigation_.SetListBuilt(false);
    QHeaderView* header = ui_->ListView1->horizontalHeader();
    const auto& widths = FrameTable::Widths();
    ui_->ListView1->setColumnWidths(QList<int>(widths.begin(), widths.end()));
    ui_->SpeedButtonBestOf->setEnabled(false);
    ui_->SpeedButtonExtraire->setEnabled(false);
    countMode_ = CountMode(ui_->RadioGroup1->itemIndex());
    markCount_ = 0;

    // Key preview: the window sees every key of its controls first.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

    // "Sél." keeps its minimum width; the header has only one minimum for all columns.
    connect(header, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (section == framelist::kColMark && size < FrameTable::Widths()[0]) {
            ui_->ListView1->setColumnWidth(section, FrameTable::Widths()[0]);
        }
    });
}

// The window's own commands live in a context menu of the panel's free space, of the column
// headers and of the list below its last row: the designed controls stay as they are, and a
// right click on a row still marks it.
void FrameListWindow::SetUpMenu() {
    using errors::Guarded;
    menu_ = new QMenu(this);
    QAction* plot = menu_->addAction(QStringLiteral("Graphique du tri..."));
    plot->setObjectName(QStringLiteral("ActionGraphique"));
    QAction* best = menu_->addAction(QStringLiteral("Marquer la meilleure image de chaque scène"));
    best->setObjectName(QStringLiteral("ActionMeilleureParScene"));
    // What "Best of..." measures: the next ranking's, the plot's and "Tri"'s values.
    menu_->addSeparator();
    auto* measures = new QActionGroup(menu_);
    for (const ranking::Measure* each : ranking::AllMeasures()) {
        const ranking::Measure& measure = *each;
        QAction* choice = menu_->addAction(QStringLiteral("Mesure : %1").arg(QString::fromUtf8(measure.frenchName)));
        choice->setObjectName(QStringLiteral("ActionMesure_%1").arg(QString::fromLatin1(measure.name)));
        choice->setCheckable(true);
        choice->setChecked(measure == measure_);
        measures->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, &measure](bool) { measure_ = measure; });
        // A ranking keeps the measure it started with.
        connect(&navigation_, &Navigation::runningChanged, choice,
                [choice](bool running) { choice->setEnabled(!running); });
    }
    connect(plot, &QAction::triggered, this, Guarded<bool>([this](bool) { ShowRankingPlot(); }));
    connect(best, &QAction::triggered, this, Guarded<bool>([this](bool) { MarkBestOfEachScene(); }));
    // Marking while a loop runs would mark from a ranking not yet done.
    connect(&navigation_, &Navigation::runningChanged, best, [best](bool running) { best->setEnabled(!running); });

    // `origin`: where the position of the request is counted from (a list's viewport).
    const auto offerMenu = [this](QWidget* widget, QWidget* origin, std::function<bool(QPoint)> free) {
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(widget, &QWidget::customContextMenuRequested, this, [this, origin, free](QPoint at) {
            if (free(at)) menu_->popup(origin->mapToGlobal(at));
        });
    };
    offerMenu(ui_->Panel1, ui_->Panel1, [this](QPoint at) { return ui_->Panel1->childAt(at) == nullptr; });
    ui_->Panel1->setToolTip(
        QStringLiteral("Clic droit sur le fond de ce panneau ou sur les titres des colonnes : graphique du tri, "
                       "meilleure image de chaque scène, mesure du tri"));
    QHeaderView* header = ui_->ListView1->horizontalHeader();
    offerMenu(header, header, [](QPoint) { return true; });
    offerMenu(ui_->ListView1, ui_->ListView1->viewport(),
              [this](QPoint at) { return ui_->ListView1->rowAtPoint(at) < 0; });

    // The plot follows the last ranking, and through it the marks of the rows; the frame shown here.
    connect(table_, &FrameTable::modelReset, lastRanking_, &ranking::LastRanking::MarksChanged);
    connect(table_, &FrameTable::dataChanged, lastRanking_, &ranking::LastRanking::MarksChanged);
    connect(&navigation_, &Navigation::positionChanged, this, [this] { FollowPosition(); });
    connect(&navigation_, &Navigation::sequenceChanged, this, [this] { FollowPosition(); });
}

void FrameListWindow::connectHandlers() {
    using errors::Guarded;
    connect(ui_->SpeedButtonBestOf, &QToolButton::clicked, this, Guarded<bool>([this](bool) { RankRows(); }));
    connect(ui_->SpeedButtonExtraire, &QToolButton::clicked, this,
            Guarded<bool>([this](bool) { ExtractMarkedRows(); }));
    connect(ui_->RadioGroup1, &RadioGroup::clicked, this, Guarded<int>([this](int) { UpdateMarkCount(); }));
    connect(ui_->ListView1, &ReportList::columnClicked, this,
            Guarded<int>([this](int column) { SortByColumn(column); }));
    connect(ui_->ListView1, &ReportList::mouseDown, this,
            Guarded<Qt::MouseButton, Qt::KeyboardModifiers, int, int>(
                [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y) {
                    RowPressed(button, modifiers, x, y);
                }));
    const auto pressed = Guarded<Qt::MouseButton, Qt::KeyboardModifiers, int, int>(
        [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int, int) {
            MarkButtonPressed(button, modifiers);
        });
    connect(ui_->SpeedButton1, &SpeedButton::mouseDown, this, pressed);
    connect(ui_->SpeedButton2, &SpeedButton::mouseDown, this, pressed);
    connect(ui_->SpeedButton1, &SpeedButton::mouseMove, this,
            Guarded<Qt::MouseButtons, Qt::KeyboardModifiers, int, int>(
                [this](Qt::MouseButtons, Qt::KeyboardModifiers modifiers, int, int) { MarkButtonHovered(modifiers); }));
    connect(ui_->SpeedButton1, &SpeedButton::mouseUp, this,
            Guarded<Qt::MouseButton, Qt::KeyboardModifiers, int, int>(
                [this](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { MarkButtonReleased(); }));
    connect(ui_->SpeedButton2, &QToolButton::clicked, this, Guarded<bool>([this](bool) { ClearMarksClicked(); }));
}

void FrameListWindow::setKeyDownHandler(std::function<void(int& virtualKey)> handler) {
    keyDownHandler_ = std::move(handler);
}

// ---- rows and their values ----

int FrameListWindow::FrameAtRow(int row) const {
    // A row that the table does not hold (a build stopped early, a cleared list) stands for none.
    if (!navigation_.ListBuilt() || row < 0 || row >= table_->size()) return -1;
    return table_->row(row).num;
}

int FrameListWindow::RowOfFrame(int32_t frame) const { return navigation_.ListBuilt() ? rowOfFrame(frame, frame) : -1; }

void FrameListWindow::SetRowQuality(int digit) {
    if (digit < 0 || digit > 9) return;
    const int row = navigation_.CurrentPosition();
    if (row < 0 || row >= table_->size()) return;
    table_->setCell(row, framelist::kColQualite, QString::number(digit));
    table_->flushChanges();
}

void FrameListWindow::ClearList() {
    ForgetRanking();
    table_->clear();
}

int FrameListWindow::CompareRows(const FrameRow& a, const FrameRow& b) const {
    return framelist::CompareRows(a, b, sortColumn_);
}

void FrameListWindow::SortByColumn(int column) {
    sortColumn_ = column;
    table_->flushChanges();
    table_->sortBy(sortColumn_);
}

// ---- long loops ----

void FrameListWindow::finishLoop() {
    navigation_.SetRunFlag(false);
    table_->flushChanges();
}

void FrameListWindow::BuildTable() {
    if (navigation_.ListBuilt()) return;
    RunFlagOnExit clearFlag{navigation_};
    navigation_.SetRunFlag(true);
    ForgetRanking();
    table_->clear();
    ui_->ListView1->setUpdatesEnabled(false);
    table_->reserve(std::max(source_.FrameCount(), 0));
    framelist::LoopProgress progress(QStringLiteral("Construction"), source_.FrameCount());
    // The count is read again each round: a command run from the loop may close the video.
    for (int32_t n = 0; navigation_.RunFlag() && n < source_.FrameCount(); ++n) {
        table_->appendRow(framelist::MakeFrameRow(n));
        showProgress(progress, n + 1);
        QCoreApplication::processEvents();
    }
    navigation_.SetRunFlag(false);
    hideProgress();
    // The views learn of the rows once, when the last one is in.
    table_->publishRows();
    navigation_.SetRangeEnd(table_->size() - 1);
    ui_->ListView1->setUpdatesEnabled(true);
    const bool hasRows = table_->size() > 0;
    ui_->SpeedButtonBestOf->setEnabled(hasRows);
    ui_->SpeedButtonExtraire->setEnabled(hasRows);
    UpdateMarkCount();
    navigation_.SetListBuilt(true);
}

// The frames are decoded in table order and encoded by the workers; each row gets its values
// when its result comes back, in table order, with events run between frames.
void FrameListWindow::RankRows() {
    // The button stops the ranking it started rather than starting another inside it.
    if (ranking_) {
        navigation_.SetRunFlag(false);
        return;
    }
    crop_check::RequireCropInsideFrames(source_);
    // The ranking's workers read the frames by their positions: a video read from its tables
    // has its packets looked into first. Damage found gives it other frames, which the main
    // window takes (this list is cleared).
    if (source_.PacketsFound() == media::PacketsState::Unread && source_.CheckPackets() != media::PacketsState::Whole) {
        return;
    }
    SortByColumn(framelist::kColNum);

    ranking::RunSettings settings;
    settings.threads = workerThreads_;
    // A bad quality text ends the ranking here, before any row is measured.
    settings.jpeg = JpegOptions();
    settings.measure = measure_;
    settings.encode = measure_.encodes;
    const ranking::Measure measure = measure_;

    RunFlagOnExit clearFlag{navigation_};
    ProgressOnExit hide(*this);
    RankingOnExit running(*this);
    navigation_.SetRunFlag(true);
    framelist::LoopProgress progress(QStringLiteral("Classement"), table_->size());
    std::vector<int32_t> frames;
    frames.reserve(size_t(table_->size()));
    for (int row = 0; row < table_->size(); ++row) frames.push_back(table_->row(row).num);
    int done = 0;
    int unreadable = 0;
    // The frames measured with their signatures, which the scenes are found from at the end.
    const int32_t videoFrames = std::max(source_.FrameCount(), 0);
    std::vector<ranking::Ranked> measured;
    measured.reserve(frames.size());
    ForgetRanking();
    // Values of an earlier run may have been measured with other options or another crop: the
    // table starts again from none, as the plot and the scene marks do.
    lastRanking_->Start(measure, videoFrames);
    ranking::RunHooks hooks = loopHooks();
    hooks.onResult = [&](ranking::FrameResult& result) {
        const ranking::Value value = result.size != 0 ? result.value : ranking::Value::Unreadable();
        measured.push_back({result.frame, value, result.signature});
        // A command run from the loop may have closed the video: the ranking then leaves it out.
        lastRanking_->SetValue(result.frame, value);
        const int row = rowOfFrame(int(result.index), result.frame);
        if (result.size == 0) {
            // Said in the row, and ranked last, rather than measured as an empty picture.
            ++unreadable;
            if (row >= 0) {
                table_->setCell(row, framelist::kColTaille, kUnreadableFrame);
                table_->setTri(row, -1, kUnreadableFrame);
            }
        } else if (row >= 0) {
            table_->setNumber(row, framelist::kColTaille, result.size);
            const int64_t steps = value.steps;
            table_->setTri(row, measure.largerIsBetter ? steps : -steps, measure.FrenchText(steps));
        }
        ++done;
        showProgress(progress, done);
    };
    ranking::RunRanking(source_, frames, settings, hooks);
    finishLoop();
    hideProgress();
    SetRanking(false);
    // A stopped ranking finds the scenes of what it measured.
    if (lastRanking_->values().size() == size_t(videoFrames) && source_.VideoOpen()) {
        lastRanking_->SetScenes(ranking::ScenesOf(measured, 0, videoFrames, 1.0 / source_.FrameDuration()));
    }

    SortByColumn(framelist::kColTri);
    // The best rows, with their frame numbers: the list goes back to its top and its first column.
    if (table_->size() > 0) ui_->ListView1->scrollTo(table_->index(0, framelist::kColNum));
    ui_->ListView1->horizontalScrollBar()->setValue(0);
    if (navigation_.ProgramEnding()) return;
    // Only the frames measured count as processed; those that could not be decoded are named apart.
    const bool stopped = size_t(done) < frames.size();
    QString text = Closing(done - unreadable, "Images Traitées") + UnreadableLine(unreadable);
    if (stopped) text += QStringLiteral("\nClassement arrêté après %1 images sur %2").arg(done).arg(frames.size());
    dialogs::current().messageBox(text,
                                  stopped ? QStringLiteral("Traitement Arrêté") : QStringLiteral("Traitement Terminé"),
                                  dialogs::Buttons::Ok);
}

void FrameListWindow::SetRanking(bool running) {
    ranking_ = running;
    ui_->SpeedButtonBestOf->setText(running ? QStringLiteral("Arrêter") : QStringLiteral("Best of..."));
}

ranking::RunHooks FrameListWindow::loopHooks() {
    ranking::RunHooks hooks;
    hooks.keepGoing = [this] { return navigation_.RunFlag(); };
    hooks.betweenRounds = [this](bool idle) { runEvents(idle); };
    hooks.wake = wakeOnResult();
    return hooks;
}

void FrameListWindow::runEvents(bool idle) {
    if (sinceFlush_.elapsed() >= kFlushIntervalMs) {
        table_->flushChanges();
        sinceFlush_.restart();
    }
    QCoreApplication::processEvents(idle ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
}

std::function<void()> FrameListWindow::wakeOnResult() {
    // An empty call queued to this window: it ends the wait for events, and costs nothing else.
    return [this] {
        QMetaObject::invokeMethod(
            this, [] {}, Qt::QueuedConnection);
    };
}

int FrameListWindow::rowOfFrame(int expected, int32_t frame) const {
    if (expected >= 0 && expected < table_->size() && table_->row(expected).num == frame) return expected;
    for (int row = 0; row < table_->size(); ++row) {
        if (table_->row(row).num == frame) return row;
    }
    return -1;
}

void FrameListWindow::showProgress(framelist::LoopProgress& progress, int done) {
    if (!progress.due()) return;
    ui_->LabelProgression->setText(progress.text(done));
    ui_->LabelProgression->show();
}

void FrameListWindow::hideProgress() {
    ui_->LabelProgression->clear();
    ui_->LabelProgression->hide();
}

QString FrameListWindow::progressText() const { return ui_->LabelProgression->text(); }

void FrameListWindow::UpdateMarkCount() {
    const int rows = table_->size();
    const int value = countBoxValue();
    const int index = ui_->RadioGroup1->itemIndex();
    UpDown* spinner = ui_->UpDown1;
    const int spinnerRows = std::min(rows, kSpinnerLimit);
    switch (CountMode(index)) {
        case CountMode::Count: {
            spinner->setMaximum(spinnerRows);
            int64_t count = value;
            if (countMode_ == CountMode::Percent) count = int64_t(rows) * value / 100;
            markCount_ = ClampToInt(std::min<int64_t>(count, rows));
            setCountBox(markCount_);
            break;
        }
        case CountMode::All:
            spinner->setMaximum(spinnerRows);
            spinner->setPosition(spinnerRows);
            markCount_ = rows;
            setCountBox(rows);
            break;
        case CountMode::Percent: {
            spinner->setMaximum(100);
            int64_t percent = value;
            if (countMode_ != CountMode::Percent) {
                // An empty table has no percentage of anything.
                percent = rows > 0 ? int64_t(value) * 100 / rows : 0;
                setCountBox(ClampToInt(percent));
            }
            markCount_ = ClampToInt(percent * rows / 100);
            break;
        }
        default:
            markCount_ = 0;
            break;
    }
    countMode_ = CountMode(index);
}

template <typename Effect>
void FrameListWindow::markRange(Effect effect) {
    RunFlagOnExit clearFlag{navigation_};
    navigation_.SetRunFlag(true);
    const int first = std::max(navigation_.RangeStart(), 0);
    const int last = navigation_.RangeEnd();
    for (int i = first; navigation_.RunFlag() && i <= last && i < table_->size(); ++i) {
        table_->setMark(i, effect(i));
        runEvents(false);
    }
    finishLoop();
}

void FrameListWindow::MarkTopRows() {
    markRange([this](int i) { return i < markCount_; });
}

void FrameListWindow::MarkBestOfEachScene() {
    if (!navigation_.ListBuilt()) return;
    // The last ranking's frames, best first, as "Tri" orders them.
    const std::vector<ranking::Value>& values = lastRanking_->values();
    const ranking::Measure& rankedBy = lastRanking_->measure();
    std::vector<frame_choice::Candidate> ranked;
    for (size_t frame = 0; frame < values.size(); ++frame) {
        if (values[frame].Measured())
            ranked.push_back({int32_t(frame), values[frame], source_.FrameTime(int32_t(frame))});
    }
    if (ranked.empty()) {
        dialogs::current().messageBox(QStringLiteral("Classez d'abord les images avec « Best of... »."),
                                      QStringLiteral("Meilleure image de chaque scène"), dialogs::Buttons::Ok);
        return;
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [&rankedBy](const frame_choice::Candidate& a, const frame_choice::Candidate& b) {
                         return rankedBy.RanksBefore(a.value, a.frame, b.value, b.frame);
                     });
    std::vector<bool> chosen(values.size(), false);
    for (const frame_choice::Candidate& best : frame_choice::BestOfEachScene(ranked, lastRanking_->scenes())) {
        chosen[size_t(best.frame)] = true;
    }
    int lastMarked = -1;
    int marked = 0;
    for (int row = 0; row < table_->size(); ++row) {
        const auto frame = size_t(table_->row(row).num);
        const bool mark = frame < chosen.size() && chosen[frame];
        table_->setMark(row, mark);
        if (mark) {
            lastMarked = row;
            ++marked;
        }
    }
    table_->flushChanges();
    // The count box is the user's: it is left as it is, and said so when it leaves marks out.
    UpdateMarkCount();
    if (countMode_ != CountMode::All && lastMarked >= markCount_) {
        dialogs::current().messageBox(
            QStringLiteral("%1 images marquées, certaines au-delà du nombre à extraire. Choisissez « Tout » "
                           "pour les extraire toutes.")
                .arg(marked),
            QStringLiteral("Meilleure image de chaque scène"), dialogs::Buttons::Ok);
    }
}

void FrameListWindow::InvertMarks() {
    markRange([this](int i) { return table_->cell(i, framelist::kColMark).isEmpty(); });
}

void FrameListWindow::ClearMarks() {
    markRange([](int) { return false; });
}

// The marked rows are shown and prepared here and encoded by the workers, in the file's order
// when the names they take are free (see ExtractionOrder), else in table order; the files are
// named, asked about and written as the results come back.
void FrameListWindow::ExtractMarkedRows() {
    if (!navigation_.ListBuilt()) return;
    crop_check::RequireCropInsideFrames(source_);
    UpdateMarkCount();
    const int rows = table_->size();
    int bound = countMode_ == CountMode::Count || countMode_ == CountMode::Percent ? markCount_ : rows;
    bound = std::min(bound, rows);
    emit listSequenceWanted();

    naming::OutputNaming naming = outputNaming_ ? outputNaming_() : naming::OutputNaming{};
    const output_types::OutputType& type = output_types::Of(naming.type);
    ranking::RunSettings settings;
    settings.threads = workerThreads_;
    settings.encode = type.jpegOptions;
    settings.keepPictures = true;
    // A bad quality text ends the batch here, before any file is written.
    if (type.takesOptions) settings.jpeg = JpegOptions();
    std::vector<int> markedRows;
    std::vector<int32_t> frames;
    for (int i = 0; i < bound; ++i) {
        if (!table_->row(i).marked()) continue;
        markedRows.push_back(i);
        frames.push_back(table_->row(i).num);
    }
    // The packets that can move the frames are looked into before any is written: damage found
    // gives the video other frames, which the main window takes (this list is cleared).
    if (!frames.empty() &&
        source_.CheckPacketsUpTo(*std::max_element(frames.begin(), frames.end())) != media::PacketsState::Whole) {
        return;
    }

    int written = 0;
    int unreadable = 0;
    int done = 0;
    RunFlagOnExit clearFlag{navigation_};
    ProgressOnExit hide(*this);
    navigation_.SetRunFlag(true);
    framelist::LoopProgress progress(QStringLiteral("Extraction"), int(frames.size()));
    ranking::RunHooks hooks = loopHooks();
    framelist::ExtractionOrder order(frames, naming);
    hooks.beforeFrame = [&](size_t index) { emit rowWanted(markedRows[order.Place(index)]); };
    hooks.onResult = [&](ranking::FrameResult& result) {
        // An error here ends the whole batch, without the closing message. Only files that
        // were written are reported.
        if (result.image.dib.empty()) {
            ++unreadable;  // nothing to write, and nothing asked
        } else if (!order.InFileOrder() && WriteExtracted(result.image, naming, settings.jpeg)) {
            ++written;
        } else if (order.InFileOrder() &&
                   WritePrepared(result.image, order.FileFor(result.index), naming.type, settings.jpeg)) {
            order.Written(result.index);
            emit nextNumberChanged(order.NextNumber());
            ++written;
        }
        ++done;
        showProgress(progress, done);
    };
    {
        // The files written keep the numbers of table order, even when an error ends the batch.
        struct Renumber {
            ~Renumber() { order.Finish(); }
            framelist::ExtractionOrder& order;
        } renumber{order};
        ranking::RunFrames(source_, order.Frames(), settings, hooks);
    }
    finishLoop();
    hideProgress();
    if (navigation_.ProgramEnding()) return;
    dialogs::current().messageBox(Closing(written, "Images Extraites") + UnreadableLine(unreadable) +
                                      QStringLiteral("\nDans : ") + QDir::toNativeSeparators(naming.folder),
                                  QStringLiteral("Extraction Terminée"), dialogs::Buttons::Ok);
}

bool FrameListWindow::WritePrepared(const FrameSource::PreparedImage& image, const QString& path,
                                    naming::OutputType type, const jpeg_options::JpegOptions& jpeg) {
    if (!source_.VideoOpen()) return false;
    return output_types::Of(type).writePrepared(image, path, jpeg, nullptr);
}

bool FrameListWindow::WriteExtracted(const FrameSource::PreparedImage& image, naming::OutputNaming& naming,
                                     const jpeg_options::JpegOptions& jpeg) {
    const bool written = WritePrepared(image, naming.PathOf(naming.start), naming.type, jpeg);
    if (written && naming.numbering != naming::Numbering::None) {
        naming.start = naming::NumberAfter(naming.start);
        emit nextNumberChanged(naming.start);
    }
    return written;
}

// ---- input ----

void FrameListWindow::RowPressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int, int y) {
    const int row = ui_->ListView1->rowAtPoint(QPoint(5, y));
    if (row < 0 || row >= table_->size()) return;
    if (button == Qt::LeftButton) {
        ShowRow(row);
    } else if (modifiers & Qt::ShiftModifier) {
        CountRows(row + 1);
        MarkTopRows();
    } else {
        table_->setMark(row, !table_->row(row).marked());
        table_->flushChanges();
    }
}

void FrameListWindow::ShowRow(int row) {
    emit listSequenceWanted();
    navigation_.SetRunFlag(false);
    emit slideshowPaused();
    emit rowWanted(row);
}

void FrameListWindow::CountRows(int rows) {
    setCountBox(rows);
    ui_->RadioGroup1->setItemIndex(0);
    // The text is a count now, whatever the group showed before.
    countMode_ = CountMode::Count;
    UpdateMarkCount();
}

void FrameListWindow::MarkButtonPressed(Qt::MouseButton, Qt::KeyboardModifiers modifiers) {
    UpdateMarkCount();
    if (modifiers & Qt::ShiftModifier) {
        InvertMarks();
    } else {
        MarkTopRows();
    }
}

void FrameListWindow::MarkButtonHovered(Qt::KeyboardModifiers modifiers) {
    ui_->SpeedButton1->setText((modifiers & Qt::ShiftModifier) ? QStringLiteral("InvSél.") : QStringLiteral("Sél."));
}

void FrameListWindow::MarkButtonReleased() { ui_->SpeedButton1->setText(QStringLiteral("Sél.")); }

void FrameListWindow::ClearMarksClicked() {
    UpdateMarkCount();
    ClearMarks();
}

void FrameListWindow::FilterCountKey(char16_t& key) const {
    if (key >= 14 && !(key >= u'0' && key <= u'9')) key = 0;
}

int FrameListWindow::countBoxValue() const {
    bool ok = false;
    const int value = ui_->EditNombre->text().toInt(&ok);
    return ok ? value : 0;
}

void FrameListWindow::setCountBox(int value) { ui_->EditNombre->setText(QString::number(value)); }

bool FrameListWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && watched == ui_->ListView1->viewport()) {
        errors::Guard([&] { ShowRowPreview(*static_cast<QHelpEvent*>(event)); });
        return true;
    }
    if (event->type() != QEvent::KeyPress || forwardingKey_) return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);

    bool passes = true;
    if (keyDownHandler_) {
        int code = keys::VirtualKeyCode(*key);
        errors::Guard([&] { keyDownHandler_(code); });
        passes = code != 0;
    }
    // A consumed key-down still types its character into the count box, through its filter.
    if (watched == ui_->EditNombre && !key->text().isEmpty()) {
        char16_t typed = key->text().at(0).unicode();
        FilterCountKey(typed);
        passes = typed != 0;
    }
    if (passes) {
        // Delivered here so that its travel up to the parents does not reach the key map again.
        forwardingKey_ = true;
        QCoreApplication::sendEvent(watched, event);
        forwardingKey_ = false;
    }
    event->accept();
    return true;
}

// ---- the ranking's plot and the rows' pictures ----

void FrameListWindow::ShowRankingPlot() {
    if (!plot_) {
        plot_ = new RankingPlotWindow(this);
        plot_->setDataSource([this](ranking::RankingResult& data) { FillPlot(data); });
        plot_->setRanking(lastRanking_);
        plot_->setKeyDownHandler([this](int& key) {
            if (keyDownHandler_) keyDownHandler_(key);
        });
        connect(plot_, &RankingPlotWindow::frameWanted, this,
                errors::Guarded<int32_t>([this](int32_t frame) { ShowFrame(frame); }));
        window_memory::Remember(*plot_, QStringLiteral("plot"));
    }
    // Where it was last, or under the list window, but wholly on the screen whatever its size.
    if (!plot_->isVisible()) window_memory::KeepOnScreen(*plot_);
    plot_->show();
    plot_->raise();
    plot_->activateWindow();
}

void FrameListWindow::ShowFrame(int32_t frame) {
    if (!navigation_.ListBuilt()) return;
    // Ranked or built, the table is often in frame order.
    const int row = rowOfFrame(frame, frame);
    if (row < 0) return;
    ui_->ListView1->selectRow(row);
    ShowRow(row);
}

void FrameListWindow::FillPlot(ranking::RankingResult& data) const {
    data.frameCount = source_.VideoOpen() ? source_.FrameCount() : 0;
    data.currentFrame = shownFrame_;
    data.frameRate = 1.0 / source_.FrameDuration();
}

void FrameListWindow::RefreshPlot() {
    if (plot_) plot_->Refresh();
}

void FrameListWindow::ForgetRanking() {
    lastRanking_->Forget();
    thumbnails_->Clear();
}

void FrameListWindow::FollowPosition() {
    const int32_t position = navigation_.CurrentPosition();
    shownFrame_ = navigation_.VideoSequence() ? position : FrameAtRow(position);
    RefreshPlot();
}

void FrameListWindow::ShowRowPreview(const QHelpEvent& help) {
    ReportList* list = ui_->ListView1;
    const int row = list->rowAtPoint(help.pos());
    if (row < 0 || row >= table_->size()) {
        QToolTip::hideText();
        return;
    }
    const FrameRow& shown = table_->row(row);
    QString text = QStringLiteral("Image %1").arg(shown.num);
    const QString& tri = shown.cells[framelist::kColTri];
    if (tri != QLatin1String("0")) text += QStringLiteral(" · Tri ") + tri;
    const QImage picture = thumbnails_->Thumbnail(shown.num, !navigation_.RunFlag());
    QString html;
    if (!picture.isNull()) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        html = QStringLiteral("<img src=\"data:image/png;base64,%1\" width=\"%2\" height=\"%3\"><br>")
                   .arg(QString::fromLatin1(png.toBase64()))
                   .arg(picture.width())
                   .arg(picture.height());
    }
    const QRect rowArea(0, list->rowViewportPosition(row), list->viewport()->width(), list->rowHeight(row));
    QToolTip::showText(help.globalPos(), html + text.toHtmlEscaped(), list->viewport(), rowArea);
}
