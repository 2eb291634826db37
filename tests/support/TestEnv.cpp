#include "support/TestEnv.h"

#include "support/basErrorHandler.h"

namespace loftwick::test {

ProgramFixture::ProgramFixture() : savedValues_(Program()), savedServices_(Platform()) {
    Platform().clock = &clock_;
    Platform().proxyControl = &proxy_;
    Program().SquidConf = "/nonexistent/squid.conf";
    NameTheProgram(Program());
    ResetLogFolder();
}

ProgramFixture::~ProgramFixture() {
    Program() = savedValues_;
    Platform() = savedServices_;
    ResetLogFolder();
}

}  // namespace loftwick::test
