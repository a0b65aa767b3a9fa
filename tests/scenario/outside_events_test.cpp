// What the user and other programs do to the desktop around the utility: a post from a program the
// simulator does not run, and the user's clicks when there is nothing to click.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Notes(const SimRun& run) {
    std::vector<std::string> notes;
    std::stringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("note ", 0) == 0)
            notes.push_back(line);
    }
    return notes;
}

} // namespace

// Each deliverable's resident instance is found by its own instance name.
TEST(OutsideEvents, APostFromAnotherProgramReachesTheResidentInstanceByItsTitle) {
    const struct {
        Deliverable deliverable;
        const char* instance;
    } builds[] = {{Deliverable::Duodesk, "KIVA 7300"}, {Deliverable::Duodeskb, "KIVA 7304"}};
    for (const auto& b : builds) {
        SCOPED_TRACE(b.instance);
        SimRun run =
            RunSim("at 0 start\nat 2s post \"TurnOff\" 0x152A 0\nat 3s post \"TurnOff\" 5418 -1\nend 4s\n",
                   b.deliverable);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.StateLines("post "),
                  std::vector<std::string>{
                      "post 2000 0 to 1000 window 0x10010 message \"TurnOff\" wparam 5418 lparam 0"});
        EXPECT_TRUE(run.FindTrace("[OnTurnOff] Close Utility\n"));
        EXPECT_TRUE(run.HasStateLine(
            "process 1000 " + std::string(b.deliverable == Deliverable::Duodesk ? "duodesk" : "duodeskb") +
            ".exe exit 0 cmd \"\""));
        // The instance has closed by the second post.
        EXPECT_EQ(Notes(run),
                  std::vector<std::string>{"note 3000 \"post: no window titled \\\"" +
                                           std::string(b.instance) + "\\\" to post \\\"TurnOff\\\" to\""});
    }
}

TEST(OutsideEvents, TheUsersClicksWithNothingToClickOnlySaySo) {
    SimRun run =
        RunSim("at 0 start\nat 1500 tray-click right\nat 1600 menu pick \"Off\"\nat 1700 menu dismiss\n"
               "at 1800 dialog press ok\nat 1900 shell-restart\nend 2s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::vector<std::string> expected = {
        "note 1500 \"tray-click: no icon in the notification area\"",
        "note 1600 \"menu pick: no menu is open\"",
        "note 1700 \"menu dismiss: no menu is open\"",
        "note 1800 \"dialog press: no modal dialog is open\"",
        "note 1900 \"shell-restart: Explorer starts again with an empty notification area and broadcasts "
        "\\\"TaskbarCreated\\\" (0xC000)\"",
    };
    EXPECT_EQ(Notes(run), expected);
    EXPECT_TRUE(run.HasStateLine("process 1000 duodesk.exe running cmd \"\""));
}
