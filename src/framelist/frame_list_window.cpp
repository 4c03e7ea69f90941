// SPDX-License-Identifier: GPL-2.0-or-later
#include "framelist/frame_list_window.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>
#include <climits>
#include <cstring>

#include "base/dialogs.h"
#include "base/errors.h"
#include "framelist/loop_progress.h"
#include "framesource/crop_check.h"
#include "framesource/frame_source.h"
#include "framesource/image_writers.h"
#include "framesource/jpeg_options.h"
#include "imaging/bitmap.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"
#include "navigation/navigation.h"
#include "ranking/ranking.h"
#include "ui_frame_list_window.h"
#include "widgets/keys.h"
#include "widgets/slot_guard.h"

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

// Hides the progress line however a loop is left.
struct FrameListWindow::ProgressOnExit {
    explicit ProgressOnExit(FrameListWindow& window) : window_(window) {}
    ~ProgressOnExit() { window_.hideProgress(); }
    FrameListWindow& window_;
};

FrameListWindow::FrameListWindow(FrameSource& source, Navigation& navigation, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(source), navigation_(navigation), ui_(std::make_unique<Ui::FormListe>()) {
    ui_->setupUi(this);
    move(272, 234);  // the form keeps only its size; the design places the window here
    table_ = new FrameTable(this);
    ui_->ListView1->setModel(table_);
    ui_->UpDown1->setBuddy(ui_->EditNombre);
    SetUpControls();
    connectHandlers();
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

void FrameListWindow::SetRowQuality(int digit) {
    if (digit < 0 || digit > 9) return;
    const int row = navigation_.CurrentPosition();
    if (row < 0 || row >= table_->size()) return;
    table_->setCell(row, framelist::kColQualite, QString::number(digit));
    table_->flushChanges();
}

void FrameListWindow::ClearList() { table_->clear(); }

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
    crop_check::RequireCropInsideFrames(source_);
    SortByColumn(framelist::kColNum);

    ranking::RunSettings settings;
    settings.threads = workerThreads_;
    // A bad quality text ends the ranking here, before any row is measured.
    settings.jpeg = JpegOptions();

    RunFlagOnExit clearFlag{navigation_};
    ProgressOnExit hide(*this);
    navigation_.SetRunFlag(true);
    framelist::LoopProgress progress(QStringLiteral("Classement"), table_->size());
    std::vector<int32_t> frames;
    frames.reserve(size_t(table_->size()));
    for (int row = 0; row < table_->size(); ++row) frames.push_back(table_->row(row).num);
    int done = 0;
    int unreadable = 0;
    ranking::RunHooks hooks = loopHooks();
    hooks.onResult = [&](ranking::FrameResult& result) {
        const int row = rowOfFrame(int(result.index), result.frame);
        if (result.size == 0) {
            // Said in the row, and ranked last, rather than measured as an empty picture.
            ++unreadable;
            if (row >= 0) {
                table_->setCell(row, framelist::kColTaille, kUnreadableFrame);
                table_->setCell(row, framelist::kColTri, kUnreadableFrame);
            }
        } else if (row >= 0) {
            table_->setNumber(row, framelist::kColTaille, result.size);
            table_->setNumber(row, framelist::kColTri, result.length);
        }
        ++done;
        showProgress(progress, done);
    };
    ranking::RunRanking(source_, frames, settings, hooks);
    finishLoop();
    hideProgress();

    SortByColumn(framelist::kColTri);
    // The measure just made is what the user looks for.
    if (table_->size() > 0) ui_->ListView1->scrollTo(table_->index(0, framelist::kColTri));
    if (navigation_.ProgramEnding()) return;
    // Only the frames measured count as processed; those that could not be decoded are named apart.
    dialogs::current().messageBox(Closing(done - unreadable, "Images Traitées") + UnreadableLine(unreadable),
                                  QStringLiteral("Traitement Terminé"), dialogs::Buttons::Ok);
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

void FrameListWindow::InvertMarks() {
    markRange([this](int i) { return table_->cell(i, framelist::kColMark).isEmpty(); });
}

void FrameListWindow::ClearMarks() {
    markRange([](int) { return false; });
}

// The marked rows are shown and prepared in table order here and encoded by the workers; the
// files are named, asked about and written in the same order as the results come back.
void FrameListWindow::ExtractMarkedRows() {
    if (!navigation_.ListBuilt()) return;
    crop_check::RequireCropInsideFrames(source_);
    UpdateMarkCount();
    const int rows = table_->size();
    int bound = countMode_ == CountMode::Count || countMode_ == CountMode::Percent ? markCount_ : rows;
    bound = std::min(bound, rows);
    emit listSequenceWanted();

    naming::OutputNaming naming = outputNaming_ ? outputNaming_() : naming::OutputNaming{};
    const bool jpegFiles = naming.type == naming::OutputType::Jpeg;
    ranking::RunSettings settings;
    settings.threads = workerThreads_;
    settings.encode = jpegFiles;
    settings.keepPictures = true;
    // A bad quality text ends the batch here, before any file is written.
    if (jpegFiles) settings.jpeg = JpegOptions();
    std::vector<int> markedRows;
    std::vector<int32_t> frames;
    for (int i = 0; i < bound; ++i) {
        if (!table_->row(i).marked()) continue;
        markedRows.push_back(i);
        frames.push_back(table_->row(i).num);
    }

    int written = 0;
    int unreadable = 0;
    int done = 0;
    RunFlagOnExit clearFlag{navigation_};
    ProgressOnExit hide(*this);
    navigation_.SetRunFlag(true);
    framelist::LoopProgress progress(QStringLiteral("Extraction"), int(frames.size()));
    ranking::RunHooks hooks = loopHooks();
    hooks.beforeFrame = [&](size_t index) { emit rowWanted(markedRows[index]); };
    hooks.onResult = [&](ranking::FrameResult& result) {
        // An error here ends the whole batch, without the closing message. Only files that
        // were written are reported.
        if (result.image.dib.empty()) {
            ++unreadable;  // nothing to write, and nothing asked
        } else if (WriteExtracted(result.image, naming, settings.jpeg)) {
            ++written;
        }
        ++done;
        showProgress(progress, done);
    };
    ranking::RunFrames(source_, frames, settings, hooks);
    finishLoop();
    hideProgress();
    if (navigation_.ProgramEnding()) return;
    dialogs::current().messageBox(Closing(written, "Images Extraites") + UnreadableLine(unreadable),
                                  QStringLiteral("Extraction Terminée"), dialogs::Buttons::Ok);
}

bool FrameListWindow::WriteExtracted(const FrameSource::PreparedImage& image, naming::OutputNaming& naming,
                                     const jpeg_options::JpegOptions& jpeg) {
    if (!source_.VideoOpen()) return false;
    const QString path = naming.PathOf(naming.start);
    const bool written = naming.type == naming::OutputType::Jpeg ? image_writers::WritePreparedJpeg(image, path, jpeg)
                                                                 : image_writers::WritePreparedBmp(image, path);
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
        emit listSequenceWanted();
        navigation_.SetRunFlag(false);
        emit slideshowPaused();
        emit rowWanted(row);
    } else if (modifiers & Qt::ShiftModifier) {
        setCountBox(row + 1);
        ui_->RadioGroup1->setItemIndex(0);
        // The text is a count now, whatever the group showed before.
        countMode_ = CountMode::Count;
        UpdateMarkCount();
        MarkTopRows();
    } else {
        table_->setMark(row, !table_->row(row).marked());
        table_->flushChanges();
    }
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
