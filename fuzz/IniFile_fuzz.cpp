// Settings files as an editor, another program or a crash may leave them: reading and writing them
// back is stable, setting a value makes that value read back (in memory and through the file), and it
// changes no other value.
#include <string>

#include "FuzzInput.h"
#include "FuzzWorld.h"
#include "support/IniFile.h"
#include "support/TextCodec.h"
#include "support/basRegistry.h"

using namespace loftwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::TheWorld();
    fuzz::FieldReader input(data, size);
    const uint8_t flags = input.Byte();
    const std::string section = input.Field();
    const std::string key = input.Field();
    const std::string value = input.Field();
    const std::string otherSection = input.Field();
    const std::string otherKey = input.Field();
    const std::string text = input.Rest();
    // What the settings file keeps of a value: its blanks at either end go.
    const std::string trimmed(Trim(value, " \t\r\v\f"));

    const IniDocument original(text);
    const std::string written = original.Text();
    FUZZ_REQUIRE(IniDocument(written).Text() == written, "read, write, read again: the same text");
    FUZZ_REQUIRE(original.Get(section, key) == IniDocument(written).Get(section, key),
                 "writing loses no value");

    IniDocument changed(text);
    const std::optional<std::string> otherBefore = changed.Get(otherSection, otherKey);
    if (!changed.Set(section, key, value)) {
        FUZZ_REQUIRE(changed.Text() == written, "a refused value changes nothing");
        return 0;
    }
    FUZZ_REQUIRE(changed.Get(section, key) == trimmed, "a value set reads back");
    FUZZ_REQUIRE(IniDocument(changed.Text()).Get(section, key) == trimmed, "and still after writing");
    const bool sameEntry =
        IniDocument("[" + section + "]\n" + key + "=x\n").Get(otherSection, otherKey).has_value();
    if (!sameEntry)
        FUZZ_REQUIRE(changed.Get(otherSection, otherKey) == otherBefore, "no other value changes");

    // The same through the settings file, which is replaced whole.
    if (flags & 1) {
        const std::string file = world.root + "/settings/loftwick.ini";
        test::WriteRealFile(file, text);
        FUZZ_REQUIRE(WriteIniValue(section, key, value, file), "a value the format holds is written");
        const std::string read = GetIniValue(section, key, "\x01", file);
        FUZZ_REQUIRE(read == (trimmed.empty() ? "\x01" : trimmed), "the file holds the value");
    }
    return 0;
}
