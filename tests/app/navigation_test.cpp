// SPDX-License-Identifier: GPL-2.0-or-later
// Moving through positions: clamping and wrapping, the play state, the slideshow and the keys.

#include "app/position_text.h"
#include "framelist/frame_list_window.h"
#include "main_window_fixture.h"
#include "widgets/keys.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>

namespace {

struct StepCase {
    const char* name;
    bool loop;
    int start;
    void (MainWindow::*command)();
    int expected;
};

}  // namespace

TEST_F(MainWindowTest, StepCommandsClampOrWrapAtTheEnds) {
    OpenFixture(100);
    const StepCase cases[] = {
        {"fast forward wraps", true, 98, &MainWindow::StepForwardFast, 0},
        {"fast backward wraps", true, 1, &MainWindow::StepBackFast, 99},
        {"fast forward stops at the end", false, 98, &MainWindow::StepForwardFast, 99},
        {"fast backward stops at the start", false, 1, &MainWindow::StepBackFast, 0},
        {"next wraps from the end", true, 99, &MainWindow::StepForward, 0},
        {"previous wraps from the start", true, 0, &MainWindow::StepBack, 99},
        {"first", false, 50, &MainWindow::GoToFirst, 0},
        {"last", false, 50, &MainWindow::GoToLast, 99},
    };
    for (const StepCase& c : cases) {
        ui().CheckBoxBoucle->setChecked(c.loop);
        ui().TrackBarVideo->setValue(c.start);
        ASSERT_EQ(navigation.CurrentPosition(), c.start) << c.name;
        (window.get()->*c.command)();
        EXPECT_EQ(navigation.CurrentPosition(), c.expected) << c.name;
        EXPECT_EQ(ui().TrackBarVideo->value(), c.expected) << c.name;
        EXPECT_EQ(ShownFrameNumber(), c.expected) << c.name;
        EXPECT_EQ(window->VideoViewer()->windowTitle(), QString("Vue Avi: %1 - Ligne: %1").arg(c.expected)) << c.name;
    }
}

TEST_F(MainWindowTest, SlideshowShowsEveryPositionOnceAndEndsPaused) {
    OpenFixture(100);
    std::vector<int> shown;
    QObject::connect(ui().TrackBarVideo, &QSlider::valueChanged, [&](int value) { shown.push_back(value); });
    ui().SpeedButtonDemarrer->click();
    std::vector<int> expected;
    for (int i = 1; i < 100; ++i) expected.push_back(i);  // position 0 was already on the bar
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(ShownFrameNumber(), 99);
    EXPECT_EQ(ui().LabelEtat->text(), "Pause Lecture");
    EXPECT_TRUE(window->isPaused());
    EXPECT_FALSE(navigation.RunFlag());
}

TEST_F(MainWindowTest, SlideshowAtTheEndWithLoopStartsOver) {
    OpenFixture(10);
    ui().CheckBoxBoucle->setChecked(true);
    ui().TrackBarVideo->setValue(9);
    int shownCount = 0;
    QObject::connect(ui().TrackBarVideo, &QSlider::valueChanged, [&](int value) {
        // Stop after two rounds: the loop wraps forever otherwise.
        if (++shownCount == 20) navigation.SetRunFlag(false);
        EXPECT_GE(value, 0);
    });
    ui().SpeedButtonDemarrer->click();
    EXPECT_EQ(shownCount, 20);
    EXPECT_EQ(ui().LabelEtat->text(), "Pause Lecture");
}

TEST_F(MainWindowTest, SpaceStartsTheSlideshowOnlyAfterAFirstOne) {
    OpenFixture(5);
    QWidget* target = ui().TrackBarVideo;
    Focus(target);
    QTest::keyClick(target, Qt::Key_Space);
    EXPECT_FALSE(window->slideshowStarted());
    EXPECT_EQ(navigation.CurrentPosition(), 0);
    EXPECT_EQ(ui().LabelEtat->text(), QString("Lecture Arrêtée"));

    ui().SpeedButtonDemarrer->click();  // plays to the end
    EXPECT_EQ(ui().LabelEtat->text(), "Pause Lecture");
    Focus(target);
    QTest::keyClick(target, Qt::Key_Home);
    // Space while paused plays again from the current position, to the end.
    QTest::keyClick(target, Qt::Key_Space);
    EXPECT_EQ(navigation.CurrentPosition(), 4);
    EXPECT_EQ(ui().LabelEtat->text(), "Pause Lecture");
    // Pause pressed while paused: "playing" without a loop; the next Space pauses.
    ui().SpeedButtonPause->click();
    EXPECT_EQ(ui().LabelEtat->text(), "Lecture en Cours");
    QTest::keyClick(target, Qt::Key_Space);
    EXPECT_EQ(ui().LabelEtat->text(), "Pause Lecture");
}

