// Provisional: replaced by the full reporter.
#include "support/basErrorHandler.h"
namespace loftwick {
std::string HandleError(const std::string&, const std::string&, bool) { return {}; }
void ResetLogFolder() {}
}  // namespace loftwick
