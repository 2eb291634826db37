#pragma once
#include <cstdint>
#include <string>

namespace loftwick {

class clsSearchResults;

struct WarcResult {
    bool ok = false;      // the archive was written; false: reported, and nothing left at the path
    int64_t written = 0;  // response records written
    int64_t skipped = 0;  // results left out because their cache file is gone
};

// Writes every result, in order, to a WARC 1.1 archive at `path`: a "warcinfo" record, then one
// "response" record per result, each record its own gzip member (a ".warc.gz" file that archive tools
// read record by record). A record's block is the stored status line and header lines where the format
// keeps them, else a minimal "200 OK" head with the content type and length, then the content exactly as
// the cache holds it: an archive keeps what was transferred, so nothing is decoded, whatever
// Program().DecodeContent says, and the payload digest is the SHA-1 of those bytes.
//
// Memory use does not depend on the contents' sizes. The archive is written to a new file beside `path`
// that replaces it only once complete. A failure (reported as "WriteWarc") leaves `path` as it was; so
// does a cache file that changes while it is being exported, since its digest would no longer hold.
WarcResult WriteWarc(const std::string& path, const clsSearchResults& results);

}  // namespace loftwick
