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
    void SpeedButton1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::AboutBox> ui_;
    QLabel* ProgramIcon = nullptr;
    QLabel* Auteur = nullptr;
    QLabel* Comments1 = nullptr;
    QLabel* Version = nullptr;
    QLabel* Comments2 = nullptr;
    QLabel* Copyright = nullptr;
    SpeedButton* SpeedButton1 = nullptr;
};
