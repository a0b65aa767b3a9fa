# Cross-build for 64-bit Windows with Debian's MinGW-w64. Not shipped: it keeps the code honest about
# pointer-sized types, and it is the build that runs under the 64-bit-only Wine of our CI machines.
#
# Debian installs each MinGW-w64 compiler twice, with the "win32" and the "posix" thread model. We use
# the win32 flavour: the program runs on one thread and uses neither std::thread nor std::mutex, and the
# posix flavour's runtime would link libwinpthread (some 22 KB) into every executable for nothing.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(DUODESK_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${DUODESK_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${DUODESK_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${DUODESK_MINGW_TRIPLET}-windres)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
