// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A radio group: a framed caption over radio buttons arranged in columns, read and set by the
// index of the selected item (-1 for none).

#include <QGroupBox>
#include <QList>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex)
    Q_PROPERTY(int columns READ columns WRITE setColumns)

public:
    explicit RadioGroup(QWidget* parent = nullptr);

    QStringList items() const;
    void setItems(const QStringList& items);

    int itemIndex() const;
    // Selects an item without raising `clicked`; -1 clears the selection.
    void setItemIndex(int index);

    int columns() const { return columns_; }
    void setColumns(int columns);

    QRadioButton* button(int index) const { return buttons_.value(index); }
    int count() const { return int(buttons_.size()); }

signals:
    // The user selected another item; clicking the selected one again raises nothing.
    void clicked(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void arrange();

    QButtonGroup* group_ = nullptr;
    QList<QRadioButton*> buttons_;
    int columns_ = 1;
    bool settingIndex_ = false;
};
