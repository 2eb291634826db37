#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace loftwick {

// A dialog filter in the classic packed form, pairs of description and pattern each ended by a NUL and
// the list by a second NUL ("All Files\0*.*\0\0"), as pairs. A description without a pattern is dropped.
std::vector<std::pair<std::string, std::string>> ParseDialogFilter(const std::string& filter);

// Shows the desktop's open-file dialog with the title, the packed filter (first entry selected), the
// proposed file name (blanks trimmed) and the initial folder ("" = the current directory). Returns non-zero
// when the user chose a file, which then is in `fileName`; on cancel `fileName` becomes "". `filter` and
// `initialFolder` are left as they are.
int32_t ShowOpenDialog(std::string& fileName, const std::string& title, std::string& filter,
                       std::string& initialFolder);

}  // namespace loftwick
