// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/plot_file.h"

#include <cerrno>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include "framesource/image_writers.h"
#include "plotdrawing/ranking_plot.h"

namespace batch {
namespace {

// Wide enough for a column per frame of a short video, and for the axes' labels.
constexpr int kWidth = 1600;
constexpr int kHeight = 500;

}  // namespace

int WritePlot(const VideoRanking& ranking, int32_t frameCount, double frameRate, const QString& path, bool replace) {
    ranking_plot::PlotData data;
    data.frameCount = frameCount;
    data.frameRate = frameRate;
    data.values.assign(size_t(std::max(frameCount, 0)), ranking::Value{});
    data.measure = ranking.measure;
    for (const RankedFrame& r : ranking.frames) {
        if (r.frame >= 0 && r.frame < frameCount) data.values[size_t(r.frame)] = r.value;
    }
    if (const std::optional<scenes::SceneList> scenes = ScenesOf(ranking)) data.scenes = *scenes;

    ranking_plot::Captions captions;
    captions.title = QString::fromLatin1(ranking.measure.englishTitle);
    captions.frameAxis = QStringLiteral("Frame (number and time)");
    captions.lengthAxis = QString::fromLatin1(ranking.measure.englishAxis);
    captions.cuts = QStringLiteral("Scene cut");
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    ranking_plot::Draw(image, data, captions);

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "png").write(image)) return ENOMEM;
    return image_writers::WriteWholeFile(path, png, replace);
}

}  // namespace batch
