// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A main window under test with scripted dialogs, and fixture videos to open in it.

#include <gtest/gtest.h>
#include <QImage>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "framesource/frame_source.h"
#include "imaging/bitmap.h"
#include "main_controls.h"
#include "navigation/navigation.h"
#include "support/fixture_video.h"
#include "support/scripted_dialogs.h"
#include "viewer/frame_viewer.h"
#include "widgets/window_memory.h"

class MainWindowTest : public ::testing::Test {
protected:
    // The program's video and navigation, handed to the window as main() hands them.
    FrameSource frameSource;
    Navigation navigation;

    void SetUp() override {
        ASSERT_TRUE(dir.IsValid());
        // Each test starts as a first run: no folders, files or windows remembered.
        window_memory::Settings()->clear();
        window = std::make_unique<MainWindow>(frameSource, navigation);
        window->show();
        controls = std::make_unique<MainControls>(*window);
        QApplication::setActiveWindow(window.get());
    }

    // Gives a control the keyboard focus in the active main window.
    void Focus(QWidget* control) {
        QApplication::processEvents();  // a viewer shown just before may still take the activation
        QApplication::setActiveWindow(window.get());
        control->setFocus();
        ASSERT_TRUE(control->hasFocus()) << control->objectName().toStdString();
    }

    void TearDown() override {
        window->close();
        controls.reset();
        window.reset();
        frameSource.CloseVideo();
        navigation.SetRunFlag(false);
    }

    MainControls& ui() { return *controls; }

    // Writes a fixture video and opens it through "Ouvrir...".
    std::string OpenFixture(int frames, int width = 160, int height = 120,
                            fixture::Codec codec = fixture::Codec::Rgb24) {
        fixture::VideoOptions options;
        options.codec = codec;
        options.frames = frames;
        options.width = width;
        options.height = height;
        const std::string path = dir.File("clip" + std::to_string(frames) + ".avi");
        EXPECT_TRUE(fixture::WriteVideo(path, options));
        dialogs->queueFiles({QString::fromStdString(path)});
        ui().SpeedButtonOuvrirAvi->click();
        return path;
    }

    // The frame number painted into a picture.
    static int FrameNumberOf(const QImage& picture) {
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
        const int stride = ((rgb.width() * 3 + 3) / 4) * 4;
        std::vector<uint8_t> rows(size_t(stride) * rgb.height());
        for (int y = 0; y < rgb.height(); ++y) {
            const uchar* source = rgb.constScanLine(y);
            uint8_t* destination = rows.data() + size_t(rgb.height() - 1 - y) * stride;
            for (int x = 0; x < rgb.width(); ++x) {
                destination[3 * x] = source[3 * x + 2];
                destination[3 * x + 1] = source[3 * x + 1];
                destination[3 * x + 2] = source[3 * x];
            }
        }
        return fixture::ReadFrameNumber(rows.data(), rgb.width(), rgb.height(), stride);
    }

    int ShownFrameNumber() { return FrameNumberOf(window->VideoViewer()->bitmap().image()); }

    void PressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(target, key, modifiers);
    }

    fixture::TempDir dir;
    testing_support::ScopedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainControls> controls;
};