TEST_F(MainWindowTest, KeyMapMovesThroughFramesFromEveryWindow) {
    OpenFixture(30);
    struct KeyCase {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int expected;
    };
    const KeyCase cases[] = {
        {Qt::Key_Right, Qt::NoModifier, 1},    {Qt::Key_N, Qt::ShiftModifier, 2},
        {Qt::Key_Down, Qt::NoModifier, 3},     {Qt::Key_Semicolon, Qt::NoModifier, 6},
        {Qt::Key_PageDown, Qt::NoModifier, 9}, {Qt::Key_X, Qt::NoModifier, 6},
        {Qt::Key_PageUp, Qt::NoModifier, 3},   {Qt::Key_V, Qt::NoModifier, 2},
        {Qt::Key_Left, Qt::NoModifier, 1},     {Qt::Key_Up, Qt::NoModifier, 0},
        {Qt::Key_End, Qt::NoModifier, 29},     {Qt::Key_Home, Qt::NoModifier, 0},
    };
    Focus(ui().TrackBarVideo);
    for (const KeyCase& c : cases) {
        QTest::keyClick(ui().TrackBarVideo, c.key, c.modifiers);
        EXPECT_EQ(navigation.CurrentPosition(), c.expected) << QKeySequence(c.key).toString().toStdString();
    }
    // The same map works in the viewers.
    for (FrameViewer* viewer : {window->VideoViewer(), window->PictureViewer()}) {
        const int before = navigation.CurrentPosition();
        int key = keys::kNext;
        window->KeyDown(key);
        EXPECT_EQ(key, 0);
        EXPECT_EQ(navigation.CurrentPosition(), before + 3);
        viewer->show();
        QTest::keyClick(viewer, Qt::Key_Right);
        EXPECT_EQ(navigation.CurrentPosition(), before + 4) << "key in a viewer";
    }
}

// "Aller à l'image..." (Ctrl+G, from any window) takes a frame number or a time, and moves as the
// other commands move: paused, within the range, at the frame's row in the list's sequence.
TEST_F(MainWindowTest, GoToTakesAFrameNumberOrATime) {
    using position_text::Target;
    struct ParseCase {
        const char* text;
        Target::Kind kind;
        double value;  // frame or seconds
    };
    const ParseCase parses[] = {
        {"250", Target::Kind::Frame, 250},     {" 7 ", Target::Kind::Frame, 7},
        {"1:23,4", Target::Kind::Time, 83.4},  {"1:23.4", Target::Kind::Time, 83.4},
        {"83.4 s", Target::Kind::Time, 83.4},  {"83,4s", Target::Kind::Time, 83.4},
        {"1:02:03", Target::Kind::Time, 3723}, {"0:05", Target::Kind::Time, 5},
        {"1:60", Target::Kind::Invalid, 0},    {"-3", Target::Kind::Invalid, 0},
        {"abc", Target::Kind::Invalid, 0},     {"1:2:3:4", Target::Kind::Invalid, 0},
        {"s", Target::Kind::Invalid, 0},       {"", Target::Kind::Invalid, 0},
    };
    for (const ParseCase& c : parses) {
        const Target target = position_text::Parse(c.text);
        EXPECT_EQ(target.kind, c.kind) << c.text;
        if (c.kind == Target::Kind::Frame) EXPECT_EQ(target.frame, int64_t(c.value)) << c.text;
        if (c.kind == Target::Kind::Time) EXPECT_NEAR(target.seconds, c.value, 1e-9) << c.text;
    }

    OpenFixture(60);
    const double frame37 = frameSource.FrameTime(37);
    const QString time37 = QString("0:%1").arg(frame37, 0, 'f', 2).replace('.', ',');
    struct GoCase {
        QString typed;
        int expected;  // position; -1: a message and no move
    };
    const GoCase goes[] = {
        {"12", 12}, {time37, 37}, {QString::number(frame37, 'f', 3) + " s", 37}, {"9999", 59}, {"dix", -1}};
    Focus(ui().TrackBarVideo);
    for (const GoCase& c : goes) {
        const int before = navigation.CurrentPosition();
        const int asked = dialogs->textRequests();
        dialogs->clearRecords();
        dialogs->queueText(c.typed);
        QTest::keyClick(window->VideoViewer(), Qt::Key_G, Qt::ControlModifier);
        EXPECT_EQ(dialogs->textRequests(), asked + 1) << c.typed.toStdString();
        EXPECT_EQ(navigation.CurrentPosition(), c.expected < 0 ? before : c.expected) << c.typed.toStdString();
        EXPECT_EQ(dialogs->messages().size(), c.expected < 0 ? 1u : 0u) << c.typed.toStdString();
        EXPECT_TRUE(window->isPaused());
    }
    // In the list's sequence, the frame's row after a ranking.
    window->ShowFrameList();
    window->ListWindow()->RankRows();
    window->ListWindow()->RowPressed(Qt::LeftButton, {}, 5, 1);
    ASSERT_FALSE(navigation.VideoSequence());
    dialogs->queueText("21");
    window->GoToPosition();
    EXPECT_EQ(window->ListWindow()->FrameAtRow(navigation.CurrentPosition()), 21);
    EXPECT_EQ(ui().SpeedButtonGoto->text(), "21");
}

