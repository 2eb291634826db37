#include "results/ContentTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/RuntimeError.h"

namespace loftwick {
namespace {

TEST(GetFileExtension, QueryIsCutBlankOrSeparatorMeansNoExtension) {
    EXPECT_EQ(GetFileExtension("a.b?c", "x"), "b");
    EXPECT_EQ(GetFileExtension("a.b c", "x"), "x");
    EXPECT_EQ(GetFileExtension("abc", "x"), "x");
    EXPECT_EQ(GetFileExtension("abc.", "x"), "");
    // The dot belongs to a directory, not to the name.
    EXPECT_EQ(GetFileExtension("www.host/page", "x"), "x");
    EXPECT_EQ(GetFileExtension("www.host\\page", "x"), "x");
    // Only the last dot counts, and blanks around the extension are not part of it.
    EXPECT_EQ(GetFileExtension("archive.tar.gz", "x"), "gz");
    EXPECT_EQ(GetFileExtension("page.  htm  ", "x"), "htm");
    EXPECT_EQ(GetFileExtension(".htaccess", "x"), "htaccess");
}

TEST(InstrSet, FindsTheFirstOfAnySetCharacterFromStartAndStartBelowOneIsTheCallersError) {
    EXPECT_EQ(InstrSet(1, "abc;d&e", ";&"), 4);
    EXPECT_EQ(InstrSet(5, "abc;d&e", ";&"), 6);
    EXPECT_EQ(InstrSet(4, "abc;d&e", ";&"), 4);
    EXPECT_EQ(InstrSet(1, "abc;", ""), 0);
    EXPECT_EQ(InstrSet(100, "", ";&"), 0);
    try {
        InstrSet(0, "abc", "a");
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), vberr::InvalidProcedureCall);
    }
}

TEST(ContentTypeTable, LookupsAreExactAndTheFirstRowOfAContentTypeGivesItsExtension) {
    const std::pair<std::string, std::string> byName[] = {{"x.eps", "application/postscript"},
                                                          {"x.qt", "video/quicktime"},
                                                          {"Main.java", "java/*"},
                                                          {"Main.class", "java/*"},
                                                          {"PIC.GIF", "?"},
                                                          {"readme.", "?"},
                                                          {"a.b c", "?"},
                                                          {"a.unknown", "?"},
                                                          {"a.tar.gz", "application/x-gzip"},
                                                          {"page.asp?id=1", "text/html"}};
    for (const auto& [name, type] : byName) EXPECT_EQ(ContentTypeFromFileName(name, "?"), type) << name;
    const std::pair<std::string, std::string> byType[] = {{"application/postscript", "ai"},
                                                          {"video/quicktime", "mov"},
                                                          {"java/*", "class"},
                                                          {"java", "java"},
                                                          {"Image/GIF", "?"},
                                                          {"image/gif; charset=x", "?"},
                                                          {"text/htm", "?"},
                                                          {"", "?"}};
    for (const auto& [type, extension] : byType)
        EXPECT_EQ(ExtensionFromContentType(type, "?"), extension) << type;
}

// An extension leads to a content type whose own extension leads back to the same content type, so a
// saved copy never gets an extension that would be read as something else.
TEST(ContentTypeTable, KnownExtensionsRoundTrip) {
    // Representatives of the content types that several extensions share.
    const std::vector<std::string> extensions = {
        "ai",  "eps", "ps",  "aifc", "asp", "htm", "shtml", "dll", "exe",  "mid",   "rmi", "jfif",
        "jpe", "qt",  "mov", "tar",  "tgz", "z",   "asc",   "txt", "java", "class", "xsl", "xml"};
    for (const std::string& extension : extensions) {
        const std::string contentType = ContentTypeFromFileName("name." + extension, "");
        ASSERT_FALSE(contentType.empty()) << extension;
        const std::string back = ExtensionFromContentType(contentType, "");
        EXPECT_EQ(ContentTypeFromFileName("name." + back, ""), contentType) << extension;
    }
    EXPECT_EQ(ContentTypeFromFileName("x.txt", ""), "text/plain");
    EXPECT_EQ(ContentTypeFromFileName("x.asc", ""), "text/plain");
    EXPECT_EQ(ExtensionFromContentType("text/plain", ""), "txt");
    EXPECT_EQ(ExtensionFromContentType("audio/mid", ""), "rmi");
    EXPECT_EQ(ExtensionFromContentType("image/jpeg", ""), "jpg");
    EXPECT_EQ(ExtensionFromContentType("application/x-compressed", ""), "tgz");
}

}  // namespace
}  // namespace loftwick
