// Steam's text files: what the reader takes, and what it refuses with a reason.
#include "param_names.h"
#include "temp_dir.h"
#include "vdf.h"

#include <gtest/gtest.h>

using namespace quorvale;

namespace {

// "key=value;" and "key{...}" for each entry, to compare a whole tree in one line.
std::string flat(const VdfNode& node) {
    std::string out;
    for (const VdfNode& c : node.children)
        out += c.block ? c.key + "{" + flat(c) + "}" : c.key + "=" + c.value + ";";
    return out;
}

} // namespace

struct VdfCase {
    const char* label;
    std::string text;
    std::string tree;  // when read
    std::string error; // when refused: a part of the reason
    friend void PrintTo(const VdfCase& c, std::ostream* os) { *os << c.label; }
};

class VdfText : public ::testing::TestWithParam<VdfCase> {};

TEST_P(VdfText, IsReadOrRefusedWithAReason) {
    std::string error;
    const auto root = parseVdf(GetParam().text, error);
    if (GetParam().error.empty()) {
        ASSERT_TRUE(root) << error;
        EXPECT_EQ(flat(*root), GetParam().tree);
        if (const VdfNode* c = root->find("C")) { // names found without regard to case
            EXPECT_EQ(c->text("D"), "e");
        }
    } else {
        EXPECT_FALSE(root);
        EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VdfText,
    ::testing::Values(
        VdfCase{"escapes", R"("a" "C:\\Games\\x \"q\" \t|\z")", "a=C:\\Games\\x \"q\" \t|\\z;", ""},
        VdfCase{"unquotedNestedAndFound", "a b c { d e f { } }", "a=b;c{d=e;f{}}", ""},
        VdfCase{"commentsAndSlashes", "// x\n\"a\" /b/c // y\n\"d\"\n{\n}", "a=/b/c;d{}", ""},
        VdfCase{"conditionsPassedOver", "\"a\" \"1\" [$WIN32]\n\"b\" [$LINUX] { \"c\" \"2\" }",
                "a=1;b{c=2;}", ""},
        VdfCase{"bomAndWindowsLineEnds", "\xEF\xBB\xBF\"a\"\r\n{\r\n\"b\" \"\xC3\xA9\"\r\n}\r\n",
                "a{b=\xC3\xA9;}", ""},
        VdfCase{"nothing", " \n// only a comment", "", ""},
        VdfCase{"unclosedQuote", "\"a\"\n\"b", "", "line 2: a quoted text is not closed"},
        VdfCase{"unclosedBlock", "\"a\" {\n\"b\" \"c\"\n", "",
                "line 3: the file ends inside a block"},
        VdfCase{"strayClose", "\"a\" \"b\" }", "", "a '}' closes no block"},
        VdfCase{"nameWithoutValue", "\"a\" { \"b\" }", "", "\"b\" has no value"},
        VdfCase{"blockWithoutName", "{ \"a\" \"b\" }", "", "a block has no name"},
        VdfCase{"binary", std::string("\0\x01path\0x\0\x08", 10), "", "binary data"},
        VdfCase{"controlInQuotes", "\"a\" \"b\x01\"", "", "binary data"},
        VdfCase{"deeperThan64", repeated("a{", 65) + repeated("}", 65), "",
                "blocks nested deeper than 64"},
        VdfCase{"tooManyEntries", repeated("a b\n", 100001), "", "more than 100000 entries"},
        VdfCase{"overOneMebibyte", std::string((1 << 20) + 1, ' '), "", "larger than 1024 KiB"}),
    ByLabel());
