// Registry files of a Wine prefix, damaged or hostile: the lookup finds the same values whichever pieces
// the file arrives in, and the quoted-text decoder never reads past its text.
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "FuzzWorld.h"
#include "support/WineRegistry.h"

using namespace loftwick;

namespace {

std::vector<std::optional<RegValue>> LookUp(const std::vector<std::string>& keys, const std::string& name,
                                            const std::string& file, size_t piece) {
    WineRegistryLookup lookup(keys, name);
    for (size_t at = 0; at < file.size(); at += piece) lookup.Feed(std::string_view(file).substr(at, piece));
    lookup.Finish();
    std::vector<std::optional<RegValue>> found;
    for (size_t i = 0; i < keys.size(); ++i) found.push_back(lookup.Result(i));
    return found;
}

bool Same(const std::optional<RegValue>& a, const std::optional<RegValue>& b) {
    return a.has_value() == b.has_value() && (!a || (a->type == b->type && a->data == b->data));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::TheWorld();
    fuzz::FieldReader input(data, size);
    const size_t piece = 1 + input.Byte() % 97;
    const std::vector<std::string> keys = {input.Field(), input.Field()};
    const std::string name = input.Field();
    const std::string file = input.Rest();

    const auto whole = LookUp(keys, name, file, file.size() + 1);
    const auto pieces = LookUp(keys, name, file, piece);
    for (size_t i = 0; i < keys.size(); ++i) {
        FUZZ_REQUIRE(Same(whole[i], pieces[i]), "the pieces a file arrives in do not matter");
        if (whole[i] && whole[i]->type == 4)
            FUZZ_REQUIRE(whole[i]->data.size() == 4, "a dword is four bytes");
    }

    for (size_t start = 0; start < std::min<size_t>(file.size(), 64); ++start) {
        size_t end = 0;
        if (DecodeRegistryText(file, start, '"', end))
            FUZZ_REQUIRE(end > start && end <= file.size(), "a decoded text ends inside the file");
    }
    return 0;
}
