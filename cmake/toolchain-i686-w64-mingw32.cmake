# Cross-build for 32-bit Windows with Debian's MinGW-w64 (the shipped duodesk.exe and duodeskb.exe).
#
# Debian installs each MinGW-w64 compiler twice, with the "win32" and the "posix" thread model. We use
# the win32 flavour: the program runs on one thread and uses neither std::thread nor std::mutex, and the
# posix flavour's runtime would link libwinpthread (some 22 KB) into every executable for nothing.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DUODESK_MINGW_TRIPLET i686-w64-mingw32)

set(CMAKE_C_COMPILER ${DUODESK_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${DUODESK_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${DUODESK_MINGW_TRIPLET}-windres)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
