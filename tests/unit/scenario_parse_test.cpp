// The scenario language's own rules: times, quoting and the errors a scenario writer sees.
#include <gtest/gtest.h>

#include "machine.h"
#include "scenario.h"

using namespace winsim;

TEST(ScenarioTime, MillisecondsOrDecimalSeconds) {
    uint64_t ms = 0;
    ASSERT_TRUE(ParseTime("1500", ms));
    EXPECT_EQ(ms, 1500u);
    ASSERT_TRUE(ParseTime("20.5s", ms));
    EXPECT_EQ(ms, 20500u);
    EXPECT_FALSE(ParseTime("-1", ms));
    EXPECT_FALSE(ParseTime("5m", ms));
    EXPECT_FALSE(ParseTime("s", ms));
}

TEST(ScenarioText, EscapesWhatATraceLineCannotHoldPlainly) {
    EXPECT_EQ(EscapeText("got  device\n"), "got  device\\n");
    EXPECT_EQ(EscapeText("a\"b\\c\x01\xff"), "a\\\"b\\\\c\\x01\\xFF");
}

TEST(ScenarioLoad, TimelineKeepsQuotedCommandLinesAndEndsWithEnd) {
    BeginTestProcess();
    std::vector<ScenarioEvent> events;
    ScenarioError error;
    ASSERT_TRUE(LoadScenario("adapter plugged\nat 0 start\nat 2s start \"Close \"\nat 3s start res 1 2 3\n",
                             events, error))
        << error.message;
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].args, "Close ");
    EXPECT_EQ(events[2].args, "res 1 2 3");
    EXPECT_EQ(events[3].kind, ScenarioEvent::Kind::End);
    EXPECT_EQ(events[3].time, 13000u);
}

TEST(ScenarioLoad, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        int line;
    } cases[] = {
        {"os 5.1\nbogus\n", 2},      {"at 2s dump\nat 1s dump\n", 2},
        {"at 1s plug\n", 1},         {"profile \"VGA DONGLE\" Width wide\n", 1},
        {"end 5s\nat 6s dump\n", 2}, {"os 5.1 csd \"unterminated\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BeginTestProcess();
        std::vector<ScenarioEvent> events;
        ScenarioError error;
        EXPECT_FALSE(LoadScenario(c.text, events, error));
        EXPECT_EQ(error.line, c.line);
    }
}
