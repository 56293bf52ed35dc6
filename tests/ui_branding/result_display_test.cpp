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
    EXPECT_EQ(ResultForDisplay(""), "");
    const std::string exact(kMaxShownResultBytes, 'x');
    EXPECT_EQ(ResultForDisplay(exact), exact);
    const std::string answer = "NetName:    TEST\r\nOrgID:    X";
    EXPECT_EQ(ResultForDisplay(answer), answer);
}

TEST(ResultForDisplay, LongerTextIsCutAtTheLastLineEndWithANotice) {
    const std::string text = Lines(kMaxShownResultBytes * 3, "\r\n");
    const std::string shown = ResultForDisplay(text);
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
    const std::string lf = ResultForDisplay(Lines(kMaxShownResultBytes + 1, "\n"));
    const std::size_t at = lf.find(kResultCutNotice);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(lf[at - 1], '\n');
    EXPECT_EQ(lf.find('\r'), std::string::npos);

    // No line end at all: cut at the limit, then CR LF and the notice.
    const std::string flat(kMaxShownResultBytes + 1, 'z');
    EXPECT_EQ(ResultForDisplay(flat),
              std::string(kMaxShownResultBytes, 'z') + "\r\n" + kResultCutNotice);
}
