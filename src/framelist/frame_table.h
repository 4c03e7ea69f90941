// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The frame list's rows: one row per frame, nine text cells, shown by the list window's report
// list. The numeric cells ("Num.", "Tri") also keep their value as an int so that sorting a
// long video's table never parses text.

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace framelist {

enum Column : int {
    kColMark = 0,
    kColNum = 1,
    kColRep = 2,
    kColNom = 3,
    kColQualite = 4,
    kColZone = 5,
    kColExtra = 6,
    kColTaille = 7,
    kColTri = 8,
    kColumnCount = 9,
};

struct FrameRow {
    std::array<QString, kColumnCount> cells;
    int32_t num = 0;  // value of cells[kColNum]
    int64_t tri = 0;  // value of cells[kColTri]

    bool marked() const { return cells[kColMark] == QLatin1String("X"); }
};

// A fresh row for a frame: "n", "Vue AVI", "0000n", three empty cells, "0", "0".
FrameRow MakeFrameRow(int32_t frame);
// The "Nom" text of a frame: at least five digits, zero-padded.
QString FrameName(int32_t frame);

// Case-insensitive for ASCII letters only, code by code; a prefix comes first.
int CompareText(const QString& a, const QString& b);
// The list's comparison: numeric for "Num." and "Tri" ("Tri" largest first), text otherwise.
int CompareRows(const FrameRow& a, const FrameRow& b, int column);

class FrameTable : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit FrameTable(QObject* parent = nullptr);

    static const std::array<const char*, kColumnCount>& Captions();
    static const std::array<int, kColumnCount>& Widths();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Rows held, including rows appended but not yet published to the views.
    int size() const { return int(rows_.size()); }
    const FrameRow& row(int index) const { return rows_[size_t(index)]; }
    const QString& cell(int row, int column) const { return rows_[size_t(row)].cells[size_t(column)]; }

    void clear();
    void reserve(int count) { rows_.reserve(size_t(count)); }
    // Appends without telling the views; publishRows() tells them, so a long build does not make
    // the list lay itself out once per row.
    void appendRow(FrameRow row) { rows_.push_back(std::move(row)); }
    void publishRows();

    void setCell(int row, int column, QString text);
    void setNumber(int row, int column, int64_t value);
    // "Tri": its text, and the value it sorts by, largest first.
    void setTri(int row, int64_t order, QString text);
    void setMark(int row, bool marked);
    // The frames of the marked rows, in row order.
    std::vector<int32_t> markedFrames() const;
    // Every row back to no measure ("0" in "Taille" and "Tri"), as a new ranking starts.
    void clearMeasures();

    // Views hear of changed cells in ranges: flushChanges() reports every cell changed since the
    // last flush as one range of rows.
    void flushChanges();
    bool hasPendingChanges() const { return dirtyFirst_ <= dirtyLast_; }

    // Stable sort of all rows with CompareRows; persistent indexes follow their rows.
    void sortBy(int column);

private:
    void markDirty(int row, int column);

    std::vector<FrameRow> rows_;
    int published_ = 0;
    int dirtyFirst_ = INT32_MAX;
    int dirtyLast_ = -1;
    int dirtyColumnFirst_ = kColumnCount;
    int dirtyColumnLast_ = -1;
};

}  // namespace framelist
