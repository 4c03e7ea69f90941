#include "platform/file_list_french.h"

#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
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

// Widens the detail columns to their headings and values whenever rows come or the list is
// resized; the name column takes the room left. Columns only grow, so a width the user gave
// one stays until a longer value comes.
class ColumnFitter : public QObject {
public:
    explicit ColumnFitter(QTreeView& view) : QObject(&view), view_(view) {
        timer_.setSingleShot(true);
        timer_.setInterval(0);
        connect(&timer_, &QTimer::timeout, this, &ColumnFitter::fit);
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
    void fit() {
        QHeaderView* header = view_.header();
        int details = 0;
        for (int column = Size; column < header->count(); ++column) {
            // QTreeView hides its measure of a column; the base class's is the same virtual one.
            const int values = static_cast<const QAbstractItemView&>(view_).sizeHintForColumn(column);
            const int needed = std::max(values, header->sectionSizeHint(column));
            if (needed > header->sectionSize(column)) header->resizeSection(column, needed);
            details += header->sectionSize(column);
        }
        const int rest = view_.viewport()->width() - details;
        if (rest > header->sectionSize(Name)) header->resizeSection(Name, rest);
    }

    QTreeView& view_;
    QTimer timer_;
};

}  // namespace

void ShowFileListInFrench(QFileDialog& dialog) {
    dialog.setProxyModel(new FrenchFileDetails(&dialog));
    if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) new ColumnFitter(*view);
}

}  // namespace dialogs
