#include <windows.h>

#include <cstdio>

#include "sysint/dbg_trace.h"

namespace {
constexpr size_t kTraceBufferSize = 256;
}

void DbgFormat(char* buf, size_t size, const char* fmt, va_list args) {
    if (size == 0)
        return;
    // Some C runtimes on Windows leave the buffer unterminated or answer -1 when the text is cut.
    if (vsnprintf(buf, size, fmt, args) < 0)
        buf[0] = '\0';
    buf[size - 1] = '\0';
}

void DbgTrace(const char* fmt, ...) {
    char buf[kTraceBufferSize];
    va_list args;
    va_start(args, fmt);
    DbgFormat(buf, sizeof(buf), fmt, args);
    va_end(args);
    OutputDebugStringA(buf);
}
