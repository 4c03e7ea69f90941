// SPDX-License-Identifier: GPL-2.0-or-later
// The About box: hidden after creation, identity texts in place, OK hides it.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "options/about_box.h"
#include "widgets/controls/speed_button.h"

namespace {

TEST(AboutBox, ExistsHiddenWithTheIdentityTexts) {
    AboutBox box;
    EXPECT_FALSE(box.isVisible());
    EXPECT_TRUE(box.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(box.size(), QSize(293, 232));

    struct Case {
        const char* label;
        QString text;
    };
    const Case cases[] = {
        {"Version", "préVersion : 0.30"},
        {"Comments1", "Tri et Conversion de Fichiers Vidéo"},
        {"Comments2", "Version Libre"},
    };
    for (const Case& c : cases) {
        auto* label = box.findChild<QLabel*>(c.label);
        ASSERT_NE(label, nullptr) << c.label;
        EXPECT_EQ(label->text(), c.text) << c.label;
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(c.text.split(' ').first()));
    }
    for (const char* credit : {"Auteur", "Copyright"}) {
        auto* label = box.findChild<QLabel*>(credit);
        ASSERT_NE(label, nullptr) << credit;
        EXPECT_FALSE(label->text().isEmpty());
        EXPECT_NE(label->text(), QString(credit));  // the design caption was replaced
    }
}

TEST(AboutBox, OkHidesIt) {
    AboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    auto* ok = box.findChild<SpeedButton*>("SpeedButton1");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(ok->geometry(), QRect(208, 176, 49, 33));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
}

}  // namespace
