// The verbs a second start forwards and the installer's "res" preset: which command lines count as what.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "app/app_messages.h"
#include "app/res_preset.h"
#include "app/verbs.h"

TEST(AppVerbs, TheWholeTextIsComparedWithoutRegardToCase) {
    ASSERT_NE(FindAppVerb("close"), nullptr);
    EXPECT_STREQ(FindAppVerb("close")->pszVerb, "Close");
    EXPECT_STREQ(FindAppVerb("UNINSTALL")->pszVerb, "Uninstall");
    EXPECT_STREQ(FindAppVerb("R270")->pszVerb, "r270");
}

TEST(AppVerbs, AnythingAroundTheVerbMakesItNoVerb) {
    EXPECT_EQ(FindAppVerb("Close "), nullptr);
    EXPECT_EQ(FindAppVerb(" Close"), nullptr);
    EXPECT_EQ(FindAppVerb("/Close"), nullptr);
    EXPECT_EQ(FindAppVerb("Closer"), nullptr);
    EXPECT_EQ(FindAppVerb("Clos"), nullptr);
    EXPECT_EQ(FindAppVerb("r9"), nullptr);
    EXPECT_EQ(FindAppVerb("r2700"), nullptr);
    EXPECT_EQ(FindAppVerb("res 800 600 16"), nullptr);
    EXPECT_EQ(FindAppVerb(""), nullptr);
    EXPECT_EQ(FindAppVerb(nullptr), nullptr);
}

TEST(AppVerbs, UninstallTurnsOffFirstAndThenRemovesTheRegistry) {
    const AppVerb* pVerb = FindAppVerb("Uninstall");
    ASSERT_EQ(pVerb->nPosts, 2);
    EXPECT_EQ(pVerb->posts[0].pnMsg, &g_nMsgTurnOff);
    EXPECT_EQ(pVerb->posts[0].wParam, 0u);
    EXPECT_EQ(pVerb->posts[1].pnMsg, &g_nMsgRemoveRegistry);
    EXPECT_EQ(pVerb->posts[1].wParam, 0u);
}

TEST(AppVerbs, OnlyCloseAsksTheRunningInstanceToQuit) {
    EXPECT_EQ(FindAppVerb("Close")->posts[0].wParam, TURNOFF_AND_CLOSE);
    EXPECT_EQ(FindAppVerb("Turnoff")->posts[0].wParam, 0u);
    EXPECT_EQ(FindAppVerb("Turnoff")->posts[0].pnMsg, &g_nMsgTurnOff);
}

TEST(AppVerbs, RotationVerbsSendTheRotationIndexPlusOneAndCarryTheirTrace) {
    const char* verbs[] = {"r0", "r90", "r180", "r270"};
    const char* traces[] = {"rotatin r0\n", "rotatin r90\n", "rotatin r180\n", "rotatin r270\n"};
    for (WPARAM i = 0; i < 4; ++i) {
        const AppVerb* pVerb = FindAppVerb(verbs[i]);
        ASSERT_NE(pVerb, nullptr) << verbs[i];
        ASSERT_EQ(pVerb->nPosts, 1);
        EXPECT_EQ(pVerb->posts[0].pnMsg, &g_nMsgSISRotation);
        EXPECT_EQ(pVerb->posts[0].wParam, i + 1);
        EXPECT_STREQ(pVerb->pszTrace, traces[i]);
    }
    EXPECT_EQ(FindAppVerb("Close")->pszTrace, nullptr);
}

namespace {
bool Parse(std::vector<const char*> argv, ResPreset* pPreset) {
    return ParseResPreset(static_cast<int>(argv.size()), argv.data(), pPreset);
}
} // namespace

TEST(ResPreset, NeedsExactlyFourArgumentsAfterTheProgramName) {
    ResPreset preset = {};
    EXPECT_TRUE(Parse({"duodesk", "res", "1280", "1024", "16"}, &preset));
    EXPECT_EQ(preset.nWidth, 1280);
    EXPECT_EQ(preset.nHeight, 1024);
    EXPECT_EQ(preset.nBpp, 16);
    EXPECT_FALSE(Parse({"duodesk", "res", "1024", "768"}, &preset));
    EXPECT_FALSE(Parse({"duodesk", "res", "1024", "768", "32", "x"}, &preset));
    EXPECT_FALSE(Parse({"duodesk"}, &preset));
}

TEST(ResPreset, TheWordIsResInAnyCaseAndNothingElse) {
    ResPreset preset = {};
    EXPECT_TRUE(Parse({"duodesk", "RES", "1", "2", "3"}, &preset));
    EXPECT_TRUE(Parse({"duodesk", "rEs", "1", "2", "3"}, &preset));
    EXPECT_FALSE(Parse({"duodesk", "resx", "1", "2", "3"}, &preset));
    EXPECT_FALSE(Parse({"duodesk", "re", "1", "2", "3"}, &preset));
    EXPECT_FALSE(Parse({"duodesk", "/res", "1", "2", "3"}, &preset));
    EXPECT_FALSE(Parse({"duodesk", "1", "res", "2", "3"}, &preset));
}

TEST(ResPreset, NumbersAreReadLikeAtoi) {
    ResPreset preset = {};
    ASSERT_TRUE(Parse({"duodesk", "res", "abc", "768x", " 32"}, &preset));
    EXPECT_EQ(preset.nWidth, 0);
    EXPECT_EQ(preset.nHeight, 768);
    EXPECT_EQ(preset.nBpp, 32);
    ASSERT_TRUE(Parse({"duodesk", "res", "-800", "+600", "1e3"}, &preset));
    EXPECT_EQ(preset.nWidth, -800);
    EXPECT_EQ(preset.nHeight, 600);
    EXPECT_EQ(preset.nBpp, 1);
}

TEST(ResPreset, NumbersBeyondTheRangeOfIntStopAtItsLimits) {
    ResPreset preset = {};
    ASSERT_TRUE(Parse({"duodesk", "res", "99999999999999999999", "-99999999999", "2147483648"}, &preset));
    EXPECT_EQ(preset.nWidth, INT_MAX);
    EXPECT_EQ(preset.nHeight, INT_MIN);
    EXPECT_EQ(preset.nBpp, INT_MAX);
}
