// SPDX-License-Identifier: GPL-2.0-or-later
// Behaviour of the small controls the forms are built from, driven with real mouse events.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <vector>

#include "imaging/bitmap.h"
#include "widgets/controls/glyphs.h"
#include "widgets/controls/image_control.h"
#include "widgets/controls/radio_group.h"
#include "widgets/controls/report_list.h"
#include "widgets/controls/speed_button.h"
#include "widgets/controls/up_down.h"

namespace {

// Five buttons on one panel: three of group 1, one of group 2, one ungrouped.
struct TransportPanel {
    QWidget panel;
    std::vector<SpeedButton*> buttons;
    TransportPanel() {
        for (int group : {1, 1, 1, 2, 0}) {
            auto* button = new SpeedButton(&panel);
            button->setGroupIndex(group);
            button->setGeometry(int(buttons.size()) * 30, 0, 23, 25);
            buttons.push_back(button);
        }
    }
    std::vector<bool> downStates() const {
        std::vector<bool> states;
        for (const SpeedButton* button : buttons) states.push_back(button->isDown());
        return states;
    }
};

TEST(SpeedButton, GroupedButtonsStayDownAndReleaseTheirGroupOnly) {
    struct Step {
        int click;               // button clicked with the mouse, or -1
        int setDown;             // button set down in code, or -1
        std::vector<bool> down;  // expected states afterwards
    };
    const std::vector<Step> steps = {
        {0, -1, {true, false, false, false, false}},
        {0, -1, {true, false, false, false, false}},  // clicking it again keeps it down
        {1, -1, {false, true, false, false, false}},
        {3, -1, {false, true, false, true, false}},  // another group is independent
        {4, -1, {false, true, false, true, false}},  // an ungrouped button does not latch
        {-1, 2, {false, false, true, true, false}},  // set down in code releases the group too
        {2, -1, {false, false, true, true, false}},
    };
    TransportPanel panel;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].click >= 0) QTest::mouseClick(panel.buttons[steps[i].click], Qt::LeftButton);
        if (steps[i].setDown >= 0) panel.buttons[steps[i].setDown]->setDown(true);
        EXPECT_EQ(panel.downStates(), steps[i].down) << "step " << i;
    }
}

TEST(SpeedButton, EveryClickOfAGroupedButtonIsReported) {
    TransportPanel panel;
    QSignalSpy clicks(panel.buttons[0], &QAbstractButton::clicked);
    QTest::mouseClick(panel.buttons[0], Qt::LeftButton);
    QTest::mouseClick(panel.buttons[0], Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 2);
}

