// Splitting a Windows command line the way the C runtime does for argv.
#pragma once
#include <cstddef>

// The text after the program name, with the blanks that separate it from the name skipped; what Windows
// hands to WinMain as lpCmdLine. Trailing blanks are kept.
const char* SkipProgramName(const char* cmdLine);

// The argument vector of a command line. The program name is taken up to the first blank, or between
// quotes when it starts with one, without any escape processing; the arguments after it follow the usual
// rules: blanks separate, quotes group, 2n backslashes before a quote give n backslashes and a grouping
// quote, 2n+1 give n backslashes and a literal quote, a doubled quote inside quotes is a literal quote.
//
// The vector is one block from malloc, to be given back with free: the pointers, a null after the last
// one, then the texts they point to. *pArgc gets the number of arguments. A null or blank line has none:
// then, and when the block cannot be had, the result is null and *pArgc is 0.
char** SplitCommandLine(const char* cmdLine, int* pArgc);

// The file name of a module path without its folder and without its extension, into name (cut to
// size - 1 characters, always terminated; size is at least 1).
void ExeBaseName(const char* path, char* name, size_t size);
