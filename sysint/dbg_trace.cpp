#include <windows.h>

#include <cstdio>

#include "sysint/dbg_trace.h"

namespace {
constexpr size_t kTraceBufferSize = 256;
}

void DbgFormat(char* buf, size_t size, const char* fmt, va_list args) {
    if (size == 0)
        return;
#if defined(_WIN32) && !defined(WINSIM)
    // The system C runtime's formatter (msvcrt.dll), called by its own name: vsnprintf would be MinGW's
    // C99 one, linked into the executable, as soon as any C++ library header has been included. It writes
    // at most size - 1 characters here and answers -1, leaving them unterminated, when the text is cut.
    _vsnprintf(buf, size - 1, fmt, args);
#else
    if (vsnprintf(buf, size, fmt, args) < 0)
        buf[0] = '\0';
#endif
    buf[size - 1] = '\0';
}

void StrFormat(char* buf, size_t size, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    DbgFormat(buf, size, fmt, args);
    va_end(args);
}

void DbgTrace(const char* fmt, ...) {
    char buf[kTraceBufferSize];
    va_list args;
    va_start(args, fmt);
    DbgFormat(buf, sizeof(buf), fmt, args);
    va_end(args);
    OutputDebugStringA(buf);
}
