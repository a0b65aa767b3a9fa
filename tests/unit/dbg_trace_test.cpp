// The trace buffer: a trace is never longer than 255 characters and always terminated.
#include <gtest/gtest.h>

#include <string>

#include "sysint/dbg_trace.h"

namespace {
std::string Format(size_t size, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
std::string Format(size_t size, const char* fmt, ...) {
    std::string buf(size + 8, '#'); // the guard bytes beyond size must stay untouched
    va_list args;
    va_start(args, fmt);
    DbgFormat(buf.data(), size, fmt, args);
    va_end(args);
    EXPECT_EQ(buf.substr(size), std::string(8, '#'));
    return std::string(buf.c_str());
}
} // namespace

TEST(DbgFormat, FormatsLikePrintf) {
    EXPECT_EQ(Format(256, "Init %d %d %d\n", 1024, 768, 32), "Init 1024 768 32\n");
    EXPECT_EQ(Format(256, "Enum USB device %s\n", "\\\\?\\usb#vid_1234"),
              "Enum USB device \\\\?\\usb#vid_1234\n");
    EXPECT_EQ(Format(256, "Handle of device notification %x", 0x7a0010u),
              "Handle of device notification 7a0010");
}

TEST(DbgFormat, LongerTextIsCutTo255Characters) {
    const std::string path(400, 'p');
    const std::string out = Format(256, "Enum USB device %s\n", path.c_str());
    ASSERT_EQ(out.size(), 255u);
    EXPECT_EQ(out.substr(0, 16), "Enum USB device ");
    EXPECT_EQ(out.back(), 'p');
}

TEST(DbgFormat, TextOfExactly255CharactersIsKeptWhole) {
    const std::string text(255, 't');
    EXPECT_EQ(Format(256, "%s", text.c_str()), text);
    EXPECT_EQ(Format(256, "%s!", text.c_str()), text);
}
