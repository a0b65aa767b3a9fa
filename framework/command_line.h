// Splitting a Windows command line the way the C runtime does for argv.
#pragma once
#include <string>
#include <vector>

// The text after the program name, with the blanks that separate it from the name skipped; what Windows
// hands to WinMain as lpCmdLine. Trailing blanks are kept.
const char* SkipProgramName(const char* cmdLine);

// The argument vector of a command line. The program name is taken up to the first blank, or between
// quotes when it starts with one, without any escape processing; the arguments after it follow the usual
// rules: blanks separate, quotes group, 2n backslashes before a quote give n backslashes and a grouping
// quote, 2n+1 give n backslashes and a literal quote, a doubled quote inside quotes is a literal quote.
std::vector<std::string> SplitCommandLine(const char* cmdLine);

// The file name of a module path without its folder and without its extension.
std::string ExeBaseName(const char* path);
