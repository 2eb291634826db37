#pragma once
// Small fixtures shared by every test program.
#include <gtest/gtest.h>

#include <string>

#include "support/Clock.h"
#include "support/Kit.h"
#include "support/Program.h"
#include "support/TableProxyControl.h"

namespace loftwick::test {

// Saves the program-wide values and seams and restores them when the test ends; installs a fixed clock.
class ProgramFixture : public ::testing::Test {
  protected:
    ProgramFixture();
    ~ProgramFixture() override;

    FixedClock clock_{kTestEpochSeconds};
    // No Squid runs, whatever runs on the machine; a test that wants one fills the table.
    TableProxyControl proxy_;

  private:
    ProgramValues savedValues_;
    Services savedServices_;
};

}  // namespace loftwick::test
