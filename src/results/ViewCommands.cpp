#include "results/ViewCommands.h"

#include <memory>

#include "cache/ContentDecoder.h"
#include "cache/clsCache.h"
#include "results/SaveHost.h"
#include "results/SaveObjects.h"
#include "results/clsBrowser.h"
#include "results/clsSearchResults.h"
#include "support/Desktop.h"
#include "support/OleDate.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basInternational.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

const char* const kCrLf = "\r\n";

// The current result's object. A number beyond the results (the list can name one that a new scan
// no longer has) fails here, inside the command's trap, as a missing object does.
std::shared_ptr<clsCache> CurrentObject(SaveHost& host) {
    std::shared_ptr<clsCache> object = host.Results().Item(host.CurrentResult());
    if (!object) Raise(vberr::ObjectNotSet);
    return object;
}

}  // namespace

void lstStatus_DblClick(SaveHost& host) {
    TrappedVoid("lstStatus_DblClick", "", [&] {
        host.RecomputeCurrentResult();
        if (host.CurrentResult() == 0) return;
        const std::string url = CurrentObject(host)->ObjectName();
        // The URL comes from a cache file anybody could have written; handed to the desktop as it is,
        // a local path or a launcher file would be run rather than shown.
        if (!IsWebAddress(url)) {
            TheDesktop().MessageBox(
                "Only web addresses (http, https, ftp) are opened. This cached object's address is not one:" +
                    std::string(kCrLf) + Latin1ToUtf8(url),
                Program().AppTitle, MsgIcon::Information);
            host.SetStatusText("Not opened (not a web address): " + Latin1ToUtf8(url));
            return;
        }
        const std::string address = UrlForDesktop(url);
        host.SetStatusText(TheDesktop().OpenUrl(address)
                               ? "Opened " + address
                               : "Could not open " + address + ": no web browser started");
    });
}

void mnuFileOpenLocal_Click(SaveHost& host, clsBrowser& browser) {
    const std::string path = SaveOneFile(host, "tree", false);
    if (path.empty()) return;
    host.SetStatusText("Saved to " + path);
    browser.Navigate(path, 1);
    host.SetStatusText("Opened the local copy " + path);
}

void mnuFileOpenText_Click(SaveHost& host) {
    TrappedVoid("mnuFileOpenText_Click", "", [&] {
        if (host.CurrentResult() == 0) return;
        const std::shared_ptr<clsCache> object = CurrentObject(host);
        // The name is reserved by creating the file, so nobody can plant a link there before the copy.
        const std::string path = MakeTempFileName("txt");
        if (path.empty())
            Raise(vberr::PathFileAccessError, "No temporary file could be created in " + TempFolder());
        if (!object->FileCopy(path)) {
            // The copy has reported why; an empty text file would only add to the confusion.
            KillFile(path);
            return;
        }
        host.SetStatusText(TheDesktop().OpenDocument(path)
                               ? "Opened " + path
                               : "Could not open " + path + ": no program started");
    });
}

namespace {

// How the stored content is encoded and whether copies are decoded; nothing for plain content.
std::string EncodingLine(const clsCache& object) {
    std::string codings = object.TransferEncoding();
    if (!object.ContentEncoding().empty())
        codings += (codings.empty() ? "" : ", ") + object.ContentEncoding();
    if (codings.empty()) return "";
    std::string line = std::string(kCrLf) + "Stored encoding: " + Latin1ToUtf8(codings);
    if (object.DecodeFailed())
        line += " (raw: decode failed)";
    else if (!Program().DecodeContent)
        line += " (raw: decoding is off)";
    else if (IsDecodable(object.ContentEncoding(), object.TransferEncoding()))
        line += " (decoded for copies)";
    return line;
}

std::string MetadataLines(const clsCache& object) {
    const std::string text = object.StoredMetadataText();
    return text.empty() ? text : std::string(kCrLf) + Latin1ToUtf8(text);
}

}  // namespace

std::string ResourceInfoText(const clsCache& object) {
    return "URL: " + Latin1ToUtf8(object.ObjectName()) + kCrLf +
           "Content type: " + Latin1ToUtf8(object.ContentType()) + kCrLf +
           "Retrieved: " + FormatGeneralDate(object.DateRetrieved()) + kCrLf +
           "Modified:   " + FormatGeneralDate(object.DateModified()) + kCrLf +
           "Actual content size: " + std::to_string(object.ContentLenActual()) + " bytes" + kCrLf +
           "Reported size:          " + std::to_string(object.ContentLen()) + " bytes" + kCrLf +
           "Cache file name: " + GetFileName(object.fileName()) + EncodingLine(object) +
           MetadataLines(object);
}

void mnuResourceInfo_Click(SaveHost& host) {
    TrappedVoid("mnuResourceInfo_Click", "", [&] {
        if (host.CurrentResult() == 0) return;
        std::shared_ptr<clsCache> object = CurrentObject(host);
        const std::string text = ResourceInfoText(*object);
        host.SetStatusText("Resource info of " + Latin1ToUtf8(object->ObjectName()));
        // The box is modal and may stay open a long while; the object is not held meanwhile.
        object.reset();
        TheDesktop().MessageBox(text, "Cached resource info", MsgIcon::None);
    });
}

void mnuCopyShortcut_Click(SaveHost& host) {
    TrappedVoid("frmMain:mnuCopyShortcut_Click", "", [&] {
        if (host.CurrentResult() == 0) return;
        const std::string url = Latin1ToUtf8(CurrentObject(host)->ObjectName());
        TheDesktop().SetClipboardText(url);
        host.SetStatusText("Copied " + url);
    });
}

void mnuFileDelete_Click(SaveHost& host) {
    TrappedVoid("frmMain:mnuFileDelete_Click", "", [&] {
        if (host.CurrentResult() == 0) return;
        const std::shared_ptr<clsCache> object = CurrentObject(host);
        if (object->Delete()) host.SetStatusText("Deleted " + object->fileName() + " from the cache");
    });
}

void mnuHelpContents_Click(clsBrowser& browser) { browser.Navigate(Program().LanguageDir + "index.html", 0); }

}  // namespace loftwick