TEST_F(MainWindowTest, ListSequenceNeedsABuiltList) {
    OpenFixture(5);
    ui().SpeedButtonSequence->click();
    ASSERT_EQ(dialogs->messages().size(), 1u);
    EXPECT_EQ(dialogs->messages()[0].text, QString("Créez une Liste avant de Changer cet Elément"));
    EXPECT_EQ(dialogs->messages()[0].caption, QString("Séquence Liste"));
    EXPECT_EQ(ui().SpeedButtonSequence->text(), QString("Séquence AVI"));
    EXPECT_TRUE(navigation.VideoSequence());
}

TEST_F(MainWindowTest, WithoutAVideoKeysAndButtonsShowNothing) {
    ui().SpeedButtonAv->click();
    ui().SpeedButtonDemarrer->click();
    EXPECT_EQ(ui().TrackBarVideo->value(), 0);
    EXPECT_FALSE(window->slideshowStarted());
    int key = keys::kRight;
    window->KeyDown(key);
    EXPECT_EQ(key, 0);
}

TEST_F(MainWindowTest, ClosingTheMainWindowStopsARunningSlideshow) {
    OpenFixture(10);
    ui().CheckBoxBoucle->setChecked(true);
    int shownCount = 0;
    QObject::connect(ui().TrackBarVideo, &QSlider::valueChanged, [&](int) {
        if (++shownCount == 5) window->close();
    });
    ui().SpeedButtonDemarrer->click();  // returns only because closing cleared the loop's flag
    EXPECT_EQ(shownCount, 5);
    EXPECT_FALSE(frameSource.VideoOpen());
}

// Coming back to the window enters no control, whether the focus comes back where it was or
// onto the control given it while the window was away (as at the late first activation of a
// window shown without a window manager).
TEST_F(MainWindowTest, ComingBackToTheWindowIsNotEnteringTheTrackBar) {
    OpenFixture(5);
    ui().SpeedButtonDemarrer->click();  // a first slideshow, played to its end
    for (bool focusedWhileAway : {false, true}) {
        Focus(focusedWhileAway ? static_cast<QWidget*>(ui().EditDebut) : ui().TrackBarVideo);
        ui().SpeedButtonPause->click();
        ASSERT_EQ(ui().LabelEtat->text(), "Lecture en Cours") << focusedWhileAway;
        QApplication::setActiveWindow(window->VideoViewer());
        QApplication::processEvents();
        if (focusedWhileAway) ui().TrackBarVideo->setFocus();
        QApplication::setActiveWindow(window.get());
        QApplication::processEvents();
        EXPECT_TRUE(ui().TrackBarVideo->hasFocus()) << focusedWhileAway;
        EXPECT_EQ(ui().LabelEtat->text(), "Lecture en Cours") << focusedWhileAway;
        EXPECT_FALSE(window->isPaused()) << focusedWhileAway;
        ui().SpeedButtonPause->click();
    }
}

// "Cadence de la Vidéo", in the "Voir" menu and ticked at start, holds each frame of the
// slideshow back until its presentation time counted from the start of playback.
TEST_F(MainWindowTest, SlideshowAtTheVideosPaceShowsNoFrameBeforeItsTime) {
    auto* pace = window->findChild<QAction*>("CadenceVideo1");
    ASSERT_NE(pace, nullptr);
    EXPECT_EQ(pace->text(), QString("Cadence de la Vidéo"));
    EXPECT_TRUE(pace->isCheckable());
    EXPECT_TRUE(pace->isChecked());
    auto* menu = window->findChild<QMenu*>("Voir1");
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions().contains(pace));

    OpenFixture(12);
    QElapsedTimer clock;
    std::vector<std::pair<int, double>> shown;  // position, seconds since the click
    QObject::connect(ui().TrackBarVideo, &QSlider::valueChanged, [&](int value) {
        shown.push_back({value, double(clock.nsecsElapsed()) / 1e9});
    });
    clock.start();
    ui().SpeedButtonDemarrer->click();
    const double ended = double(clock.nsecsElapsed()) / 1e9;
    ASSERT_EQ(shown.size(), 11u);
    for (const auto& [position, at] : shown) EXPECT_GE(at, frameSource.FrameTime(position)) << position;
    // The last frame stays for its own time before the slideshow ends.
    EXPECT_GE(ended, 12 / 25.0);
    EXPECT_EQ(ui().LabelEtat->text(), "Pause Lecture");
}
