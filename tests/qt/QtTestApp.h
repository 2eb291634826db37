#pragma once
// The one QApplication of the Qt test program: made after the test main has pinned QT_QPA_PLATFORM to
// "offscreen", destroyed before main returns, while Qt's own globals still exist.
#include <gtest/gtest.h>

#include <QApplication>
#include <optional>

namespace loftwick::test {

struct QtApplicationEnvironment final : ::testing::Environment {
    int argc = 1;
    char name[18] = "loftwick_qt_tests";
    char* argv[2] = {name, nullptr};
    std::optional<QApplication> app;
    void SetUp() override { app.emplace(argc, argv); }
    void TearDown() override { app.reset(); }
};

inline ::testing::Environment* const kQtApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace loftwick::test
