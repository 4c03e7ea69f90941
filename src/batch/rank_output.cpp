// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/rank_output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cinttypes>
#include <cstdio>

namespace batch {

void PrintRankingText(const VideoRanking& video, bool withHeader) {
    if (!video.ranked) return;
    if (withHeader) std::printf("# %s\n", video.video.toLocal8Bit().constData());
    for (const ranking::Ranked& r : video.frames) std::printf("%" PRId32 "\t%" PRId64 "\n", r.frame, r.length);
    std::fflush(stdout);
}

void PrintRankingJson(const std::vector<VideoRanking>& videos) {
    QJsonArray all;
    for (const VideoRanking& video : videos) {
        QJsonArray frames;
        for (const ranking::Ranked& r : video.frames) {
            frames.append(QJsonObject{{"frame", r.frame}, {"bytes", qint64(r.length)}});
        }
        QJsonObject entry{{"video", video.video}, {"frames", frames}};
        if (!video.errors.isEmpty()) entry.insert("errors", QJsonArray::fromStringList(video.errors));
        all.append(entry);
    }
    const QByteArray text = QJsonDocument(all).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

}  // namespace batch
