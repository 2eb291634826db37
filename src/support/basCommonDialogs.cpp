#include "support/basCommonDialogs.h"

#include <optional>

#include "support/Desktop.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basUtils.h"

namespace loftwick {

std::vector<std::pair<std::string, std::string>> ParseDialogFilter(const std::string& filter) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < filter.size()) {
        const size_t nul = filter.find('\0', start);
        const std::string part =
            filter.substr(start, nul == std::string::npos ? std::string::npos : nul - start);
        if (part.empty()) break;  // the second NUL ends the list
        parts.push_back(part);
        if (nul == std::string::npos) break;
        start = nul + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2) pairs.emplace_back(parts[i], parts[i + 1]);
    return pairs;
}

int32_t ShowOpenDialog(std::string& fileName, const std::string& title, std::string& filter,
                       std::string& initialFolder) {
    FileDialogRequest request;
    request.title = title;
    request.initialFolder = initialFolder;
    request.fileName = Trim(fileName);
    request.filters = ParseDialogFilter(filter);
    std::optional<std::string> chosen;
    try {
        chosen = TheDesktop().OpenFileDialog(request);
    } catch (...) {
        chosen.reset();  // a dialog that fails is a dialog that was cancelled
    }
    fileName = chosen ? StripNulls(*chosen) : std::string();
    return fileName.empty() ? 0 : 1;
}

}  // namespace loftwick
