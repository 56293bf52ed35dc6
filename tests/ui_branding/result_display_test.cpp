// What the result box shows of long answers.
#include "ui/result_display.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Lines(std::size_t atLeast, const std::string& lineEnd) {
    std::string text;
    for (int i = 0; text.size() < atLeast; ++i)
        text += "line " + std::to_string(i) + lineEnd;
    return text;
}

} // namespace

TEST(ResultForDisplay, TextUpToTheLimitIsShownWhole) {
    EXPECT_EQ(ResultForDisplay("").text, "");
    const std::string exact(kMaxShownResultBytes, 'x');
    EXPECT_EQ(ResultForDisplay(exact).text, exact);
    const std::string answer = "NetName:    TEST\r\nOrgID:    X";
    EXPECT_EQ(ResultForDisplay(answer).text, answer);
}

TEST(ResultForDisplay, LongerTextIsCutAtTheLastLineEndWithANotice) {
    const std::string text = Lines(kMaxShownResultBytes * 3, "\r\n");
    const std::string shown = ResultForDisplay(text).text;
    const std::string notice = kResultCutNotice;
    ASSERT_GT(shown.size(), notice.size());
    EXPECT_EQ(shown.substr(shown.size() - notice.size()), notice);
    const std::string head = shown.substr(0, shown.size() - notice.size());
    EXPECT_LE(head.size(), kMaxShownResultBytes);
    EXPECT_GT(head.size(), kMaxShownResultBytes - 20); // only the last partial line goes
    EXPECT_EQ(text.compare(0, head.size(), head), 0);  // a prefix of the answer, whole lines
    EXPECT_EQ(head.substr(head.size() - 2), "\r\n");
}

TEST(ResultForDisplay, BareLineFeedsAndTextWithoutLineEnds) {
    // An unfiltered answer keeps bare LFs: the cut still falls after one, and
    // the notice starts a line of its own.
    const std::string lf = ResultForDisplay(Lines(kMaxShownResultBytes + 1, "\n")).text;
    const std::size_t at = lf.find(kResultCutNotice);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(lf[at - 1], '\n');
    EXPECT_EQ(lf.find('\r'), std::string::npos);

    // No line end at all: cut at the limit, then CR LF and the notice.
    const std::string flat(kMaxShownResultBytes + 1, 'z');
    EXPECT_EQ(ResultForDisplay(flat).text,
              std::string(kMaxShownResultBytes, 'z') + "\r\n" + kResultCutNotice);
}

TEST(ResultForDisplay, OnlyWellFormedNonAsciiUtf8IsShownAsUtf8) {
    const struct {
        const char* text;
        bool utf8;
    } cases[] = {
        {"", false},
        {"person: Juergen Mueller\r\n", false},             // plain ASCII: the code page as ever
        {"person: J\xC3\xBCrgen M\xC3\xBCller", true},      // U+00FC, two bytes
        {"descr: \xE6\x9D\xB1\xE4\xBA\xAC", true},          // three bytes
        {"descr: \xF0\x9F\x8C\x90 \xF4\x8F\xBF\xBF", true}, // four bytes, U+10FFFF
        {"person: J\xFCrgen M\xFCller", false},             // Latin-1
        {"\xC3", false},                                    // cut short
        {"\xC3\xBC\xBC", false},                            // stray continuation byte
        {"\xC0\xAF", false},                                // overlong '/'
        {"\xE0\x80\xAF", false},                            // overlong, three bytes
        {"\xF0\x80\x80\xAF", false},                        // overlong, four bytes
        {"\xED\xA0\x80", false},                            // surrogate half U+D800
        {"\xF4\x90\x80\x80", false},                        // above U+10FFFF
        {"\xF5\x80\x80\x80", false},                        // no such lead byte
        {"\xE6\x9D", false},                                // three-byte character cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        EXPECT_EQ(IsNonAsciiUtf8(c.text), c.utf8);
        const ResultDisplay shown = ResultForDisplay(c.text);
        EXPECT_EQ(shown.utf8, c.utf8);
        EXPECT_EQ(shown.text, c.text); // the text itself is never changed
    }
}

TEST(ResultForDisplay, ACutWithoutLineEndsNeverSplitsAUtf8Character) {
    // A character of two, three or four bytes straddles the limit at every
    // offset; the cut falls before it, so what is shown stays UTF-8.
    for (const std::string character : {"\xC3\xBC", "\xE6\x9D\xB1", "\xF0\x9F\x8C\x90"}) {
        for (std::size_t before = 1; before < character.size(); ++before) {
            std::string text(kMaxShownResultBytes - before, 'a');
            text += character + "tail";
            const ResultDisplay shown = ResultForDisplay(text);
            EXPECT_TRUE(shown.utf8);
            EXPECT_EQ(shown.text,
                      std::string(kMaxShownResultBytes - before, 'a') + "\r\n" + kResultCutNotice)
                << character.size() << "-byte character, " << before << " byte(s) inside";
        }
    }
    // The same bytes that are not UTF-8 as a whole are cut at the limit, as ever.
    std::string latin1(kMaxShownResultBytes - 1, 'a');
    latin1 += "\xC3\xBC\xFF";
    EXPECT_EQ(ResultForDisplay(latin1).text,
              latin1.substr(0, kMaxShownResultBytes) + "\r\n" + kResultCutNotice);
}
