#pragma once
// The one QApplication of the Qt test program, made by a global test environment: it is created after
// the test main has pinned QT_QPA_PLATFORM to "offscreen" (so no display is needed) and destroyed
// before main returns, while Qt's own globals still exist.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace loftwick::test {

class QtApplicationEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "loftwick_qt_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kQtApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace loftwick::test
