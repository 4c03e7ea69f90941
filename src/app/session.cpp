// SPDX-License-Identifier: GPL-2.0-or-later
// What the program remembers from one run to the next (the recent files, the folders of the
// last open and of the output, each window's place and size) and what it takes from the
// desktop: a video dropped on the main window or the viewer, a picture copied from a viewer.

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

#include "app/main_window.h"
#include "app/recent_files.h"
#include "framelist/frame_list_window.h"
#include "framesource/frame_source.h"
#include "imaging/bitmap.h"
#include "infowindow/info_window.h"
#include "navigation/navigation.h"
#include "ui_main_window.h"
#include "viewer/frame_viewer.h"
#include "widgets/controls/image_control.h"
#include "widgets/file_drop.h"
#include "widgets/slot_guard.h"
#include "widgets/window_memory.h"

namespace {
const QString kVideoFolderKey = QStringLiteral("videoFolder");
const QString kOutputFolderKey = QStringLiteral("outputFolder");

// A folder remembered from the last run, when it is still there.
QString RememberedFolder(const QString& key) {
    const QString folder = window_memory::Settings()->value(key).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}
}  // namespace

void MainWindow::SetUpSession() {
    const QString videoFolder = RememberedFolder(kVideoFolderKey);
    if (!videoFolder.isEmpty()) ui_->LabelRepFicAvi->setText(videoFolder);
    const QString outputFolder = RememberedFolder(kOutputFolderKey);
    if (!outputFolder.isEmpty()) ui_->LabelRepFicImg->setText(outputFolder);
    NamingChanged();

    window_memory::Remember(*this, QStringLiteral("main"));
    window_memory::Remember(*frameViewer_, QStringLiteral("viewer"));
    window_memory::Remember(*pictureViewer_, QStringLiteral("picture"));
    window_memory::Remember(*listWindow_, QStringLiteral("list"));
    window_memory::Remember(*frameViewer_->infoForm(), QStringLiteral("viewerInfo"));
    window_memory::Remember(*pictureViewer_->infoForm(), QStringLiteral("pictureInfo"));

    const auto open = [this](const QString& path) { OpenVideoFile(path); };
    file_drop::AcceptFiles(*this, open);
    file_drop::AcceptFiles(*frameViewer_, open);

    frameViewer_->setCopySource([this] { return ShownPicture(true); });
    pictureViewer_->setCopySource([this] { return ShownPicture(false); });

    connect(ui_->FichiersRecents1, &QMenu::aboutToShow, this, errors::Guarded([this] { FillRecentFiles(); }));
    FillRecentFiles();
}

void MainWindow::FillRecentFiles() {
    QMenu* menu = ui_->FichiersRecents1;
    menu->clear();
    const QStringList files = recent_files::List();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        // "&1 name": the digit is the item's key, the folder is in the tooltip.
        QAction* action = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
        action->setToolTip(QDir::toNativeSeparators(path));
        action->setStatusTip(QDir::toNativeSeparators(path));
        connect(action, &QAction::triggered, this, errors::Guarded<bool>([this, path](bool) { OpenVideoFile(path); }));
    }
    menu->setToolTipsVisible(true);
    if (files.isEmpty()) menu->addAction(QStringLiteral("(aucun)"))->setEnabled(false);
}

void MainWindow::RememberVideoFolder(const QString& path) {
    recent_files::Add(path);
    window_memory::Settings()->setValue(kVideoFolderKey, QFileInfo(path).absolutePath());
    FillRecentFiles();
}

void MainWindow::RememberOutputFolder() {
    window_memory::Settings()->setValue(kOutputFolderKey, ui_->LabelRepFicImg->text());
}

QImage MainWindow::ShownPicture(bool videoViewer) {
    if (videoViewer) {
        if (!source_.VideoOpen()) return {};
        const int32_t frame = FrameAtPosition(navigation_.CurrentPosition());
        if (frame < 0) return {};
        // Decoded again: the viewer's own picture carries the crop outline.
        imaging::Bitmap output;
        if (!source_.LoadOutputBitmap(frame, output)) return {};
        return output.toImage();
    }
    const imaging::Graphic* graphic = pictureViewer_->picture().graphic();
    if (graphic == nullptr || graphic->isEmpty()) return {};
    InfoWindow* info = pictureViewer_->infoForm();
    // The outline is drawn into the picture by inverting pixels: taken off for the copy.
    const bool outlined = info->outlineDrawn;
    if (outlined) info->DrawCropOutline(true);
    QImage picture = graphic->toImage();
    if (outlined) info->DrawCropOutline(true);
    if (source_.CropEnabled()) {
        const FrameSource::CropRectangle& crop = source_.CropRect();
        picture = picture.copy(crop.left, crop.top, crop.width, crop.height);
    }
    return picture;
}
