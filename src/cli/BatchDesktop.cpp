#include "cli/BatchDesktop.h"

namespace loftwick::cli {
namespace {

// Reports are written with CR LF line ends for the log; a terminal wants plain line ends.
std::string PlainLines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace

void BatchDesktop::MessageBox(const std::string& text, const std::string& title, MsgIcon) {
    err_ << title << ": " << PlainLines(text) << "\n";
}

void BatchDesktop::ReportUnattended(const std::string& report) { err_ << PlainLines(report) << "\n\n"; }

}  // namespace loftwick::cli
