// Names, content types, result numbers and the addresses Open hands on as data
// (golden/DefaultNames.txt), and the default-name prompt.
#include <gtest/gtest.h>

#include "cache/CacheTestKit.h"
#include "cache/clsCacheBase.h"
#include "results/ContentTypes.h"
#include "results/SavePath.h"
#include "results/SaveTestSupport.h"
#include "results/ViewCommands.h"
#include "results/basDefaultNames.h"

namespace loftwick::test {
namespace {

class DefaultNames : public SaveFixture {
  protected:
    // The name for a single result of the given content type.
    std::string Fix(const std::string& path, const std::string& contentType, bool checkExtension = false) {
        host_.results.Clear();
        Add("http://server/any", contentType);
        return FixDefaultName(host_, path, 1, checkExtension);
    }

    // What Open hands on for a result of this address: the web address, never the cached file, or a
    // refusal with a message naming the address.
    std::string Open(const std::string& url) {
        desktop_.openedUrls.clear();
        Add(url, "text/html");
        host_.selectedLine = static_cast<int32_t>(host_.current);
        lstStatus_DblClick(host_);
        if (!desktop_.browserPages.empty() || !desktop_.openedDocuments.empty()) return "not the opener";
        if (!desktop_.openedUrls.empty())
            return desktop_.openedUrls.size() == 1 ? desktop_.openedUrls[0] : "?";
        if (desktop_.messages.size() != 1 || desktop_.messages[0].text.find(url) == std::string::npos)
            return "refused without a message naming it";
        desktop_.messages.clear();
        return "refused";
    }

    std::string Call(const std::string& call, const std::string& arg) {
        std::vector<std::string> parts;
        for (size_t at = 0;;) {
            const size_t semicolon = arg.find(" ; ", at);
            parts.push_back(arg.substr(at, semicolon - at));
            if (semicolon == std::string::npos) break;
            at = semicolon + 3;
        }
        parts.resize(3);
        if (call == "extension") return GetFileExtension(arg, "x");
        if (call == "type") return ContentTypeFromFileName(arg, "?");
        if (call == "extensionof") return ExtensionFromContentType(arg, "?");
        if (call == "number") return std::to_string(ResultNumberOfLine(arg));
        if (call == "prefix") return ContentTypePrefix(arg);
        if (call == "parts") {
            std::string joined;
            for (const std::string& part : SafeNameParts(arg)) joined += (joined.empty() ? "" : "/") + part;
            return joined;
        }
        if (call == "open") return Open(arg);
        host_.skipPrompt = !parts[2].empty();
        host_.defaultName = parts[2];
        if (call == "default" || call == "checked") return Fix(parts[0], parts[1], call == "checked");
        ADD_FAILURE() << "unknown call " << call;
        return {};
    }
};

TEST_F(DefaultNames, Table) {
    const int rows =
        CheckTable("results/golden/DefaultNames.txt",
                   [&](const std::string& call, const std::string& arg) { return Call(call, arg); });
    EXPECT_GE(rows, 90);
    EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(DefaultNames, PromptOffersTheLastAnswerAndACancelStopsTheQuestions) {
    host_.defaultName = "index.htm";
    desktop_.inputAnswers = {std::string("default.asp")};
    EXPECT_EQ(Fix("server\\dir\\", "image/gif"), "server\\dir\\default.gif");
    ASSERT_EQ(desktop_.prompts.size(), 1u);
    EXPECT_EQ(desktop_.prompts[0].prompt, "server\\dir\\\r\nType name for default file: ");
    EXPECT_EQ(desktop_.prompts[0].title, Program().AppTitle);
    EXPECT_EQ(desktop_.prompts[0].defaultText, "index.htm");
    EXPECT_EQ(host_.defaultName, "default.asp");
    EXPECT_FALSE(host_.skipPrompt);
    // Not skipped, so the next directory asks again, offering the last answer; cancelled, the stored
    // name still serves and the questions stop.
    EXPECT_EQ(Fix("server\\other\\", "text/html"), "server\\other\\default.html");
    EXPECT_EQ(Fix("server\\third\\", "text/html"), "server\\third\\default.html");
    ASSERT_EQ(desktop_.prompts.size(), 2u);
    EXPECT_EQ(desktop_.prompts[1].defaultText, "default.asp");
    EXPECT_TRUE(host_.skipPrompt);
}

}  // namespace
}  // namespace loftwick::test
