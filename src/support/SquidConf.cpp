#include "support/SquidConf.h"

#include <grp.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "support/FileSystem.h"
#include "support/Program.h"

namespace loftwick {
namespace {

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < line.size()) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) break;
        const size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

}  // namespace

SquidConfFacts ParseSquidConf(std::string_view text) {
    SquidConfFacts facts;
    bool pidSeen = false;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        line = line.substr(0, line.find('#'));
        const std::vector<std::string_view> words = Words(line);
        if (words.size() >= 3 && words[0] == "cache_dir") {
            const std::string_view type = words[1];
            if ((type == "ufs" || type == "aufs" || type == "diskd") && facts.cacheDir.empty()) {
                facts.cacheDir = words[2];
            } else if (type == "rock" && facts.rockDir.empty()) {
                facts.rockDir = words[2];
            }
        } else if (words.size() >= 2 && words[0] == "pid_filename" && !pidSeen) {
            pidSeen = true;
            facts.pidFile = words[1] == "none" ? std::string() : std::string(words[1]);
        }
    }
    return facts;
}

SquidConfFacts ReadSquidConf(const std::string& path) {
    try {
        return ParseSquidConf(ReadWholeFile(TheFileSystem(), path));
    } catch (...) {
        return {};
    }
}

std::string FolderGroupName(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return {};
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
    return found->gr_name;
}

}  // namespace loftwick
