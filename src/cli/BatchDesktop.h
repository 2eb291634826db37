#pragma once
#include <ostream>

#include "support/Desktop.h"

namespace loftwick::cli {

// The desktop of a run with nobody at the screen: messages and error reports go to the error stream;
// every question is answered as cancelled and nothing is opened, as the plain Desktop does.
class BatchDesktop final : public Desktop {
  public:
    explicit BatchDesktop(std::ostream& err) : err_(err) {}

    void MessageBox(const std::string& text, const std::string& title, MsgIcon icon) override;
    void ReportUnattended(const std::string& report) override;

  private:
    std::ostream& err_;
};

}  // namespace loftwick::cli
