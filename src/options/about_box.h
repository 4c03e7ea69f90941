// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The About box: the program's identity texts in a borderless box that its OK button hides.
// Created hidden at start-up; nothing in the program shows it.

#include <QWidget>
#include <memory>

class QLabel;
class SpeedButton;
namespace Ui {
class AboutBox;
}

class AboutBox : public QWidget {
    Q_OBJECT

public:
    explicit AboutBox(QWidget* parent = nullptr);
    ~AboutBox() override;

    void SetUpControls();
    void OkClicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::AboutBox> ui_;
};
