#pragma once
// The one QApplication of the Qt test program: made after the test main has pinned QT_QPA_PLATFORM to
// "offscreen", destroyed before main returns, while Qt's own globals still exist.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace loftwick::test {

struct QtApplicationEnvironment final : ::testing::Environment {
    void SetUp() override {
        static int argc = 1;
        static char name[] = "loftwick_qt_tests";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }
    std::unique_ptr<QApplication> app;
};

inline ::testing::Environment* const kQtApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace loftwick::test
