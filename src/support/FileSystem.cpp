#include "support/FileSystem.h"

#include "support/RuntimeError.h"

namespace loftwick {

std::string ReadWholeFile(FileSystem& fs, const std::string& path) {
    auto in = fs.OpenRead(path, true);
    std::string content;
    char buffer[65536];
    for (;;) {
        const size_t n = in->Read(buffer, sizeof buffer);
        content.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    return content;
}

std::unique_ptr<OutputFile> CreateSibling(FileSystem& fs, const std::string& path, std::string& sibling) {
    // The name sits in the same folder so that the final rename cannot cross file systems.
    for (int attempt = 0;; ++attempt) {
        sibling = path + ".part" + (attempt ? std::to_string(attempt) : std::string());
        try {
            return fs.OpenWrite(sibling, WriteMode::CreateNew);
        } catch (const RuntimeError& e) {
            if (e.Number() != vberr::FileAlreadyExists || attempt >= 100) throw;
        }
    }
}

void WriteFileAtomically(FileSystem& fs, const std::string& path, const std::string& content) {
    std::string temp;
    std::unique_ptr<OutputFile> out = CreateSibling(fs, path, temp);
    try {
        out->Write(content.data(), content.size());
        out->Sync();
        out->Close();
        fs.Rename(temp, path);
    } catch (...) {
        out.reset();
        try {
            fs.RemoveFile(temp);
        } catch (...) {
        }
        throw;
    }
}

}  // namespace loftwick
