// What the user and other programs do to the desktop around the utility: a post from a program the
// simulator does not run, and the user's clicks when there is nothing to click.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <sstream>
#include <string>
#include <vector>

// Each deliverable's resident instance is found by its own instance name; once it has closed, the next
// post, like every click with nothing to act on, only gives a note.
TEST(OutsideEvents, APostReachesTheResidentInstanceByItsTitleAndTheUsersClicksWithNothingToClickOnlyNote) {
    const struct {
        Deliverable deliverable;
        std::string instance, process;
    } builds[] = {{Deliverable::Duodesk, "KIVA 7300", "duodesk"},
                  {Deliverable::Duodeskb, "KIVA 7304", "duodeskb"}};
    for (const auto& b : builds) {
        SCOPED_TRACE(b.instance);
        SimRun run =
            RunSim("at 0 start\nat 1500 tray-click right\nat 1500 menu pick \"Off\"\nat 1500 menu dismiss\n"
                   "at 1500 dialog press ok\nat 1500 shell-restart\nat 2s post \"TurnOff\" 0x152A 0\nat 3s "
                   "post \"TurnOff\" 1 -1\n"
                   "end 4s\n",
                   b.deliverable);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.StateLines("post "),
                  std::vector<std::string>{"post 2000 0 to 1000 window 0x10010 message "
                                           "\"TurnOff\" wparam 5418 lparam 0"});
        EXPECT_TRUE(run.HasStateLine("process 1000 " + b.process + ".exe exit 0 cmd \"\""));
        std::vector<std::string> notes;
        std::stringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("note ", 0) == 0)
                notes.push_back(line);
        }
        EXPECT_EQ(
            notes,
            (std::vector<std::string>{
                "note 1500 \"tray-click: no icon in the notification area\"",
                "note 1500 \"menu pick: no menu is open\"", "note 1500 \"menu dismiss: no menu is open\"",
                "note 1500 \"dialog press: no modal dialog is open\"",
                "note 1500 \"shell-restart: Explorer starts again with an empty notification area and "
                "broadcasts \\\"TaskbarCreated\\\" (0xC000)\"",
                "note 3000 \"post: no window titled \\\"" + b.instance +
                    "\\\" to post \\\"TurnOff\\\" to\""}));
    }
}