TEST(SpeedButton, NeverTakesTheFocusAndReportsAnyButtonWithShift) {
    QWidget form;
    QLineEdit edit(&form);
    SpeedButton button(&form);
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
    QSignalSpy presses(&button, &SpeedButton::mouseDown);
    QTest::mousePress(&button, Qt::RightButton, Qt::ShiftModifier, QPoint(3, 4));
    QTest::mouseRelease(&button, Qt::RightButton, Qt::ShiftModifier, QPoint(3, 4));
    ASSERT_EQ(presses.count(), 1);
    EXPECT_EQ(presses[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_TRUE(presses[0][1].value<Qt::KeyboardModifiers>().testFlag(Qt::ShiftModifier));
}

TEST(SpeedButton, TwoStateGlyphShowsItsSecondHalfWhenDisabled) {
    struct Case {
        const char* name;
        QPixmap strip;
        QSize image;
    };
    const std::vector<Case> cases = {
        {"first", glyphs::first(), {15, 12}},
        {"previous", glyphs::previous(), {15, 12}},
        {"next", glyphs::next(), {15, 12}},
        {"last", glyphs::last(), {15, 12}},
        {"fastBackward", glyphs::fastBackward(), {16, 16}},
        {"fastForward", glyphs::fastForward(), {16, 16}},
        {"gotoFrame", glyphs::gotoFrame(), {16, 16}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.strip.size(), QSize(c.image.width() * 2, c.image.height()));
        SpeedButton button;
        button.setGlyph(c.strip, 2);
        EXPECT_EQ(button.iconSize(), c.image);
        const QImage normal = button.icon().pixmap(c.image, QIcon::Normal).toImage();
        const QImage disabled = button.icon().pixmap(c.image, QIcon::Disabled).toImage();
        EXPECT_EQ(normal, c.strip.copy(0, 0, c.image.width(), c.image.height()).toImage());
        EXPECT_EQ(disabled, c.strip.copy(c.image.width(), 0, c.image.width(), c.image.height()).toImage());
        EXPECT_NE(normal, disabled);
    }
    EXPECT_EQ(glyphs::play().size(), QSize(11, 18));
    EXPECT_EQ(glyphs::pause().size(), QSize(16, 16));
}

TEST(UpDown, ClicksMoveByOneWithinTheRangeWithoutWrapping) {
    struct Case {
        int minimum, maximum, position;
        std::vector<int> clicks;  // +1 up, -1 down
        QString text;
    };
    const std::vector<Case> cases = {
        {0, 100, 1, {-1, -1, -1}, "0"}, {0, 100, 99, {1, 1, 1}, "100"}, {0, 100, 1, {1, 1, -1}, "2"},
        {1, 100, 100, {1}, "100"},      {0, 32767, 10, {1}, "11"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        QWidget form;
        auto* edit = new QLineEdit(&form);
        auto* spinner = new UpDown(&form);
        spinner->setRange(c.minimum, c.maximum);
        spinner->setPosition(c.position);
        spinner->setBuddy(edit);
        EXPECT_EQ(edit->text(), QString::number(c.position));
        for (int click : c.clicks) {
            QTest::mouseClick(click > 0 ? spinner->upButton() : spinner->downButton(), Qt::LeftButton);
        }
        EXPECT_EQ(edit->text(), c.text);
        EXPECT_EQ(spinner->position(), c.text.toInt());
    }
}

TEST(UpDown, FollowsANumberTypedIntoItsBuddy) {
    QWidget form;
    auto* edit = new QLineEdit(&form);
    auto* spinner = new UpDown(&form);
    spinner->setRange(0, 100);
    spinner->setBuddy(edit);
    EXPECT_EQ(spinner->size(), QSize(12, 21));

    edit->setText("42");
    EXPECT_EQ(spinner->position(), 42);
    QTest::mouseClick(spinner->upButton(), Qt::LeftButton);
    EXPECT_EQ(edit->text(), "43");

    edit->setText("abc");  // not a number: the position stays
    EXPECT_EQ(spinner->position(), 43);
    QTest::mouseClick(spinner->downButton(), Qt::LeftButton);
    EXPECT_EQ(edit->text(), "42");
}

TEST(RadioGroup, ReportsOnlyTheUsersChangesOfSelection) {
    RadioGroup group;
    group.setTitle("Numérotation:");
    group.resize(89, 65);
    group.setItems({"Normale", "Formatée", "Aucune"});
    group.setItemIndex(0);
    QSignalSpy clicks(&group, &RadioGroup::clicked);

    group.setItemIndex(1);  // in code: no signal
    EXPECT_EQ(group.itemIndex(), 1);
    EXPECT_EQ(clicks.count(), 0);

    QTest::mouseClick(group.button(2), Qt::LeftButton);
    EXPECT_EQ(group.itemIndex(), 2);
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks[0][0].toInt(), 2);

    QTest::mouseClick(group.button(2), Qt::LeftButton);  // already selected
    EXPECT_EQ(clicks.count(), 1);

    group.setEnabled(false);
    QTest::mouseClick(group.button(0), Qt::LeftButton);
    EXPECT_EQ(group.itemIndex(), 2);
    EXPECT_EQ(clicks.count(), 1);

    group.setItemIndex(-1);
    EXPECT_EQ(group.itemIndex(), -1);
}

TEST(RadioGroup, ItemsFillColumnsTopToBottom) {
    RadioGroup group;
    group.resize(145, 33);
    group.setColumns(3);
    group.setItems({"Abs", "Tout", "%"});
    EXPECT_LT(group.button(0)->x(), group.button(1)->x());
    EXPECT_LT(group.button(1)->x(), group.button(2)->x());
    EXPECT_EQ(group.button(0)->y(), group.button(2)->y());
}

// An image control at (10, 10) of a shown window, holding a 100 x 80 picture.
struct ImageWindow {
    QWidget window;
    ImageControl* image = new ImageControl(&window);
    ImageWindow() {
        window.resize(300, 300);
        image->setGeometry(10, 10, 100, 80);
        QImage pixels(100, 80, QImage::Format_RGB888);
        pixels.fill(Qt::white);
        image->picture().setGraphic(std::make_unique<imaging::Bitmap>(pixels, imaging::PixelLayout::Bits24));
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QWindow* handle() const { return window.windowHandle(); }
    QPoint inWindow(int x, int y) const { return QPoint(10 + x, 10 + y); }
};

TEST(ImageControl, ReportsButtonShiftAndPicturePixels) {
    ImageWindow w;
    QSignalSpy downs(w.image, &ImageControl::mouseDown);
    QSignalSpy ups(w.image, &ImageControl::mouseUp);
    QTest::mousePress(w.handle(), Qt::LeftButton, Qt::ShiftModifier, w.inWindow(7, 9));
    QTest::mouseRelease(w.handle(), Qt::LeftButton, Qt::ShiftModifier, w.inWindow(7, 9));
    ASSERT_EQ(downs.count(), 1);
    EXPECT_EQ(downs[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
    // The state of a press already holds the button just pressed.
    EXPECT_TRUE(downs[0][1].value<Qt::MouseButtons>().testFlag(Qt::LeftButton));
    EXPECT_TRUE(downs[0][2].value<Qt::KeyboardModifiers>().testFlag(Qt::ShiftModifier));
    EXPECT_EQ(downs[0][3].toInt(), 7);
    EXPECT_EQ(downs[0][4].toInt(), 9);
    ASSERT_EQ(ups.count(), 1);
    EXPECT_EQ(ups[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_FALSE(ups[0][1].value<Qt::MouseButtons>().testFlag(Qt::LeftButton));

    QSignalSpy rightDowns(w.image, &ImageControl::mouseDown);
    QTest::mouseClick(w.handle(), Qt::RightButton, Qt::NoModifier, w.inWindow(50, 40));
    ASSERT_EQ(rightDowns.count(), 1);
    EXPECT_EQ(rightDowns[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_FALSE(rightDowns[0][2].value<Qt::KeyboardModifiers>().testFlag(Qt::ShiftModifier));
}

TEST(ImageControl, ReportsMovesWithoutAButton) {
    ImageWindow w;
    QSignalSpy moves(w.image, &ImageControl::mouseMove);
    QTest::mouseMove(w.handle(), w.inWindow(20, 30));
    ASSERT_GE(moves.count(), 1);
    EXPECT_EQ(moves.last()[0].value<Qt::MouseButtons>(), Qt::NoButton);
    EXPECT_EQ(moves.last()[2].toInt(), 20);
    EXPECT_EQ(moves.last()[3].toInt(), 30);
}

TEST(ImageControl, ADragThatLeavesTheControlKeepsReportingUntilRelease) {
    ImageWindow w;
    QTest::mousePress(w.handle(), Qt::LeftButton, Qt::NoModifier, w.inWindow(50, 40));
    QSignalSpy moves(w.image, &ImageControl::mouseMove);
    QSignalSpy ups(w.image, &ImageControl::mouseUp);
    struct Point {
        int x, y;
    };
    // Over the parent, then beyond the window itself.
    const std::vector<Point> path = {{-5, 20}, {150, 200}, {-8, -9}, {400, 50}};
    for (const Point& p : path) QTest::mouseMove(w.handle(), w.inWindow(p.x, p.y));
    QTest::mouseRelease(w.handle(), Qt::LeftButton, Qt::NoModifier, w.inWindow(180, 190));
    ASSERT_GE(moves.count(), int(path.size()));
    for (size_t i = 0; i < path.size(); ++i) {
        const auto& args = moves[qsizetype(i)];
        EXPECT_TRUE(args[0].value<Qt::MouseButtons>().testFlag(Qt::LeftButton)) << i;
        EXPECT_EQ(args[2].toInt(), path[i].x) << i;
        EXPECT_EQ(args[3].toInt(), path[i].y) << i;
    }
    ASSERT_EQ(ups.count(), 1);
    EXPECT_EQ(ups[0][3].toInt(), 180);
    EXPECT_EQ(ups[0][4].toInt(), 190);
}

TEST(ImageControl, PaintsItsPictureAtNaturalSizeAndRepaintsOnChange) {
    QWidget window;
    auto* image = new ImageControl(&window);
    image->setGeometry(0, 0, 40, 30);
    QImage pixels(20, 10, QImage::Format_RGB888);
    pixels.fill(Qt::red);
    image->picture().setGraphic(std::make_unique<imaging::Bitmap>(pixels, imaging::PixelLayout::Bits24));
    QImage shot = image->grab().toImage();
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(19, 9), QColor(Qt::red));
    EXPECT_NE(shot.pixelColor(20, 9), QColor(Qt::red));  // not stretched
    EXPECT_NE(shot.pixelColor(19, 10), QColor(Qt::red));

    pixels.fill(Qt::blue);
    image->picture().bitmap().setImage(pixels, imaging::PixelLayout::Bits24);
    shot = image->grab().toImage();
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(Qt::blue));
}

TEST(ReportList, HeaderClicksAndRowHitTesting) {
    QStandardItemModel model(3, 2);
    for (int r = 0; r < 3; ++r) model.setItem(r, 0, new QStandardItem(QString::number(r)));
    ReportList list;
    list.resize(200, 300);
    list.setModel(&model);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));

    EXPECT_TRUE(list.showGrid());
    EXPECT_FALSE(list.horizontalHeader()->isSortIndicatorShown());
    QSignalSpy columns(&list, &ReportList::columnClicked);
    QHeaderView* header = list.horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    ASSERT_EQ(columns.count(), 1);
    EXPECT_EQ(columns[0][0].toInt(), 1);

    const int rowHeight = list.rowHeight(0);
    EXPECT_EQ(list.rowAtPoint(QPoint(5, rowHeight / 2)), 0);
    EXPECT_EQ(list.rowAtPoint(QPoint(5, rowHeight * 2 + rowHeight / 2)), 2);
    EXPECT_EQ(list.rowAtPoint(QPoint(5, rowHeight * 3 + 2)), -1);  // below the last row

    QSignalSpy presses(&list, &ReportList::mouseDown);
    QTest::mouseClick(list.viewport(), Qt::RightButton, Qt::ShiftModifier, QPoint(5, rowHeight + 2));
    ASSERT_EQ(presses.count(), 1);
    EXPECT_EQ(presses[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(list.rowAtPoint(QPoint(presses[0][2].toInt(), presses[0][3].toInt())), 1);
}

}  // namespace
