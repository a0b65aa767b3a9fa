// StrContainsNoCase: how device-interface paths and DeviceIDs are matched against the adapter's ids.
#include <gtest/gtest.h>

#include "sysint/str_util.h"

TEST(StrContainsNoCase, MatchesRegardlessOfCaseOnEitherSide) {
    EXPECT_TRUE(StrContainsNoCase("xAbCx", "bc"));
    EXPECT_TRUE(StrContainsNoCase("\\\\?\\USB#VID_5A1E&PID_7300#5&2a1c3b", "vid_5a1e&pid_7300"));
    EXPECT_TRUE(StrContainsNoCase("ztk\\usb2vga", "ZTK\\USB2VGA"));
}

TEST(StrContainsNoCase, EmptyOrNullTextsNeverMatch) {
    EXPECT_FALSE(StrContainsNoCase("abc", ""));
    EXPECT_FALSE(StrContainsNoCase("", "a"));
    EXPECT_FALSE(StrContainsNoCase("", ""));
    EXPECT_FALSE(StrContainsNoCase(nullptr, "a"));
    EXPECT_FALSE(StrContainsNoCase("abc", nullptr));
}

TEST(StrContainsNoCase, FindsThePartAtTheVeryStartAndTheVeryEnd) {
    EXPECT_TRUE(StrContainsNoCase("pid_7300#rest", "PID_7300"));
    EXPECT_TRUE(StrContainsNoCase("rest#pid_7300", "PID_7300"));
    EXPECT_TRUE(StrContainsNoCase("pid_7300", "PID_7300"));
}

TEST(StrContainsNoCase, APartCutOffByTheEndOfTheTextDoesNotMatch) {
    EXPECT_FALSE(StrContainsNoCase("rest#pid_730", "pid_7300"));
    EXPECT_FALSE(StrContainsNoCase("ab", "abc"));
}

TEST(StrContainsNoCase, RetriesAfterAFalseStartThatOverlapsTheMatch) {
    EXPECT_TRUE(StrContainsNoCase("aaab", "aab"));
    EXPECT_TRUE(StrContainsNoCase("pid_73pid_7300", "pid_7300"));
}

TEST(StrContainsNoCase, OneModelsIdDoesNotMatchTheOther) {
    EXPECT_FALSE(StrContainsNoCase("\\\\?\\usb#vid_5a1e&pid_7304#5&2a1c3b", "vid_5a1e&pid_7300"));
    // The mirror driver's id contains the display device's id, not the other way round.
    EXPECT_TRUE(StrContainsNoCase("ZTK\\USB2VGAM", "ZTK\\USB2VGA"));
    EXPECT_FALSE(StrContainsNoCase("ZTK\\USB2VGA", "ZTK\\USB2VGAM"));
}

TEST(StrContainsNoCase, OnlyAsciiLettersAreFolded) {
    // '@' and '`' sit right before 'A' and 'a'; '[' and '{' right after 'Z' and 'z'.
    EXPECT_FALSE(StrContainsNoCase("@", "`"));
    EXPECT_FALSE(StrContainsNoCase("[", "{"));
    EXPECT_FALSE(StrContainsNoCase("\xC4", "\xE4"));
    EXPECT_TRUE(StrContainsNoCase("a{b", "A{B"));
}
