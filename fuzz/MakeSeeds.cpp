// Writes the starting corpus of every fuzz target below the folder given on the command line, one
// folder per target. Cache files come from the cache builder's description files in the seed folder
// (the files the program really meets, so the fuzzers mutate outward from there), the texts from its
// table of texts; content codings are made by the builder's encoders.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "FuzzInput.h"
#include "cachebuilder/DescriptionFile.h"
#include "cachebuilder/Encodings.h"
#include "support/Kit.h"

using namespace loftwick;
namespace fs = std::filesystem;

namespace {

void AddSeed(const std::string& out, const std::string& target, const std::string& bytes) {
    static int count = 0;
    test::WriteRealFile(out + "/" + target + "/seed-" + std::to_string(++count), bytes);
}

// The cache a description file names, built below `out`; the folder it was built in.
std::string Build(const std::string& seeds, const std::string& out, const std::string& format) {
    std::ifstream description(seeds + "/" + format + ".desc");
    const std::string folder = out + "/built/" + format;
    fs::create_directories(folder);
    builder::BuildFromDescription(description, folder);
    return folder;
}

void FilesAsSeeds(const std::string& folder, const std::string& out, const std::string& target) {
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename() != "swap.state")
            AddSeed(out, target, test::ReadRealFile(entry.path()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: fuzz_make_seeds <folder> <seed description folder>\n";
        return 2;
    }
    const std::string out = argv[1], seeds = argv[2];
    FilesAsSeeds(Build(seeds, out, "winproxy"), out, "StoredHeaders");
    FilesAsSeeds(Build(seeds, out, "squid"), out, "SwapMetadata");
    // The index with the flag bytes of plain, byte-by-byte with deletion, fixing, and odd chunkings.
    const std::string index = test::ReadRealFile(Build(seeds, out, "wingate") + "/cache.idx");
    for (const uint8_t flags : {0x00, 0x08 | 1, 0x70 | 5, 0x08, 2, 3})
        AddSeed(out, "IndexRecord", fuzz::JoinFields(flags, {index}));

    std::ifstream texts(seeds + "/texts");
    for (std::string line; std::getline(texts, line);) {
        const size_t space = line.find(' ');
        if (!line.empty() && line[0] != '#')
            AddSeed(out, line.substr(0, space), builder::Unescape(line.substr(space + 1)));
    }

    const std::string page = "<html><body>" + std::string(200, 'a') + "HELLO</body></html>";
    for (const auto& [flags, coding, transfer, stored] :
         {std::tuple<uint8_t, std::string, std::string, std::string>{0, "gzip", "", builder::Gzip(page)},
          {3, "deflate", "", builder::ZlibDeflate(page)},
          {5, "Deflate", "", builder::RawDeflate(page)},
          {7, "br", "", builder::Brotli(page)},
          {1, "", "chunked", builder::Chunked(page, 17)},
          {2, "gzip, br", "gzip, chunked",
           builder::Chunked(builder::Gzip(builder::Brotli(builder::Gzip(page))), 40)},
          {0, "identity", "", page}})
        AddSeed(out, "ContentDecoder", fuzz::JoinFields(flags, {coding, transfer, stored}));
    fs::remove_all(out + "/built");
    return 0;
}
