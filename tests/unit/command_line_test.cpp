// The command line as the framework hands it to the program: the text after the program name (where the
// verbs are looked for) and the argument vector (where the "res" preset is looked for).
#include <windows.h>

#include <gtest/gtest.h>

#include "framework/command_line.h"
#include "machine.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

// The vector as texts; its pointers end with a null, and argc counts them.
Args Split(const char* cmdLine) {
    int argc = -1;
    char** argv = SplitCommandLine(cmdLine, &argc);
    Args args;
    for (int i = 0; argv != nullptr && argv[i] != nullptr; ++i)
        args.push_back(argv[i]);
    EXPECT_EQ(argc, static_cast<int>(args.size()));
    free(argv);
    return args;
}

std::string BaseName(const char* path, size_t size = 260) {
    std::vector<char> name(size, 'x');
    ExeBaseName(path, name.data(), size);
    return name.data();
}

} // namespace

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
    EXPECT_EQ(Split("duodesk.exe res  1024\t768 32 "), (Args{"duodesk.exe", "res", "1024", "768", "32"}));
}

TEST(SplitCommandLine, TheProgramNameTakesQuotesButNoEscapes) {
    EXPECT_EQ(Split("\"C:\\Program Files\\duodesk\\\" x"), (Args{"C:\\Program Files\\duodesk\\", "x"}));
}

TEST(SplitCommandLine, QuotesGroupBlanksIntoOneArgument) {
    EXPECT_EQ(Split("p \"a b\" c\" d\"e"), (Args{"p", "a b", "c de"}));
    EXPECT_EQ(Split("p \"\" x"), (Args{"p", "", "x"}));
}

TEST(SplitCommandLine, BackslashesEscapeOnlyBeforeAQuote) {
    EXPECT_EQ(Split("p a\\\\b"), (Args{"p", "a\\\\b"}));              // a\\b stays a\\b
    EXPECT_EQ(Split("p a\\\"b"), (Args{"p", "a\"b"}));                // a\"b is a"b
    EXPECT_EQ(Split("p \"a\\\\\" b"), (Args{"p", "a\\", "b"}));       // "a\\" b: the quote closes
    EXPECT_EQ(Split("p a\\\\\\\"b"), (Args{"p", "a\\\"b"}));          // a\\\"b is a\"b
    EXPECT_EQ(Split("p C:\\dir\\ x"), (Args{"p", "C:\\dir\\", "x"})); // a trailing backslash
}

TEST(SplitCommandLine, ADoubledQuoteInsideQuotesIsALiteralQuote) {
    EXPECT_EQ(Split("p \"a\"\"b\" c"), (Args{"p", "a\"b", "c"}));
}

TEST(SplitCommandLine, AnUnclosedQuoteRunsToTheEnd) {
    EXPECT_EQ(Split("p \"a b"), (Args{"p", "a b"}));
}

TEST(SplitCommandLine, AnEmptyLineHasNoArguments) {
    EXPECT_TRUE(Split("").empty());
    EXPECT_TRUE(Split("   ").empty());
    EXPECT_TRUE(Split(nullptr).empty());
}

TEST(ExeBaseName, DropsTheFolderAndTheExtension) {
    EXPECT_EQ(BaseName("C:\\Program Files\\duodesk\\duodeskb.exe"), "duodeskb");
    EXPECT_EQ(BaseName("duodesk.exe"), "duodesk");
    EXPECT_EQ(BaseName("/opt/sim/duodesk-sim"), "duodesk-sim");
}

TEST(ExeBaseName, ADotInAFolderNameIsNotAnExtension) {
    EXPECT_EQ(BaseName("C:\\tools.v2\\duodesk"), "duodesk");
    EXPECT_EQ(BaseName("C:\\tools.v2\\duo.desk.exe"), "duo.desk");
}

TEST(ExeBaseName, ANameTooLongForTheBufferIsCut) {
    EXPECT_EQ(BaseName("C:\\duodesk.exe", 5), "duod");
    EXPECT_EQ(BaseName(nullptr), "");
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
