#include <algorithm>
#include <memory>
#include <vector>

#include "scan/IndexFraming.h"
#include "scan/ProcessAllFiles.h"
#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"

namespace loftwick {
namespace {

constexpr size_t kChunkSize = 8192;

void ReportOverflow() {
    TheDesktop().MessageBox(
        "Too long cache object (>" + std::to_string(IndexFraming::kBufferSize) + " bytes)",
        Program().AppTitle, MsgIcon::Information);
}

}  // namespace

bool ProcessAllFiles_WinGate(ScanState& state, ScanHost& host) {
    return Trapped("frmMain:ProcessAllFiles_WinGate", "", false, [&] {
        FileSystem& fs = TheFileSystem();
        // The content files are opened in the folder the index was read from, whatever its path leads to
        // by then.
        const HeldDir cache = fs.OpenDirectory(Program().CacheDir);
        std::unique_ptr<InputFile> index = fs.OpenReadAt(cache, "cache.idx");
        const uint64_t indexSize = index->Size();
        uint64_t charsRead = 0;
        std::vector<uint8_t> chunk(kChunkSize);
        size_t chunkLength = 0, pos = 0;
        IndexFraming framing;
        bool overflowReported = false;

        for (;;) {
            host.LetEventsRun();
            if (state.BreakRequested) return false;
            const bool complete = framing.Feed(chunk.data(), chunkLength, pos);
            // A run that never completes a record is reported once, not once per chunk it spans.
            if (framing.Overflowed() && !overflowReported) {
                ReportOverflow();
                overflowReported = true;
            }
            if (!complete) {
                if (charsRead >= indexSize) return true;  // a cut-short last record is not handed over
                const size_t want =
                    static_cast<size_t>(std::min<uint64_t>(kChunkSize, indexSize - charsRead));
                chunkLength = index->Read(reinterpret_cast<char*>(chunk.data()), want);
                if (chunkLength == 0) return true;  // the index shrank while we read it
                charsRead += chunkLength;
                host.ShowProgress(static_cast<int64_t>(charsRead), static_cast<int64_t>(indexSize));
                pos = 0;
                continue;
            }
            if (!state.CurrentCache) state.CurrentCache = NewCacheObject(2);
            state.CurrentCache->UseFolder(cache);
            state.CurrentCache->TakeMetadata(framing.Buffer(), IndexFraming::kBufferSize);
            // A failed object is reported inside; the walk goes on with the next record.
            ProcessOneFile(state, host);
            framing.Reset();
            overflowReported = false;
        }
    });
}

}  // namespace loftwick
