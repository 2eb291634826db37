#include "results/FixNameForLocal.h"

#include <memory>
#include <optional>

#include "cache/clsCache.h"
#include "results/SaveHost.h"
#include "results/basDefaultNames.h"
#include "results/clsSearchResults.h"
#include "support/RuntimeError.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

struct SplitUrl {
    std::string path;       // "\" separated
    bool hasQuery = false;  // a "?" was met (it decides whether the extension is checked)
    std::string query;      // split off only when the "?" was not the first character
};

// Rewrites the URL in one pass, left to right. Replacements may change the length, so positions are
// recomputed as the text changes; the first "?" is removed, and the character that moves into its place
// is examined next.
SplitUrl RewriteUrl(std::string text) {
    SplitUrl result;
    size_t queryPos = 0;
    size_t i = 0;
    while (i < text.size()) {
        std::optional<std::string> replacement;
        switch (text[i]) {
            case '?':
                if (!result.hasQuery) {
                    replacement = "";
                    result.hasQuery = true;
                    queryPos = i;
                } else {
                    replacement = "_";
                }
                break;
            case '=':
            case '|':
            case '*':
                replacement = "_";
                break;
            case ':':
                // Kept in the first two places, where it is a drive letter's colon; a port's becomes "_".
                if (i >= 2) replacement = "_";
                break;
            case '/':
                replacement = result.hasQuery ? "_" : "\\";
                break;
            case '\\':
                // Inside the query a backslash must not open a directory.
                if (result.hasQuery) replacement = "_";
                break;
            case '#':
                text.resize(i);
                break;
            default:
                break;
        }
        if (replacement) {
            text.replace(i, 1, *replacement);
            i += replacement->size();
        } else {
            ++i;
        }
    }
    if (result.hasQuery && queryPos >= 1) {
        result.query = text.substr(queryPos);
        text.resize(queryPos);
    }
    result.path = std::move(text);
    return result;
}

}  // namespace

std::string FixNameForLocal(SaveHost& host, int64_t index) {
    std::string url;
    return Trapped(
        "frmMain:FixNameForLocal", [&] { return "file name: '" + Latin1ToUtf8(url) + "'"; }, std::string(),
        [&]() -> std::string {
            const std::shared_ptr<clsCache> object = host.Results().Item(index);
            if (!object) Raise(vberr::ObjectNotSet);
            url = Trim(object->ObjectName());

            std::string text = url;
            const size_t schemeEnd = text.find("//");
            if (schemeEnd != std::string::npos) text.erase(0, schemeEnd + 2);

            SplitUrl split = RewriteUrl(std::move(text));
            // With a query the URL's extension says little about what came back, so it is checked too.
            std::string local = FixDefaultName(host, split.path, index, split.hasQuery);
            if (!split.query.empty()) {
                std::string dir = GetFolder(local);
                if (!dir.empty() && !EndsInSeparator(dir)) dir += '\\';
                local = dir + split.query + "_" + GetFileName(local);
            }
            return local;
        });
}

}  // namespace loftwick
