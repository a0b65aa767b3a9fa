// The scenario's `fail` rules: which of the program's calls fail, what they return and which last error
// they leave; that winsim's own calls on the way neither count nor fail; and the statements that are no rule.
#include <windows.h>

#include <gtest/gtest.h>

#include "machine.h"
#include "scenario.h"

#include <new>
#include <sstream>
#include <string>
#include <vector>

using namespace winsim;

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// Five calls of a function of each way of failing, as "ok" or the failure each returned.
std::vector<std::string> FiveCalls(const std::string& function) {
    std::vector<std::string> results;
    for (int i = 0; i < 5; ++i) {
        SetLastError(0);
        if (function == "RegSetValueExA") {
            DWORD value = 1;
            LSTATUS status = RegSetValueExA(HKEY_CURRENT_USER, "V", 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&value), sizeof value);
            results.push_back(status == ERROR_SUCCESS ? "ok" : "status " + std::to_string(status));
        } else if (function == "CreatePopupMenu") {
            HMENU menu = CreatePopupMenu();
            results.push_back(menu ? "ok" : "null error " + std::to_string(GetLastError()));
            DestroyMenu(menu);
        } else if (function == "ChangeDisplaySettingsExA") {
            results.push_back("result " + std::to_string(ChangeDisplaySettingsExA(nullptr, nullptr, nullptr,
                                                                                  CDS_TEST, nullptr)));
        } else if (function == "new") {
            int* p = new (std::nothrow) int(7);
            results.push_back(p ? "ok" : "null error " + std::to_string(GetLastError()));
            delete p;
        }
    }
    return results;
}

} // namespace

TEST(Faults, ARuleFailsTheCallsItCountsWithTheFunctionsFailureValueAndError) {
    const struct {
        const char* rule;
        const char* function;
        std::vector<std::string> results;
    } cases[] = {
        {"RegSetValueExA", "RegSetValueExA", {"status 5", "ok", "ok", "ok", "ok"}},
        {"RegSetValueExA from 2 times 2 error 1018",
         "RegSetValueExA",
         {"ok", "status 1018", "status 1018", "ok", "ok"}},
        {"CreatePopupMenu from 4 times always",
         "CreatePopupMenu",
         {"ok", "ok", "ok", "null error 8", "null error 8"}},
        {"CreatePopupMenu error 0x5AA", "CreatePopupMenu", {"null error 1450", "ok", "ok", "ok", "ok"}},
        {"ChangeDisplaySettingsExA from 5",
         "ChangeDisplaySettingsExA",
         {"result 0", "result 0", "result 0", "result 0", "result -1"}},
        {"ChangeDisplaySettingsExA times 2 error -2",
         "ChangeDisplaySettingsExA",
         {"result -2", "result -2", "result 0", "result 0", "result 0"}},
        // The program's nothrow allocations; a failed one leaves the last error alone.
        {"new from 3", "new", {"ok", "ok", "null error 0", "ok", "ok"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        BeginTestProcess();
        M().displays.push_back(DisplayDevice{});
        M().displays.back().name = "\\\\.\\DISPLAY1";
        std::string error;
        ASSERT_TRUE(AddFailRule(Words(c.rule), error)) << error;
        EXPECT_EQ(FiveCalls(c.function), c.results);
    }
}

// Each process counts its own calls, and calls winsim makes inside a function are not the program's.
TEST(Faults, EachProcessCountsItsOwnCallsAndWinsimsInnerCallsAreNotCounted) {
    BeginTestProcess();
    std::string error;
    ASSERT_TRUE(AddFailRule(Words("RegOpenKeyExA from 2"), error)) << error;
    HKEY key = nullptr;
    // RegOpenKeyA opens through RegOpenKeyExA inside winsim: that call is not the program's second.
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "", &key), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
    PlayTestProcess(AddTestProcess());
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
    Sleep(0);

    FILE* file = tmpfile();
    WriteCallCounts(file);
    rewind(file);
    char text[512] = {};
    fread(text, 1, sizeof text - 1, file);
    fclose(file);
    EXPECT_STREQ(text, "calls 1000 RegOpenKeyA 1\ncalls 1000 RegOpenKeyExA 2\ncalls 1004 RegOpenKeyExA 2\n"
                       "calls 1004 Sleep 1 cannot-fail\n");
}

TEST(Faults, AStatementThatIsNoRuleIsRefusedWithItsLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"fail", "scenario line 1: fail wants FUNCTION [from N] [times M|always] [error CODE]"},
        {"fail MessageBoxA", "scenario line 1: fail: winsim has no function 'MessageBoxA'"},
        {"fail Sleep", "scenario line 1: fail: Sleep has no failure value"},
        {"fail SetTimer from 0",
         "scenario line 1: fail wants FUNCTION [from N] [times M|always] [error CODE]"},
        {"fail SetTimer times",
         "scenario line 1: fail wants FUNCTION [from N] [times M|always] [error CODE]"},
        {"fail SetTimer error 5x",
         "scenario line 1: fail wants FUNCTION [from N] [times M|always] [error CODE]"},
        {"fail SetTimer every 2",
         "scenario line 1: fail wants FUNCTION [from N] [times M|always] [error CODE]"},
        {"at 0 start\nfail SetTimer",
         "scenario line 2: fail describes the machine: it comes before the first event"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ResetMachine();
        std::vector<ScenarioEvent> timeline;
        ScenarioError error;
        ASSERT_FALSE(LoadScenario(c.text, timeline, error));
        EXPECT_EQ("scenario line " + std::to_string(error.line) + ": " + error.message, c.error);
    }
}
