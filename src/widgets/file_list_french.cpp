// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/file_list_french.h"

#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

namespace dialogs {

namespace {

// The columns of QFileSystemModel.
enum Column { Name, Size, Type, Date };

// Qt's file model formats sizes and dates in the system's locale and names folders in English;
// a proxy gives them in French. File types come from the MIME database in the program's locale.
class FrenchFileDetails : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || files == nullptr || index.column() == Name) {
            return QIdentityProxyModel::data(index, role);
        }
        const QFileInfo info = files->fileInfo(mapToSource(index));
        switch (index.column()) {
            case Size:
                return info.isDir() ? QString() : french_.formattedDataSize(info.size());
            case Type:
                return info.isDir() ? QStringLiteral("Dossier") : QIdentityProxyModel::data(index, role);
            case Date:
                return french_.toString(info.lastModified(), QLocale::ShortFormat);
            default:
                return QIdentityProxyModel::data(index, role);
        }
    }

private:
    const QLocale french_{QLocale::French, QLocale::France};
};

// Widens the places beside the list to their longest name, and the detail columns to their
// headings and values, whenever rows come or the list is resized; the name column takes the room
// left, but never less than its names need. Detail columns only grow, so a width the user gave
// one stays until a longer value comes.
class ListFitter : public QObject {
public:
    ListFitter(QFileDialog& dialog, QTreeView& view) : QObject(&dialog), dialog_(dialog), view_(view) {
        timer_.setSingleShot(true);
        timer_.setInterval(0);
        connect(&timer_, &QTimer::timeout, this, &ListFitter::fit);
        QAbstractItemModel* model = view.model();
        connect(model, &QAbstractItemModel::rowsInserted, &timer_, qOverload<>(&QTimer::start));
        connect(model, &QAbstractItemModel::dataChanged, &timer_, qOverload<>(&QTimer::start));
        connect(model, &QAbstractItemModel::layoutChanged, &timer_, qOverload<>(&QTimer::start));
        view.viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show) timer_.start();
        return QObject::eventFilter(watched, event);
    }

private:
    // QTreeView and QListView hide their measure of a column; the base class's is the same
    // virtual one.
    static int ValuesWidth(const QAbstractItemView& view, int column) { return view.sizeHintForColumn(column); }

    void fitPlaces() {
        auto* places = dialog_.findChild<QAbstractItemView*>(QStringLiteral("sidebar"));
        auto* splitter = dialog_.findChild<QSplitter*>(QStringLiteral("splitter"));
        if (places == nullptr || splitter == nullptr || splitter->count() < 2) return;
        const int needed = ValuesWidth(*places, 0) + 2 * places->frameWidth();
        QList<int> sizes = splitter->sizes();
        const int missing = needed - sizes[0];
        if (missing <= 0 || sizes[1] <= missing) return;
        sizes[0] += missing;
        sizes[1] -= missing;
        splitter->setSizes(sizes);
    }

    void fit() {
        fitPlaces();
        QHeaderView* header = view_.header();
        int details = 0;
        for (int column = Size; column < header->count(); ++column) {
            const int needed = std::max(ValuesWidth(view_, column), header->sectionSizeHint(column));
            if (needed > header->sectionSize(column)) header->resizeSection(column, needed);
            details += header->sectionSize(column);
        }
        const int names = std::max(ValuesWidth(view_, Name), header->sectionSizeHint(Name));
        header->resizeSection(Name, std::max(names, view_.viewport()->width() - details));
    }

    QFileDialog& dialog_;
    QTreeView& view_;
    QTimer timer_;
};

}  // namespace

void ShowFileListInFrench(QFileDialog& dialog) {
    dialog.setProxyModel(new FrenchFileDetails(&dialog));
    if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) new ListFitter(dialog, *view);
}

}  // namespace dialogs
