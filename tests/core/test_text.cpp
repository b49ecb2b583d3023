#include "errors.h"
#include "param_names.h"
#include "text.h"

#include <gtest/gtest.h>

using namespace quorvale;

struct OrderCase {
    const char* label;
    const char* a;
    const char* b;
    int expected;
    friend void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.label; }
};

class NameOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(NameOrder, ComparesLowerCasedUnitsShorterFirst) {
    const auto& c = GetParam();
    EXPECT_EQ(compareNames(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(compareNames(c.b, c.a), -c.expected);
}

INSTANTIATE_TEST_SUITE_P(Registry, NameOrder,
                         ::testing::Values(OrderCase{"digitsAsText", "10", "9", -1},
                                           OrderCase{"underscoreFirst", "_x", "a", -1},
                                           OrderCase{"caseBlind", "Mods", "mods", 0},
                                           OrderCase{"prefixFirst", "a", "ab", -1},
                                           OrderCase{"upperCaseLowered", "B", "a", 1},
                                           OrderCase{"umlautCaseBlind", "Ä", "ä", 0},
                                           OrderCase{"asciiBeforeUmlaut", "z", "ä", -1},
                                           OrderCase{"cyrillicCaseBlind", "Ж", "ж", 0},
                                           OrderCase{"emptyFirst", "", "a", -1}),
                         ByLabel());

struct IntCase {
    const char* label;
    const char* text;
    bool ok;
    int32_t value;
    friend void PrintTo(const IntCase& c, std::ostream* os) { *os << c.label; }
};

class StrToInt : public ::testing::TestWithParam<IntCase> {};

TEST_P(StrToInt, AcceptsDecimalAndHexOnly) {
    const auto& c = GetParam();
    int32_t v = 0;
    EXPECT_EQ(tryStrToInt(c.text, v), c.ok) << c.text;
    if (c.ok)
        EXPECT_EQ(v, c.value);
    else
        EXPECT_THROW(strToInt(c.text), ConvertError);
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, StrToInt,
    ::testing::Values(IntCase{"decimal", "4711", true, 4711}, IntCase{"negative", "-12", true, -12},
                      IntCase{"leadingZeros", "007", true, 7},
                      IntCase{"dollarHex", "$1F", true, 31}, IntCase{"cHex", "0x10", true, 16},
                      IntCase{"max", "2147483647", true, 2147483647},
                      IntCase{"min", "-2147483648", true, INT32_MIN},
                      IntCase{"overflow", "2147483648", false, 0}, IntCase{"empty", "", false, 0},
                      IntCase{"trailingLetter", "12a", false, 0},
                      IntCase{"trailingBlank", "1 ", false, 0}, IntCase{"signOnly", "-", false, 0},
                      IntCase{"letters", "abc", false, 0}),
    ByLabel());

TEST(StrToInt, ErrorTextNamesTheInput) {
    try {
        strToInt("mods1");
        FAIL();
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'mods1' is not a valid integer value");
    }
}

TEST(Text, Utf16RoundTripAndCp1252Fallback) {
    const std::string s = "Zoë \xF0\x9F\x98\x80 Ж";
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(s)), s);
    EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80").size(), 2u);
    // 0xE9 alone is not UTF-8: it is é in Windows-1252; 0x80 is the euro sign.
    EXPECT_EQ(decodeUtf8OrCp1252("Jos\xE9 \x80"), "José €");
    EXPECT_EQ(decodeUtf8OrCp1252("José"), "José");
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));     // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80")); // surrogate
}

TEST(Text, PortsAreWholeNumbersInRange) {
    uint16_t p = 0;
    EXPECT_TRUE(tryParsePort("2302", p));
    EXPECT_EQ(p, 2302);
    EXPECT_TRUE(tryParsePort("65535", p));
    EXPECT_TRUE(tryParsePort("002302", p)); // leading zeros still name the number
    EXPECT_EQ(p, 2302);
    for (const char* bad : {"0", "65536", "", "-1", "23a", " 2302", "999999"})
        EXPECT_FALSE(tryParsePort(bad, p)) << bad;
    // a number out of range is told as such; anything else keeps the conversion's text
    for (const char* range : {"0", "65536", "-1", "99999999999", "$FFFFF"})
        EXPECT_EQ(badPortMessage(range),
                  "'" + std::string(range) + "' is not a valid port number (1\u201365535).");
    for (const char* text : {"", "23a", " 2302", "0x10", "-"})
        EXPECT_EQ(badPortMessage(text), "'" + std::string(text) + "' is not a valid integer value");
}

struct ShownCase {
    const char* label;
    const char* text;
    const char* escaped;   // for a terminal or JSON
    const char* displayed; // among other text, inside its isolate
};

class ServerText : public ::testing::TestWithParam<ShownCase> {};

TEST_P(ServerText, ReachesTheScreenInert) {
    EXPECT_EQ(escapeControlCharacters(GetParam().text), GetParam().escaped);
    EXPECT_EQ(isolatedDisplayText(GetParam().text),
              std::string("\u2068") + GetParam().displayed + "\u2069");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ServerText,
    ::testing::Values(ShownCase{"lettersStay", "Zo\u00eb \u05e9\u05dc\u05d5\u05dd",
                                "Zo\u00eb \u05e9\u05dc\u05d5\u05dd",
                                "Zo\u00eb \u05e9\u05dc\u05d5\u05dd"},
                      ShownCase{"controls", "\x1b]0;t\a\x1b[2J\n\t\r\x7f\xc2\x85\xc2\x9b",
                                "\\u001b]0;t\\u0007\\u001b[2J\\n\\t\\r\\u007f\\u0085\\u009b",
                                "\\u001b]0;t\\u0007\\u001b[2J\\n\\t\\r\\u007f\\u0085\\u009b"},
                      ShownCase{"bidiOverridesAndIsolates", "\u202eevil\u2069\u2066x\u2029",
                                "\u202eevil\u2069\u2066x\u2029",
                                "\\u202eevil\\u2069\\u2066x\\u2029"}),
    ByLabel());
