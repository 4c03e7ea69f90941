// SPDX-License-Identifier: GPL-2.0-or-later
#include "framelist/frame_table.h"

#include <algorithm>
#include <numeric>

namespace framelist {

namespace {

// Shared texts: every row points at the same data instead of holding its own copy.
const QString& ViewText() {
    static const QString text = QStringLiteral("Vue AVI");
    return text;
}
const QString& ZeroText() {
    static const QString text = QStringLiteral("0");
    return text;
}
const QString& MarkText() {
    static const QString text = QStringLiteral("X");
    return text;
}

inline char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

}  // namespace

QString FrameName(int32_t frame) { return QString::asprintf("%*.*d", 5, 5, frame); }

FrameRow MakeFrameRow(int32_t frame) {
    FrameRow row;
    row.num = frame;
    row.cells[kColNum] = QString::number(frame);
    row.cells[kColRep] = ViewText();
    row.cells[kColNom] = FrameName(frame);
    row.cells[kColTaille] = ZeroText();
    row.cells[kColTri] = ZeroText();
    return row;
}

int CompareText(const QString& a, const QString& b) {
    const qsizetype n = std::min(a.size(), b.size());
    const char16_t* pa = reinterpret_cast<const char16_t*>(a.constData());
    const char16_t* pb = reinterpret_cast<const char16_t*>(b.constData());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = FoldAscii(pa[i]);
        const char16_t cb = FoldAscii(pb[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int CompareRows(const FrameRow& a, const FrameRow& b, int column) {
    switch (column) {
        case kColNum:
            return a.num < b.num ? -1 : (a.num > b.num ? 1 : 0);
        case kColTri:
            return a.tri > b.tri ? -1 : (a.tri < b.tri ? 1 : 0);
        default:
            if (column < 0 || column >= kColumnCount) return 0;
            return CompareText(a.cells[size_t(column)], b.cells[size_t(column)]);
    }
}

FrameTable::FrameTable(QObject* parent) : QAbstractTableModel(parent) {}

const std::array<const char*, kColumnCount>& FrameTable::Captions() {
    static const std::array<const char*, kColumnCount> captions = {"Sél.", "Num.",  "Rep.",   "Nom", "Qualité",
                                                                   "Zône", "Extra", "Taille", "Tri"};
    return captions;
}

const std::array<int, kColumnCount>& FrameTable::Widths() {
    static const std::array<int, kColumnCount> widths = {30, 40, 80, 130, 40, 40, 40, 60, 60};
    return widths;
}

int FrameTable::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : published_; }

int FrameTable::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant FrameTable::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= published_) return {};
    return rows_[size_t(index.row())].cells[size_t(index.column())];
}

QVariant FrameTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(Captions()[size_t(section)]);
    return {};
}

void FrameTable::clear() {
    beginResetModel();
    rows_.clear();
    published_ = 0;
    dirtyFirst_ = INT32_MAX;
    dirtyLast_ = -1;
    endResetModel();
}

void FrameTable::publishRows() {
    const int count = size();
    if (count == published_) return;
    if (count > published_) {
        beginInsertRows({}, published_, count - 1);
        published_ = count;
        endInsertRows();
    } else {
        beginResetModel();
        published_ = count;
        endResetModel();
    }
}

void FrameTable::markDirty(int row, int column) {
    if (row >= published_) return;
    dirtyFirst_ = std::min(dirtyFirst_, row);
    dirtyLast_ = std::max(dirtyLast_, row);
    dirtyColumnFirst_ = std::min(dirtyColumnFirst_, column);
    dirtyColumnLast_ = std::max(dirtyColumnLast_, column);
}

void FrameTable::setCell(int row, int column, QString text) {
    FrameRow& target = rows_[size_t(row)];
    if (column == kColNum) target.num = text.toInt();
    if (column == kColTri) target.tri = text.toLongLong();
    target.cells[size_t(column)] = std::move(text);
    markDirty(row, column);
}

void FrameTable::setNumber(int row, int column, int64_t value) {
    setCell(row, column, value == 0 ? ZeroText() : QString::number(value));
}

void FrameTable::setTri(int row, int64_t order, QString text) {
    FrameRow& target = rows_[size_t(row)];
    target.tri = order;
    target.cells[kColTri] = std::move(text);
    markDirty(row, kColTri);
}

void FrameTable::setMark(int row, bool marked) {
    QString& mark = rows_[size_t(row)].cells[kColMark];
    if (marked ? mark == MarkText() : mark.isEmpty()) return;
    mark = marked ? MarkText() : QString();
    markDirty(row, kColMark);
}

std::vector<int32_t> FrameTable::markedFrames() const {
    std::vector<int32_t> frames;
    for (const FrameRow& row : rows_) {
        if (row.marked()) frames.push_back(row.num);
    }
    return frames;
}

void FrameTable::clearMeasures() {
    for (int row = 0; row < size(); ++row) {
        if (rows_[size_t(row)].tri != 0 || cell(row, kColTri) != QLatin1String("0")) {
            setNumber(row, kColTaille, 0);
            setNumber(row, kColTri, 0);
        }
    }
    flushChanges();
}

void FrameTable::flushChanges() {
    if (!hasPendingChanges()) return;
    const QModelIndex first = index(dirtyFirst_, dirtyColumnFirst_);
    const QModelIndex last = index(dirtyLast_, dirtyColumnLast_);
    dirtyFirst_ = INT32_MAX;
    dirtyLast_ = -1;
    dirtyColumnFirst_ = kColumnCount;
    dirtyColumnLast_ = -1;
    emit dataChanged(first, last, {Qt::DisplayRole});
}

void FrameTable::sortBy(int column) {
    // Sorting positions rather than rows moves ints instead of nine strings per comparison.
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return CompareRows(rows_[size_t(a)], rows_[size_t(b)], column) < 0; });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<FrameRow> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> newPosition(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(rows_[size_t(order[i])]));
        newPosition[size_t(order[i])] = int(i);
    }
    rows_ = std::move(sorted);

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        const int moved = old.row() < int(newPosition.size()) ? newPosition[size_t(old.row())] : old.row();
        after.push_back(index(moved, old.column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace framelist
