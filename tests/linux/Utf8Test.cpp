#include "Utf8.h"

#include <gtest/gtest.h>

namespace {

struct Conversion {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

void PrintTo(const Conversion& param, std::ostream* out) {
    *out << param.name;
}

class Utf8ToUtf16 : public ::testing::TestWithParam<Conversion> {};

TEST_P(Utf8ToUtf16, GivesTheCodeUnits) {
    EXPECT_EQ(hid::utf16FromUtf8(GetParam().utf8), GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Utf8, Utf8ToUtf16,
    ::testing::Values(
        Conversion{"Ascii", "TS32-0042", u"TS32-0042"}, Conversion{"Empty", "", u""},
        Conversion{"TwoByteSequences", "M\xC3\xBCller \xC3\x98", u"M\u00FCller \u00D8"},
        Conversion{"ThreeByteSequences", "\xE2\x82\xAC\xE6\x97\xA5", u"\u20AC\u65E5"},
        Conversion{"OutsideTheBmpAsSurrogatePair", "a\xF0\x9F\x98\x80z",
                   std::u16string{u'a', 0xD83D, 0xDE00, u'z'}},
        Conversion{"HighestCodePoint", "\xF4\x8F\xBF\xBF", std::u16string{0xDBFF, 0xDFFF}},
        Conversion{"StrayContinuationByte", "a\x80z", u"a\uFFFDz"},
        Conversion{"SequenceCutByAnAsciiByte", "\xE2\x82z", u"\uFFFDz"},
        Conversion{"SequenceCutByTheEnd", "ab\xF0\x9F\x98", u"ab\uFFFD"},
        Conversion{"OverlongSlash", "\xC0\xAF", u"\uFFFD"},
        Conversion{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD"},
        Conversion{"AboveU10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
        Conversion{"InvalidLeadBytes", "\xFF\xFE", u"\uFFFD\uFFFD"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
