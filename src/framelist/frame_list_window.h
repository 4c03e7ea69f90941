// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The list window: the frame table of the open video, the "Best of..." ranking by JPEG size,
// row marks, digit ratings and the batch extraction of the marked rows.

#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "framelist/frame_table.h"
#include "framelist/loop_progress.h"
#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "framesource/naming.h"
#include "ranking/last_ranking.h"
#include "ranking/ranking.h"
#include "ranking/ranking_result.h"

class Navigation;
class QHelpEvent;
class QMenu;
class RankingPlotWindow;
namespace framelist {
class FrameThumbnails;
}

namespace Ui {
class FormListe;
}

class FrameListWindow : public QWidget {
    Q_OBJECT

public:
    // The rows are frames of `source`'s video; positions and the loops' flag are `navigation`'s.
    FrameListWindow(FrameSource& source, Navigation& navigation, QWidget* parent = nullptr);
    ~FrameListWindow() override;

    // The main window's key map: every key-down of this window and its controls goes there
    // first; a code set to 0 is consumed.
    void setKeyDownHandler(std::function<void(int& virtualKey)> handler);
    // Where the JPEG options of a ranking or a batch come from, read when one starts (may
    // throw for options that cannot be read); the defaults without it.
    void setJpegOptionsSource(std::function<jpeg_options::JpegOptions()> source) { jpegOptions_ = std::move(source); }
    // Where "Extraire Lot..." names and numbers its files, read when a batch starts.
    void setOutputNamingSource(std::function<naming::OutputNaming()> source) { outputNaming_ = std::move(source); }

    // Operations the main window uses.
    int FrameAtRow(int row) const;
    // The row of a frame in the built table; -1 when it has none.
    int RowOfFrame(int32_t frame) const;
    void SetRowQuality(int digit);
    void BuildTable();
    void ClearList();
    void ExtractMarkedRows();

    // The table and its ordering.
    int CompareRows(const framelist::FrameRow& a, const framelist::FrameRow& b) const;
    void SortByColumn(int column);
    void RankRows();
    void UpdateMarkCount();

    // Marking loops over the range of the main window.
    void MarkTopRows();
    void InvertMarks();
    void ClearMarks();
    // Marks the best ranked frame of each scene of the last "Best of..." and no other, and counts
    // the rows up to the last one marked, so that "Extraire Lot..." writes them.
    void MarkBestOfEachScene();

    // The ranking as a picture, in a window of its own that follows the ranking, the marks and
    // the frame shown; a click there shows the frame as a row click does.
    void ShowRankingPlot();
    RankingPlotWindow* rankingPlot() const { return plot_; }

    // Event handlers, public so that the main window's equivalents and tests reach them.
    void RowPressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void MarkButtonPressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void MarkButtonHovered(Qt::KeyboardModifiers modifiers);
    void MarkButtonReleased();
    void ClearMarksClicked();
    // Sets the character to 0 when it must not reach the edit.
    void FilterCountKey(char16_t& key) const;

    int MarkCount() const { return markCount_; }
    // How the count box is read, in the order of the count group's items.
    enum class CountMode { Count = 0, All = 1, Percent = 2 };
    CountMode countMode() const { return countMode_; }
    int SortColumn() const { return sortColumn_; }
    const framelist::FrameTable& table() const { return *table_; }
    int rowCount() const { return table_->size(); }
    // Threads that encode during a ranking or a batch: 0 for one per core (the default), 1 to
    // encode on the window's own thread.
    void setWorkerThreads(int threads) { workerThreads_ = threads; }
    // The progress line under the list; empty and hidden outside the long loops.
    QString progressText() const;

signals:
    // The list's sequence is wanted: positions are rows of the list from now on.
    void listSequenceWanted();
    // The row is to be shown, as the track bar shows a position.
    void rowWanted(int row);
    // A row click pauses the slideshow.
    void slideshowPaused();
    // "Extraire Lot..." wrote a file: the next file's number.
    void nextNumberChanged(int32_t number);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetUpControls();
    void SetUpMenu();
    void connectHandlers();
    // What a left click on a row does: the list's sequence, the slideshow paused, the row shown.
    void ShowRow(int row);
    // The row of a frame, shown as a row click shows it.
    void ShowFrame(int32_t frame);
    // The count box counts the first `rows` rows.
    void CountRows(int rows);
    // The video's side of the plot: its frames, their rate and the frame shown.
    void FillPlot(ranking::RankingResult& data) const;
    void RefreshPlot();
    // Forgets the last ranking's values and scenes (the table is built again or emptied).
    void ForgetRanking();
    // The frame the viewer shows, from the position and the active sequence.
    void FollowPosition();
    // A tooltip over a row: a small picture of its frame.
    void ShowRowPreview(const QHelpEvent& help);
    int countBoxValue() const;
    void setCountBox(int value);
    void finishLoop();
    template <typename Effect>
    void markRange(Effect effect);
    // The end of a round of a long loop: reports changed cells now and then and runs pending
    // events; with `idle` it waits for one (a worker's result, the user) without using the
    // processor.
    void runEvents(bool idle);
    // Tells the window's thread that a worker has a result ready, when the window asked to be
    // told; called on the worker's thread.
    std::function<void()> wakeOnResult();
    // What every long loop of the window gives the ranking's loop: the run flag, events between
    // frames and the workers' wake.
    ranking::RunHooks loopHooks();
    // Names, writes and numbers one picture of a batch, as "Extraire" would.
    bool WriteExtracted(const FrameSource::PreparedImage& image, naming::OutputNaming& naming,
                        const jpeg_options::JpegOptions& jpeg);
    // Writes one picture of a batch under `path`, as "Extraire" would.
    bool WritePrepared(const FrameSource::PreparedImage& image, const QString& path, naming::OutputType type,
                       const jpeg_options::JpegOptions& jpeg);
    void showProgress(framelist::LoopProgress& progress, int done);
    void hideProgress();
    // The row of `frame`: `expected` when it still holds it (a command run from the loop may
    // have sorted or emptied the table), else wherever it is now; -1 when it is gone.
    int rowOfFrame(int expected, int32_t frame) const;
    struct ProgressOnExit;
    struct RankingOnExit;
    // "Best of..." becomes "Arrêter" while its ranking runs.
    void SetRanking(bool running);

    jpeg_options::JpegOptions JpegOptions() const {
        return jpegOptions_ ? jpegOptions_() : jpeg_options::JpegOptions{};
    }

    FrameSource& source_;
    Navigation& navigation_;
    std::function<jpeg_options::JpegOptions()> jpegOptions_;
    std::function<naming::OutputNaming()> outputNaming_;
    std::unique_ptr<Ui::FormListe> ui_;
    framelist::FrameTable* table_ = nullptr;  // owned by this window
    std::function<void(int&)> keyDownHandler_;
    QElapsedTimer sinceFlush_;
    bool forwardingKey_ = false;

    int sortColumn_ = 0;
    int markCount_ = 0;
    CountMode countMode_ = CountMode::Count;
    int workerThreads_ = 0;
    bool ranking_ = false;

    // What "Best of..." measures, chosen in the context menu.
    ranking::Measure measure_ = ranking::JpegLength();
    ranking::LastRanking* lastRanking_ = nullptr;  // owned by this window
    int32_t shownFrame_ = -1;
    RankingPlotWindow* plot_ = nullptr;  // a child window, made when first asked for
    QMenu* menu_ = nullptr;
    std::unique_ptr<framelist::FrameThumbnails> thumbnails_;
};
