#include "results/basDefaultNames.h"

#include <memory>
#include <optional>

#include "cache/clsCache.h"
#include "results/ContentTypes.h"
#include "results/SaveHost.h"
#include "results/clsSearchResults.h"
#include "support/Desktop.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

// The text before the last "." of a name; the whole name when it has none.
std::string BeforeLastDot(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// Asks once for the name that files without one get. An empty answer or a cancel means "stop asking"
// until the next Save All, so a long run is not interrupted for every directory URL.
void AskForDefaultName(SaveHost& host, const std::string& path) {
    const std::optional<std::string> answer =
        TheDesktop().InputBox(Latin1ToUtf8(path) + "\r\nType name for default file: ", Program().AppTitle,
                              host.DefaultDocumentName());
    if (answer && !answer->empty()) {
        host.SetDefaultDocumentName(*answer);
    } else {
        host.SetSkipDefaultNamePrompt(true);
    }
}

}  // namespace

std::string FixDefaultName(SaveHost& host, const std::string& path, int64_t index, bool checkExtension) {
    const auto notes = [&] { return "file name: '" + Latin1ToUtf8(path) + "'"; };
    return Trapped("frmMain:FixDefaultName", notes, std::string(), [&]() -> std::string {
        std::string dir = GetFolder(path);
        std::string name = GetFileName(path);
        const std::string extension = GetFileExtension(name, "");

        bool extensionNeeded;
        if (extension.empty()) {
            extensionNeeded = true;
            // "page." and "a.b c" have no extension worth keeping; their last dot goes too.
            name = BeforeLastDot(name);
        } else {
            // Long or odd "extensions" are usually the tail of a script's name or of a query.
            extensionNeeded = InstrSet(1, extension, ";&") > 0 || extension.size() > 6;
        }

        if (name.empty() && !host.SkipDefaultNamePrompt()) AskForDefaultName(host, path);
        // The stored name serves even when the prompt was skipped or left empty, so one answer names
        // every directory URL that follows. It is UTF-8 from the user; the path here is cache bytes, and
        // its characters beyond Latin-1 ride along for the save step to keep.
        if (name.empty()) name = BeforeLastDot(Utf8ToNameBytes(host.DefaultDocumentName()));
        if (name.empty()) name = "index";

        if (extensionNeeded || checkExtension) {
            const std::shared_ptr<clsCache> object = host.Results().Item(index);
            if (!object) Raise(vberr::ObjectNotSet);
            const std::string contentType = object->ContentType();
            const std::string fitting = ExtensionFromContentType(contentType, "html");
            // A known extension of the same content type ("asp" for text/html) is left alone.
            if (!extensionNeeded && fitting != extension) {
                extensionNeeded = ContentTypeFromFileName(name, "text") != contentType;
            }
            if (extensionNeeded) name += "." + fitting;
        }

        if (!dir.empty() && !EndsInSeparator(dir)) dir += '\\';
        return dir + name;
    });
}

}  // namespace loftwick
