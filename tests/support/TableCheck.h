#pragma once
// Tables of rows as data files: one function of the code per "call", its argument and the text it
// should give.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace loftwick::test {

// `text` with every `from` in it replaced by `to`, as tables write the folders of a run short.
inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// The fields of a row's argument, which are separated by " ; " unless told otherwise; `at_least` pads the
// list with empty fields for rows that leave the last ones out.
inline std::vector<std::string> Fields(const std::string& text, size_t at_least = 0,
                                       const std::string& separator = " ; ") {
    std::vector<std::string> fields;
    size_t at = 0;
    for (size_t end; (end = text.find(separator, at)) != std::string::npos; at = end + separator.size())
        fields.push_back(text.substr(at, end - at));
    fields.push_back(text.substr(at));
    if (fields.size() < at_least) fields.resize(at_least);
    return fields;
}

// Checks a table of "call | argument | expected" rows below tests/ (split at the first and the last
// " | ", so a blank next to a separator belongs to the field): `call` answers a row; lines beginning
// with "@ " go to `directive`, lines beginning with "#" are comments. Returns the number of rows.
inline int CheckTable(const std::string& relative,
                      const std::function<std::string(const std::string&, const std::string&)>& call,
                      const std::function<void(const std::string&)>& directive = {}) {
    std::ifstream in(std::string(LOFTWICK_SOURCE_DIR) + "/tests/" + relative);
    int rows = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t first = line.find(" | "), last = line.rfind(" | ");
        if (line.rfind("@ ", 0) == 0) {
            directive(line.substr(2));
        } else if (first == last) {
            ADD_FAILURE() << "not a row: " << line;
        } else {
            EXPECT_EQ(call(line.substr(0, first), line.substr(first + 3, last - first - 3)),
                      line.substr(last + 3))
                << line;
            ++rows;
        }
    }
    return rows;
}

}  // namespace loftwick::test
