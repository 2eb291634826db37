#pragma once
// What the cache-object tests share: a fixture with a scripted desktop (to see reports) and a cache
// folder, and one "kit" per format that writes an object with the cache builder and binds a fresh cache
// object to it, so that one contract suite runs the same behaviours on both formats.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "cache/clsCache.h"
#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "support/FileTimeUtils.h"
#include "support/ScriptedDesktop.h"
#include "support/TableCheck.h"
#include "support/TestEnv.h"

namespace loftwick::test {

inline constexpr int64_t kDay = 86400;

// One cached object as a test describes it, whatever the format: http://www.example.com/dir/page.html,
// retrieved 10 days and modified 40 days before the fixture's clock.
struct ObjectSpec {
    std::string name = "3f2a_page.html";  // file name (WinProxy) or base name (WinGate)
    std::string contentType = "text/html";
    std::optional<uint64_t> reportedLength;  // unset: the content's size
    std::vector<std::string> headerLines;    // WinProxy: more lines of the header block
    builder::Content content = builder::Content::Bytes("<html>the cached content</html>");
    builder::FileStamp stamp;
    builder::LineBreak lineBreak = builder::LineBreak::CrLf;  // WinProxy: of the header block
};

class CacheFixture : public ProgramFixture {
  protected:
    CacheFixture() {
        Platform().desktop = &desktop_;
        Program().AppParentDir = logs_.path() + "/";
    }

    // The locations of the error reports shown so far (the "Code module:" lines).
    std::vector<std::string> ReportLocations() const {
        std::vector<std::string> found;
        for (const auto& message : desktop_.messages) {
            const size_t at = message.text.find("Code module: ");
            if (at != std::string::npos)
                found.push_back(message.text.substr(at + 13, message.text.find('\r', at) - at - 13));
        }
        return found;
    }
    size_t ReportCount() const { return desktop_.messages.size(); }
    static int64_t WriteTimeOf(const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtim.tv_sec) : -1;
    }

    ScriptedDesktop desktop_;
    TempDir root_;

  private:
    TempDir logs_;
};

// WinProxy: one file per object in a host folder, its header block written by the builder.
struct WinProxyKit {
    static constexpr int32_t kProxyType = 1;
    static constexpr const char* kFileCopyLocation = "clsCacheWinProxy:clsCache_FileCopy";

    explicit WinProxyKit(const std::string& root) : cache(root + "/cache") {
        Program().CacheDir = cache.CacheDir();
    }

    builder::WinProxyObject ObjectOf(const ObjectSpec& desc) const {
        builder::WinProxyObject o;
        o.host = "www.example.com";
        o.fileName = desc.name;
        o.url = "http://www.example.com/dir/page.html";
        o.Header("Date", builder::HttpDate(kTestEpochSeconds - 10 * kDay));
        o.Header("Content-Type", desc.contentType);
        o.Header("Content-Length", std::to_string(desc.reportedLength.value_or(desc.content.Size())));
        o.Header("Last-Modified", builder::HttpDate(kTestEpochSeconds - 40 * kDay));
        for (const std::string& line : desc.headerLines) o.headerLines.push_back(line);
        o.content = desc.content;
        o.stamp = desc.stamp;
        o.lineBreak = desc.lineBreak;
        return o;
    }
    std::string Write(const ObjectSpec& desc) { return cache.Add(ObjectOf(desc)); }
    void BindTo(clsCache& object, const ObjectSpec& desc) const { object.setFileName(PathOf(desc)); }
    std::string PathOf(const ObjectSpec& desc) const { return cache.PathOf(ObjectOf(desc)); }

    builder::WinProxyCache cache;
};

// WinGate: an index record handed to TakeMetadata, and a ".wgc" file that holds the content alone.
struct WinGateKit {
    static constexpr int32_t kProxyType = 2;
    static constexpr const char* kFileCopyLocation = "clsCacheWinGate:clsCache_FileCopy";

    explicit WinGateKit(const std::string& root) : cache(root + "/cache") {
        Program().CacheDir = cache.CacheDir();
    }

    static builder::WinGateRecord RecordOf(const ObjectSpec& desc) {
        builder::WinGateRecord r;
        r.url = "www.example.com/dir/page.html";
        r.baseName = desc.name;
        r.retrieved = static_cast<uint32_t>(kTestEpochSeconds - 10 * kDay);
        r.modified = static_cast<uint32_t>(kTestEpochSeconds - 40 * kDay);
        r.contentType = desc.contentType;
        r.contentLength = desc.reportedLength.value_or(desc.content.Size());
        return r;
    }
    std::string Write(const ObjectSpec& desc) {
        return cache.Add(RecordOf(desc), builder::WinGateContent{desc.content, false, desc.stamp});
    }
    static void BindTo(clsCache& object, const ObjectSpec& desc) {
        const std::string bytes = builder::EncodeRecord(RecordOf(desc));
        object.TakeMetadata(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::string PathOf(const ObjectSpec& desc) const { return cache.ContentPath(desc.name); }

    builder::WinGateCache cache;
};

// A fresh object bound to an object already written, or written first.
template <class Kit>
std::shared_ptr<clsCache> BindWritten(const Kit& kit, const ObjectSpec& desc) {
    auto object = NewCacheObject(Kit::kProxyType);
    kit.BindTo(*object, desc);
    return object;
}
template <class Kit>
std::shared_ptr<clsCache> Bind(Kit& kit, const ObjectSpec& desc) {
    kit.Write(desc);
    return BindWritten(kit, desc);
}

// What a bound object tells of itself, one line per fact.
inline std::string FactsOf(const clsCache& o) {
    std::ostringstream ss;
    ss << "name=" << o.ObjectName() << "\ntype=" << o.ContentType() << "\nlength=" << o.ContentLen()
       << "\nactual=" << o.ContentLenActual() << "\nretrieved=" << FormatGeneralDate(o.DateRetrieved())
       << "\nmodified=" << FormatGeneralDate(o.DateModified()) << "\nhost=" << o.Host() << "\n";
    return ss.str();
}

inline ParsedFilter Filter(const std::vector<std::string>& words) {
    ParsedFilter f;
    f.Words = words;
    f.Count = static_cast<int32_t>(words.size());
    f.Excluded = f.Required = f.Found = std::vector<bool>(words.size(), false);
    return f;
}

}  // namespace loftwick::test
