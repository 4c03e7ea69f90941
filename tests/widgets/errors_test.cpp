// SPDX-License-Identifier: GPL-2.0-or-later
// The guard at a handler's edge: what the user sees for each kind of error, and that the
// program goes on.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <cerrno>
#include <functional>
#include <stdexcept>
#include <vector>

#include "base/errors.h"
#include "support/scripted_dialogs.h"
#include "widgets/slot_guard.h"

namespace {

using testing_support::ScopedDialogs;

TEST(Guard, ShowsEachKindOfErrorOnceAndDropsTheSilentAbort) {
    struct Case {
        const char* name;
        std::function<void()> body;
        QStringList shown;
    };
    const std::vector<Case> cases = {
        {"no error", [] {}, {}},
        {"silent abort", [] { throw errors::SilentAbort(); }, {}},
        {"error",
         [] { throw errors::Error("Impossible de créer le fichier /x/IMAGE1.BMP"); },
         {"Impossible de créer le fichier /x/IMAGE1.BMP"}},
        {"file not written",
         [] {
             throw errors::FileFailure(errors::FileError::Of(errors::FileError::Step::Write, "/x/IMAGE1.WEBP", ENOSPC));
         },
         {"Erreur E/S 112"}},
        {"std exception", [] { throw std::runtime_error("Erreur E/S 5"); }, {"Erreur E/S 5"}},
        {"anything else", [] { throw 42; }, {"Erreur inattendue"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedDialogs dialogs;
        EXPECT_NO_THROW(errors::Guard(c.body));
        EXPECT_EQ(dialogs->errors(), c.shown);
        EXPECT_TRUE(dialogs->messages().empty());
    }
}

TEST(Guard, TheRestOfTheCommandIsSkippedButTheEventLoopGoesOn) {
    ScopedDialogs dialogs;
    QObject sender;
    std::vector<int> ran;
    QObject::connect(&sender, &QObject::objectNameChanged, &sender,
                     errors::Guarded<const QString&>([&](const QString& name) {
                         ran.push_back(1);
                         if (name == "bad") throw errors::Error("'abc' n'est pas une valeur entière correcte");
                         ran.push_back(2);
                     }));
    sender.setObjectName("bad");
    sender.setObjectName("good");
    EXPECT_EQ(ran, (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(dialogs->errors(), QStringList{"'abc' n'est pas une valeur entière correcte"});

    // A queued handler that throws does not stop the ones queued after it.
    bool later = false;
    QTimer::singleShot(0, &sender, errors::Guarded<>([] { throw errors::Error("Erreur JPEG #42"); }));
    QTimer::singleShot(0, &sender, [&] { later = true; });
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(later);
    EXPECT_EQ(dialogs->errors().size(), 2);
}

TEST(Guard, AnErrorInANestedCommandEndsTheOuterCommandToo) {
    ScopedDialogs dialogs;
    int extracted = 0;
    auto extract = [&](int frame) {
        if (frame == 2) throw errors::Error("Erreur E/S 28");
        ++extracted;
    };
    errors::Guard([&] {
        for (int frame = 0; frame < 5; ++frame) extract(frame);
    });
    EXPECT_EQ(extracted, 2);
    EXPECT_EQ(dialogs->errors(), QStringList{"Erreur E/S 28"});
}

}  // namespace
