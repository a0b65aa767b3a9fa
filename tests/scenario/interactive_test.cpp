// duodesk-sim --interactive: a person types the built-in scenario's timeline, with slips of the keyboard
// between the statements. Typed with the same waits, the session is the scenario: the program does the
// same, and the machine ends the same.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// The built-in timeline, each "at" turned into the wait since the statement before (the raw text's
// delimiter is "session": the menu labels end in ")" and a quote).
const std::string kTyped = R"session(start
wait 1500
dump
wait 500
plug
plgu
at 5s unplug
wait 10s
dump
wait 1s
tray-click right
wait 1s
menu pick "USB-VGA(Mirror)"
wait 6s
dump
wait 1s
tray-click right
wait 1s
menu pick "USB-VGA(Extended)"
wait 6s
dump
wait 1s
tray-click right
wait 1s
menu pick "Resolution" "High Resolution" "&1280X1024X32"
wait 2s
dump
wait 1s
dialog press ok
wait 1s
dump
wait 2s
unplug
wait

# the second start that closes the utility
wait 1s
dump
wait 2s
os 5.1
start Close
wait 2s
)session";

Lines WithoutHeap(Lines state) {
    std::erase_if(state, [](const std::string& line) { return line.starts_with("heap "); });
    return state;
}

} // namespace

TEST(Interactive, ATypedTimelineDoesWhatTheScenarioDoesAndShowsEachStep) {
    const SimRun scenario = RunBuiltInScenario();
    const SimRun session = RunSession(kTyped);
    ASSERT_EQ(session.exitStatus, 0) << session.err;
    ASSERT_EQ(scenario.exitStatus, 0) << scenario.err;

    // Each slip is one line that says what is wrong, and the session goes on.
    EXPECT_EQ(
        session.OutputLines("error "),
        (Lines{
            "error 2000 line 6 \"unknown event 'plgu'\"",
            "error 2000 line 7 \"a session has no times: type the event alone, and wait TIME to let time "
            "pass\"",
            "error 36000 line 34 \"wait wants a time: milliseconds, or seconds with an s suffix and at most "
            "three decimals, up to 10000000s\"",
            "error 39000 line 40 \"'os' describes the machine, which is set before the session starts\""}));

    // The same program run: every trace at the same moment, the same menus, the same display calls, and
    // the end of input ends it where the scenario's end does.
    ASSERT_FALSE(session.traces.empty());
    EXPECT_EQ(session.OutputLines("trace "), scenario.OutputLines("trace "));
    EXPECT_EQ(session.OutputLines("menu "), scenario.OutputLines("menu "));
    EXPECT_EQ(session.OutputLines("dialog "), scenario.OutputLines("dialog "));
    EXPECT_EQ(WithoutHeap(session.State("final")), WithoutHeap(scenario.State("final")));
    EXPECT_EQ(session.OutputLines("final "), Lines{"final 41000"}) << "the clock stops at the last wait";
    EXPECT_EQ(WithoutHeap(session.State("dump 12000")), WithoutHeap(scenario.State("dump 12000")));

    // A step shows what the program did since the step before, then the layout: taken together, the steps
    // show every display call and driver request once, in order.
    Lines calls, requests;
    bool inStep = false;
    for (const std::string& line : session.OutputLines("")) {
        inStep = line.starts_with("step ") || (inStep && line != "end-step");
        if (inStep && line.starts_with("cds "))
            calls.push_back(line);
        if (inStep && line.starts_with("driver "))
            requests.push_back(line);
    }
    EXPECT_EQ(calls, session.StateLines("cds "));
    EXPECT_EQ(requests, session.StateLines("driver "));
    EXPECT_GT(calls.size() + requests.size(), 20u);
    // At the pick of Mirror the program begins its pause of 2 s: the layout is still the extended one.
    EXPECT_EQ(session.StateLines("layout ", "step 14000"), session.StateLines("layout ", "dump 12000"));
    EXPECT_EQ(session.StateLines("layout ", "step 20000"), session.StateLines("layout ", "dump 20000"));
    EXPECT_NE(session.StateLines("layout ", "step 20000"), session.StateLines("layout ", "dump 12000"));
}

// The machine comes from a file; its timeline, if it has one, would clash with the one typed in. A file
// that is refused runs nothing and is named with its line, as a scenario is.
TEST(Interactive, TakesTheMachineFromAFileThatHasNoEvents) {
    const std::string machine =
        "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60\nadapter plugged\n";
    const SimRun session = RunSession("start\nwait 10s\n", machine);
    ASSERT_EQ(session.exitStatus, 0) << session.err;
    EXPECT_EQ(session.Desk(), "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1024x768x32@60 1280,0; MIR off");

    const struct {
        std::string machine;
        const char* says; // after "FILE:"
    } refusals[] = {
        {machine + "at 0 start\n", "3: an interactive session takes its events from standard input"},
        {"display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60\nadapter plugged ready-after -1\n",
         "2: ready-after wants a count from 0 to 2147483647, or never"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.machine);
        const SimRun refused = RunSession("start\n", r.machine);
        EXPECT_EQ(refused.exitStatus, 2);
        EXPECT_EQ(refused.out, "");
        const std::string file = refused.err.substr(0, refused.err.find(':'));
        EXPECT_EQ(file.rfind("/tmp/", 0), 0u) << refused.err;
        EXPECT_EQ(refused.err, file + ":" + r.says + "\n");
    }
}

// A newcomer is told how to begin, `help` lists the statements, and an event typed before the program runs
// says why nothing answers it.
TEST(Interactive, GreetsANewcomerAndSaysWhyAnEventFindsNoProgram) {
    const SimRun session = RunSession("plug\nhelp\nstart\nwait 1s\n");
    ASSERT_EQ(session.exitStatus, 0) << session.err;
    const Lines greeting = session.OutputLines("hello ");
    ASSERT_EQ(greeting.size(), 1u);
    EXPECT_LT(session.out.find("hello "), session.out.find("note ")) << "before the first statement";
    EXPECT_NE(greeting[0].find("start"), std::string::npos) << greeting[0];

    const Lines help = session.OutputLines("help ");
    for (const char* statement : {"help start [elevated] [ARGS]", "help plug", "help wait TIME", "help help"})
        EXPECT_NE(std::find(help.begin(), help.end(), statement), help.end()) << statement;

    EXPECT_EQ(session.OutputLines("note "),
              Lines{"note 0 \"plug: the program is not running; type start to run it\""});
}
