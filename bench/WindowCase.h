#pragma once
// The scan as the window runs it: the real Qt window, offscreen.
#include <string>

#include "ChildRun.h"

namespace loftwick::bench {

// Presses "Go!" on the window over the demo WinProxy cache (first result line latency), then over the
// big one (the longest wait of the event loop). Runs Qt: call it in a child process only.
CaseFigures MeasureWindow(const std::string& demoCacheDir, const std::string& bigCacheDir);

}  // namespace loftwick::bench
