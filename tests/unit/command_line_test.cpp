// The command line as the framework hands it to the program: the text after the program name (where the
// verbs are looked for) and the argument vector (where the "res" preset is looked for).
#include <windows.h>

#include <gtest/gtest.h>

#include "framework/command_line.h"
#include "machine.h"

using Args = std::vector<std::string>;

TEST(SkipProgramName, KeepsEverythingAfterTheNameAndItsBlanksIncludingTrailingOnes) {
    EXPECT_STREQ(SkipProgramName("duodesk.exe Close"), "Close");
    EXPECT_STREQ(SkipProgramName("duodesk.exe   \tClose "), "Close ");
    EXPECT_STREQ(SkipProgramName("duodesk.exe res 1024  768 32"), "res 1024  768 32");
}

TEST(SkipProgramName, AQuotedNameMayContainBlanks) {
    EXPECT_STREQ(SkipProgramName("\"C:\\Program Files\\duodesk\\duodesk.exe\" Turnoff"), "Turnoff");
    EXPECT_STREQ(SkipProgramName("C:\\\"Program Files\"\\duodesk\\duodesk.exe r90"), "r90");
}

TEST(SkipProgramName, NoArgumentsGiveAnEmptyText) {
    EXPECT_STREQ(SkipProgramName("duodesk.exe"), "");
    EXPECT_STREQ(SkipProgramName("\"C:\\duodesk.exe\"   "), "");
    EXPECT_STREQ(SkipProgramName(""), "");
    EXPECT_STREQ(SkipProgramName(nullptr), "");
}

TEST(SplitCommandLine, SplitsOnRunsOfBlanksAndTabs) {
    EXPECT_EQ(SplitCommandLine("duodesk.exe res  1024\t768 32 "),
              (Args{"duodesk.exe", "res", "1024", "768", "32"}));
}

TEST(SplitCommandLine, TheProgramNameTakesQuotesButNoEscapes) {
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\duodesk\\\" x"),
              (Args{"C:\\Program Files\\duodesk\\", "x"}));
}

TEST(SplitCommandLine, QuotesGroupBlanksIntoOneArgument) {
    EXPECT_EQ(SplitCommandLine("p \"a b\" c\" d\"e"), (Args{"p", "a b", "c de"}));
    EXPECT_EQ(SplitCommandLine("p \"\" x"), (Args{"p", "", "x"}));
}

TEST(SplitCommandLine, BackslashesEscapeOnlyBeforeAQuote) {
    EXPECT_EQ(SplitCommandLine("p a\\\\b"), (Args{"p", "a\\\\b"}));              // a\\b stays a\\b
    EXPECT_EQ(SplitCommandLine("p a\\\"b"), (Args{"p", "a\"b"}));                // a\"b is a"b
    EXPECT_EQ(SplitCommandLine("p \"a\\\\\" b"), (Args{"p", "a\\", "b"}));       // "a\\" b: the quote closes
    EXPECT_EQ(SplitCommandLine("p a\\\\\\\"b"), (Args{"p", "a\\\"b"}));          // a\\\"b is a\"b
    EXPECT_EQ(SplitCommandLine("p C:\\dir\\ x"), (Args{"p", "C:\\dir\\", "x"})); // a trailing backslash
}

TEST(SplitCommandLine, ADoubledQuoteInsideQuotesIsALiteralQuote) {
    EXPECT_EQ(SplitCommandLine("p \"a\"\"b\" c"), (Args{"p", "a\"b", "c"}));
}

TEST(SplitCommandLine, AnUnclosedQuoteRunsToTheEnd) {
    EXPECT_EQ(SplitCommandLine("p \"a b"), (Args{"p", "a b"}));
}

TEST(SplitCommandLine, AnEmptyLineHasNoArguments) {
    EXPECT_TRUE(SplitCommandLine("").empty());
    EXPECT_TRUE(SplitCommandLine("   ").empty());
    EXPECT_TRUE(SplitCommandLine(nullptr).empty());
}

TEST(ExeBaseName, DropsTheFolderAndTheExtension) {
    EXPECT_EQ(ExeBaseName("C:\\Program Files\\duodesk\\duodeskb.exe"), "duodeskb");
    EXPECT_EQ(ExeBaseName("duodesk.exe"), "duodesk");
    EXPECT_EQ(ExeBaseName("/opt/sim/duodesk-sim"), "duodesk-sim");
}

TEST(ExeBaseName, ADotInAFolderNameIsNotAnExtension) {
    EXPECT_EQ(ExeBaseName("C:\\tools.v2\\duodesk"), "duodesk");
    EXPECT_EQ(ExeBaseName("C:\\tools.v2\\duo.desk.exe"), "duo.desk");
}

namespace {
std::string g_cmdLine, g_fullLine;
int RecordCommandLine(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
    g_cmdLine = lpCmdLine;
    g_fullLine = GetCommandLineA();
    return 0;
}
} // namespace

// What the simulator's program start hands over, as the C runtime of MSVC and MinGW does: lpCmdLine without
// the blanks after the program name, GetCommandLineA the whole line; SkipProgramName reads the same.
TEST(SkipProgramName, AgreesWithWhatTheCRuntimeHandsToWinMain) {
    const struct {
        const char* args; // the scenario's text after the program name
        const char* cmdLine;
    } cases[] = {{"Close", "Close"}, {"  Close", "Close"}, {"\t Close ", "Close "}, {"   ", ""}, {"", ""}};
    for (const auto& c : cases) {
        winsim::BeginTestProcess();
        winsim::M().program.imageName = "duodesk.exe";
        winsim::M().program.winMain = RecordCommandLine;
        winsim::StartProgram(c.args);
        EXPECT_EQ(g_cmdLine, c.cmdLine) << "'" << c.args << "'";
        EXPECT_EQ(g_fullLine,
                  std::string("\"C:\\Program Files\\duodesk\\duodesk.exe\"") + (*c.args ? " " : "") + c.args);
        EXPECT_EQ(SkipProgramName(g_fullLine.c_str()), g_cmdLine) << "'" << c.args << "'";
    }
}
