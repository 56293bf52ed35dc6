// What the result box shows of long answers.
#include "ui/result_display.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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

TEST(ResultForDisplay, OnlyWellFormedNonAsciiUtf8IsShownAsUtf8AndNeverCutInsideACharacter) {
    const std::pair<std::string, bool> cases[] = {
        {"plain\r\n", false},
        {"J\xC3\xBCrgen \xE6\x9D\xB1 \xF0\x9F\x8C\x90 \xF4\x8F\xBF\xBF", true},
        {"J\xFCrgen", false},
        {"cut \xE6\x9D", false},
        {"\xC3\xBC\xBC", false},
        {"\xC0\xAF", false},
        {"\xE0\x80\xAF", false},
        {"\xED\xA0\x80", false},
        {"\xF4\x90\x80\x80", false}};
    for (const auto& [text, utf8] : cases) {
        EXPECT_EQ(ResultForDisplay(text).utf8, utf8) << text;
        EXPECT_EQ(ResultForDisplay(text).text, text); // the text itself is never changed
    }
    // Past the limit without a line end, the limit falls on a character's last
    // byte: the cut goes back to its first.
    for (const std::string character : {"\xC3\xBC", "\xE6\x9D\xB1", "\xF0\x9F\x8C\x90"}) {
        const std::string head(kMaxShownResultBytes + 1 - character.size(), 'a');
        EXPECT_EQ(ResultForDisplay(head + character + "z").text, head + "\r\n" + kResultCutNotice);
    }
}
