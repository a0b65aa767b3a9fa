// The debug trace: every step of interest is written to the debugger output, nowhere else.
#pragma once
#include <cstdarg>
#include <cstddef>

// Formats like printf into a 256-byte buffer (longer text is cut) and hands it to OutputDebugStringA.
void DbgTrace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The formatting half of DbgTrace: always leaves a terminated text in buf, cut to size - 1 characters.
void DbgFormat(char* buf, size_t size, const char* fmt, va_list args) __attribute__((format(printf, 3, 0)));

// snprintf for the whole program, through DbgFormat: the text is cut to size - 1 characters and always
// terminated.
void StrFormat(char* buf, size_t size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
