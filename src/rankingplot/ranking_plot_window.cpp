// SPDX-License-Identifier: GPL-2.0-or-later
#include "rankingplot/ranking_plot_window.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <algorithm>

#include "base/clock_time.h"
#include "ui_ranking_plot_window.h"
#include "widgets/keys.h"
#include "widgets/slot_guard.h"

namespace {

const QLocale kFrench(QLocale::French, QLocale::France);

ranking_plot::Captions FrenchCaptions(const ranking::Measure& measure) {
    ranking_plot::Captions captions;
    captions.title = QString::fromUtf8(measure.frenchTitle);
    captions.frameAxis = QStringLiteral("Image (numéro et temps)");
    captions.lengthAxis = QString::fromUtf8(measure.frenchAxis);
    captions.cuts = QStringLiteral("Coupure de scène");
    captions.marked = QStringLiteral("Marquée");
    captions.current = QStringLiteral("Image affichée");
    captions.locale = kFrench;
    return captions;
}

// "1 image mesurée", "0 image marquée", "2 scènes": French takes the plural from two on.
QString Count(int64_t count, const QString& singular, const QString& plural) {
    return kFrench.toString(qlonglong(count)) + ' ' + (count >= 2 ? plural : singular);
}

QString Time(double seconds) {
    return clock_time::ClockTime(seconds, clock_time::Hours::FromAnHour, 2, QStringLiteral(","));
}

}  // namespace

RankingPlotWindow::RankingPlotWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::FormGraphique>()) {
    ui_->setupUi(this);
    move(272, 530);  // the form keeps only its size: under the list window
    ui_->ImageGraphique->SetData(&data_, FrenchCaptions(data_.measure));
    redraw_.setSingleShot(true);
    connect(&redraw_, &QTimer::timeout, this, errors::Guarded([this] { RefreshNow(); }));
    connect(ui_->ImageGraphique, &RankingPlotView::frameHovered, this,
            errors::Guarded<int32_t>([this](int32_t frame) { ShowPointed(frame); }));
    connect(ui_->ImageGraphique, &RankingPlotView::frameClicked, this,
            errors::Guarded<int32_t>([this](int32_t frame) { emit frameWanted(frame); }));
}

RankingPlotWindow::~RankingPlotWindow() = default;

void RankingPlotWindow::setRanking(const ranking::LastRanking* ranking) {
    if (ranking_) disconnect(ranking_, nullptr, this, nullptr);
    ranking_ = ranking;
    if (ranking_) connect(ranking_, &ranking::LastRanking::changed, this, &RankingPlotWindow::Refresh);
    Refresh();
}

void RankingPlotWindow::Refresh() {
    if (!isVisible() || redraw_.isActive()) return;
    const qint64 since = sinceDraw_.isValid() ? sinceDraw_.elapsed() : kRedrawMs;
    redraw_.start(int(std::max<qint64>(0, kRedrawMs - since)));
}

void RankingPlotWindow::RefreshNow() {
    redraw_.stop();
    const ranking::Measure shown = data_.measure;
    if (source_) source_(data_);
    if (ranking_) ranking_->CopyTo(data_);
    // The list's ranking may now be by another measure: the words follow it.
    if (!(data_.measure == shown)) ui_->ImageGraphique->SetData(&data_, FrenchCaptions(data_.measure));
    std::sort(data_.marked.begin(), data_.marked.end());
    ui_->ImageGraphique->Invalidate();
    sinceDraw_.restart();
    ShowPointed(pointed_);
}

void RankingPlotWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    RefreshNow();
}

void RankingPlotWindow::keyPressEvent(QKeyEvent* event) {
    if (!keyDownHandler_) return QWidget::keyPressEvent(event);
    int code = keys::VirtualKeyCode(*event);
    errors::Guard([&] { keyDownHandler_(code); });
    if (code != 0) QWidget::keyPressEvent(event);
}

QString RankingPlotWindow::Description(int32_t frame) const {
    if (frame < 0 || frame >= data_.frameCount) return {};
    QStringList parts;
    parts << QStringLiteral("Image %1").arg(kFrench.toString(frame));
    if (data_.frameRate > 0) parts << Time(frame / data_.frameRate);
    const ranking::Value value = size_t(frame) < data_.values.size() ? data_.values[size_t(frame)] : ranking::Value{};
    if (value.Measured()) {
        parts << QStringLiteral("Tri %1").arg(
            kFrench.toString(data_.measure.Units(value.steps), 'f', data_.measure.decimals));
    } else {
        parts << (value.state == ranking::Value::State::Unreadable ? QStringLiteral("Illisible")
                                                                   : QStringLiteral("non mesurée"));
    }
    if (!data_.scenes.cuts.empty()) {
        parts << QStringLiteral("Scène %1").arg(data_.scenes.SceneOf(frame)) +
                     (data_.scenes.InTransition(frame) ? QStringLiteral(" (transition)") : QString());
    }
    if (std::binary_search(data_.marked.begin(), data_.marked.end(), frame)) parts << QStringLiteral("marquée");
    return parts.join(QStringLiteral("  ·  "));
}

QString RankingPlotWindow::Summary() const {
    const auto measured = std::count_if(data_.values.begin(), data_.values.end(), [](const ranking::Value& v) {
        return v.state != ranking::Value::State::NotMeasured;
    });
    QStringList parts;
    parts << Count(measured, QStringLiteral("image mesurée"), QStringLiteral("images mesurées")) +
                 QStringLiteral(" sur %1").arg(kFrench.toString(data_.frameCount));
    if (!data_.scenes.cuts.empty())
        parts << Count(data_.scenes.Count(), QStringLiteral("scène"), QStringLiteral("scènes"));
    parts << Count(int64_t(data_.marked.size()), QStringLiteral("marquée"), QStringLiteral("marquées"));
    parts << QStringLiteral("un clic affiche l'image");
    return parts.join(QStringLiteral("  ·  "));
}

void RankingPlotWindow::ShowPointed(int32_t frame) {
    pointed_ = frame;
    const QString description = Description(frame);
    info_ = description.isEmpty() ? Summary() : description;
    ShowInfo();
}

void RankingPlotWindow::ShowInfo() {
    QLabel* label = ui_->LabelInfo;
    const int room = label->contentsRect().width() - 2 * label->margin();
    label->setText(label->fontMetrics().elidedText(info_, Qt::ElideRight, std::max(room, 0)));
    label->setToolTip(label->text() == info_ ? QString() : info_);
}

void RankingPlotWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ShowInfo();
}
