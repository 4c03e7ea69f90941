// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/controls/report_list.h"

#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>

ReportList::ReportList(QWidget* parent) : QTableView(parent) {
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);  // compact rows
    horizontalHeader()->setSortIndicatorShown(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &ReportList::columnClicked);
}

int ReportList::rowAtPoint(QPoint point) const {
    if (model() == nullptr || point.x() < 0 || point.x() >= viewport()->width()) return -1;
    return rowAt(point.y());
}

void ReportList::setColumnWidths(const QList<int>& widths) {
    for (int i = 0; i < widths.size(); ++i) setColumnWidth(i, widths[i]);
}

void ReportList::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    emit mouseDown(event->button(), event->modifiers(), at.x(), at.y());
    QTableView::mousePressEvent(event);
}

// The second press of a quick double click is a press all the same (a second right click
// toggles a mark back).
void ReportList::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    emit mouseDown(event->button(), event->modifiers(), at.x(), at.y());
    QTableView::mouseDoubleClickEvent(event);
}

void ReportList::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    // The form's font arrives after construction; rows follow it.
    if (event->type() == QEvent::FontChange) {
        verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    }
}
