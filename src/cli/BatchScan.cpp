#include "cli/BatchScan.h"

#include <memory>
#include <optional>

#include "Version.h"
#include "app/MemoryMainWindow.h"
#include "app/basMain.h"
#include "app/frmMain.h"
#include "cli/BatchDesktop.h"
#include "results/RecordFormats.h"
#include "results/SaveObjects.h"
#include "results/WarcWriter.h"
#include "scan/ProcessAllFiles.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick::cli {
namespace {

// A window with no screen: nothing to show, and closing it has nothing to do.
class BatchShell final : public frmMainShell {
  public:
    void SetCaption(const std::string&) override {}
    void RequestClose() override {}
    void ShowAbout() override {}
};

// Puts the program-wide values of a batch run in place and takes them back afterwards.
class BatchProgramValues {
  public:
    BatchProgramValues(const ScanFlags& flags, const std::string& executablePath, Desktop& desktop)
        : savedValues_(Program()), savedDesktop_(Platform().desktop) {
        ProgramValues& p = Program();
        const size_t slash = executablePath.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : executablePath.substr(0, slash);
        p.AppExeName = "loftwick-scan";
        p.AppTitle = std::string(kProductName) + " v. " + GetVersion();
        p.ProgramDir = folder + "/";
        p.AppParentDir = GetFolder(folder);
        p.IniFileName.clear();  // a batch run reads and writes no settings
        p.IsUnattended = true;
        p.ProxyType = flags.proxy == "wingate" ? 2 : flags.proxy == "squid" ? 3 : 1;
        if (!flags.squidAddress.empty()) p.SquidAddress = flags.squidAddress;
        p.CacheDir = flags.cache;
        p.DecodeContent = !flags.raw;
        Platform().desktop = &desktop;
        ResetLogFolder();
    }
    ~BatchProgramValues() {
        Program() = savedValues_;
        Platform().desktop = savedDesktop_;
        ResetLogFolder();
    }

  private:
    ProgramValues savedValues_;
    Desktop* savedDesktop_;
};

void SetControls(MemoryMainWindow& w, const ScanFlags& flags) {
    w.cboContentTypeFilter.SetText(flags.contentType);
    w.cboHostFilter.SetText(flags.host);
    w.cboURLFilter.SetText(flags.url);
    w.cboContentsFilter.SetText(flags.contents);
    w.txtDaysOldMin.SetText(flags.min);
    w.txtDaysOldMax.SetText(flags.max);
    w.cboAgeUnit.SetText(flags.unit);
    w.chkFixTime.SetValue(flags.fixTime ? 1 : 0);
    if (!flags.ttl.empty()) {
        w.chkTTL.SetValue(1);
        w.txtTTL.SetText(flags.ttl);
    }
    w.chkDeleteOld.SetValue(flags.remove ? 1 : 0);
    w.chkDeleteAgedFiles.SetValue(flags.removeAged ? 1 : 0);
    w.chkSaveTree.SetValue(flags.saveTree ? 1 : 0);
    if (!flags.tempDir.empty()) w.txtTempDir.SetText(flags.tempDir);
    w.chkDecodeContent.SetValue(flags.raw ? 0 : 1);
}

}  // namespace

int RunBatchScan(const ScanFlags& flags, const std::string& executablePath, std::ostream& out,
                 std::ostream& err) {
    BatchDesktop desktop(err);
    BatchProgramValues values(flags, executablePath, desktop);
    if (!CheckCacheDir()) return kExitErrors;

    MemoryMainWindow window;
    BatchShell shell;
    frmMain model(window.Controls(), shell, nullptr);
    model.Form_Load();
    model.SetListCapped(false);
    SetControls(window, flags);

    // Lines and records are written as the objects are selected; results are kept only for a save or
    // an export that follows the scan. The last line, the summary, waits for the steps after the scan,
    // whose failures turn it too.
    const bool text = flags.format != "csv" && flags.format != "json";
    model.SetKeepResults((!flags.saveAll.empty() || !flags.warc.empty()) && !flags.dryRun);
    std::optional<std::string> lastLine;
    model.onListLine = [&](const std::string& line) {
        if (text && lastLine) out << EscapeControls(*lastLine) << '\n';
        lastLine = line;
    };
    RecordStream records(out, flags.format == "csv" ? RecordStream::Format::Csv : RecordStream::Format::Json);
    if (!text) {
        records.Begin();
        model.onObjectSelected = [&](int64_t number, const std::shared_ptr<clsCache>& object, int score) {
            if (object) records.Record(MakeRecord(number, *object, score));
        };
    }
    model.RunScan(flags.dryRun);
    bool stepsCompleted = true;
    if (!flags.saveAll.empty() && !flags.dryRun) {
        if (SaveAllFiles(model, flags.saveAll) > 0) stepsCompleted = false;
        err << window.lblStatus.Caption() << "\n";
    }
    if (!flags.warc.empty() && !flags.dryRun) {
        // A failure has been reported on stderr already; the file is then left as it was.
        const WarcResult warc = WriteWarc(flags.warc, model.Results());
        if (warc.ok) {
            err << "Exported " << warc.written << " objects to " << flags.warc << ", " << warc.skipped
                << " skipped (file gone)\n";
        } else {
            stepsCompleted = false;
        }
    }

    const std::string summary = SummaryWithVerdict(model.Scan(), stepsCompleted, lastLine.value_or(""));
    const bool ok = summary.rfind("OK!", 0) == 0;
    if (text) {
        if (lastLine) out << EscapeControls(summary) << "\n";
    } else {
        records.End(summary);
        if (flags.format == "csv") err << EscapeControls(summary) << "\n";
    }
    model.onListLine = nullptr;
    model.onObjectSelected = nullptr;
    out.flush();
    model.Scan().CurrentCache.reset();
    return ok ? kExitOk : kExitErrors;
}

int BatchMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ScanFlags flags;
    const int parsed = ParseScanFlags(args, flags, out, err);
    if (parsed >= 0) return parsed;
    return RunBatchScan(flags, args.empty() ? std::string() : args.front(), out, err);
}

}  // namespace loftwick::cli
