// "cache.idx" as any byte stream: the framing cuts it into records whatever the chunking, every record
// binds a WinGate object to a file directly inside the cache folder or to nothing, and a whole scan of
// it (with the chosen operations) changes nothing outside the cache folder.
#include <filesystem>
#include <regex>
#include <string>

#include "FuzzInput.h"
#include "FuzzWorld.h"
#include "cache/clsCacheWinGate.h"
#include "results/clsSearchResults.h"
#include "scan/IndexFraming.h"
#include "scan/ProcessAllFiles.h"
#include "scan/ScanTestSupport.h"
#include "support/Program.h"

using namespace loftwick;

namespace {

constexpr size_t kChunkSizes[] = {8192, 1, 2, 3, 7, 19, 64, 784};

// Every record the framing finds in the bytes, fed in chunks of `chunk`; the stream's last, unended
// record is not one.
size_t FrameAll(const std::string& bytes, size_t chunk, const std::string& cacheDir, fuzz::World& world) {
    IndexFraming framing;
    size_t records = 0, recordStart = 0, offset = 0;
    while (offset < bytes.size()) {
        const size_t length = std::min(chunk, bytes.size() - offset);
        size_t pos = 0;
        const auto* piece = reinterpret_cast<const uint8_t*>(bytes.data() + offset);
        while (framing.Feed(piece, length, pos)) {
            const size_t consumed = offset + pos - recordStart;
            FUZZ_REQUIRE(framing.StoredLength() <= IndexFraming::kBufferSize, "the record fits its buffer");
            FUZZ_REQUIRE(framing.Overflowed() ? consumed > IndexFraming::kBufferSize
                                              : framing.StoredLength() == consumed,
                         "every byte of a record is stored until the buffer is full");
            clsCacheWinGate object;
            world.fileSystem.WatchReads(true);
            object.TakeMetadata(framing.Buffer(), IndexFraming::kBufferSize);
            for (const std::string& read : world.fileSystem.reads()) {
                const std::string name = read.substr(std::min(read.size(), cacheDir.size()));
                FUZZ_REQUIRE(read.compare(0, cacheDir.size(), cacheDir) == 0 && !name.empty() &&
                                 name.find('/') == std::string::npos,
                             "a record only reaches files directly inside the cache folder");
            }
            world.fileSystem.WatchReads(false);
            const std::string bound = object.fileName();
            FUZZ_REQUIRE(
                bound.empty() || (bound.compare(0, cacheDir.size(), cacheDir) == 0 &&
                                  std::filesystem::is_regular_file(std::filesystem::symlink_status(bound))),
                "a record binds a regular file in the cache folder or nothing");
            ++records;
            recordStart = offset + pos;
            framing.Reset();
        }
        offset += length;
    }
    return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::TheWorld();
    fuzz::FieldReader input(data, size);
    const uint8_t flags = input.Byte();
    const std::string index = input.Rest();

    // A cache folder with a few content files, a folder and a link that merely look like content files,
    // and a file beside the cache folder that an index naming "../outside" would reach.
    const std::string cacheDir = world.root + "/wingate/";
    test::EmptyFolder(cacheDir);
    for (const char* name : {"a", "b", "obj1", "text_x"})
        test::WriteRealFile(cacheDir + name + ".wgc", std::string("content of ") + name);
    std::filesystem::create_directory(cacheDir + "dir.wgc");
    test::WriteRealFile(world.root + "/outside.wgc", "not the cache's");
    std::filesystem::create_symlink("../outside.wgc", cacheDir + "link.wgc");
    Program().ProxyType = 2;
    Program().CacheDir = cacheDir;

    const size_t records = FrameAll(index, kChunkSizes[flags & 7], cacheDir, world);
    if (records > 2000) return 0;  // a scan of thousands of records proves no more than one of hundreds

    test::WriteRealFile(cacheDir + "cache.idx", index);
    world.fileSystem.SetWritableFolder(cacheDir);
    ScanState state;
    ScanInputs inputs;
    inputs.deleteOld = (flags >> 3) & 1;
    inputs.fixTime = (flags >> 4) & 1;
    inputs.setTTL = (flags >> 5) & 1;
    inputs.fixPrefix = (flags >> 6) & 1;
    inputs.hostFilter = (flags & 0x80) ? "a" : "";
    test::RecordingScanHost host;
    ProcessAllFiles(state, inputs, host);

    FUZZ_REQUIRE(!host.lines.empty(), "a scan always ends with its summary");
    static const std::regex summary(
        R"(^(OK!|Ended with error\(s\)\.) (\d+) of (\d+) files selected(, \d+ files deleted)?, 0 seconds$)");
    FUZZ_REQUIRE(std::regex_match(host.lines.back(), summary), "the summary line has its shape");
    FUZZ_REQUIRE(state.FilesTotal == static_cast<int64_t>(records),
                 "the walk hands over every framed record");
    FUZZ_REQUIRE(state.FilesSelected + state.FilesNotFound <= state.FilesTotal, "counts add up");
    FUZZ_REQUIRE(state.FilesDeleted <= state.FilesSelected, "only selected objects are deleted");
    FUZZ_REQUIRE(std::filesystem::exists(world.root + "/outside.wgc"),
                 "nothing outside the cache is deleted");
    world.fileSystem.SetWritableFolder(world.root);
    return 0;
}
