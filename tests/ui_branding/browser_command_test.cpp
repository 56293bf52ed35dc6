// Where the address goes in the registered browser's command line.
#include "ui/browser_command.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BrowserCommandTest, PlaceholderRules) {
    const std::string address = "http://example.test/a?b=1&c=2";

    // Quoted path, blank, quoted placeholder: the blank stays, one is added.
    EXPECT_EQ(ComposeBrowserCommand("\"C:\\Web\\browser.exe\" \"%1\"", address),
              "\"C:\\Web\\browser.exe\"  " + address);
    // The quoted form wins over a bare %1 that comes earlier.
    EXPECT_EQ(ComposeBrowserCommand("b.exe %1 \"%1\"", address), "b.exe %1  " + address);
    // Bare placeholder: what follows it is lost.
    EXPECT_EQ(ComposeBrowserCommand("C:\\b.exe %1 -new-window -x", address),
              "C:\\b.exe  " + address);
    EXPECT_EQ(ComposeBrowserCommand("C:\\b.exe -url=%1", address), "C:\\b.exe -url= " + address);
    // No placeholder: one blank and the address at the end.
    EXPECT_EQ(ComposeBrowserCommand("\"C:\\b.exe\" -nohome", address),
              "\"C:\\b.exe\" -nohome " + address);
    // "%2" or a lone "%" is no placeholder.
    EXPECT_EQ(ComposeBrowserCommand("b.exe \"%2\" 100%", address), "b.exe \"%2\" 100% " + address);
    // An empty command still gets the blank.
    EXPECT_EQ(ComposeBrowserCommand("", address), " " + address);
    // Only the first placeholder counts.
    EXPECT_EQ(ComposeBrowserCommand("b.exe %1 %1", address), "b.exe  " + address);
}

TEST(BrowserCommandTest, NeverLongerThanTheCommandBuffer) {
    const std::string browser(259, 'b');
    const std::string longAddress = "http://x/" + std::string(600, 'a');

    std::string command = ComposeBrowserCommand(browser + " %1", longAddress);
    ASSERT_EQ(command.size(), kBrowserCommandBufferSize - 1);
    EXPECT_EQ(command.substr(0, 261), browser + "  ");
    EXPECT_EQ(command.substr(261, 9), "http://x/");

    // Exactly filling the buffer keeps everything.
    const std::string fits(kBrowserCommandBufferSize - 1 - 6, 'c');
    EXPECT_EQ(ComposeBrowserCommand("b.exe", fits), "b.exe " + fits);
}

} // namespace
