# Cross-build for 32-bit Windows with Debian's MinGW-w64 (the shipped duodesk.exe and duodeskb.exe).
#
# Debian installs each MinGW-w64 compiler twice, with the "win32" and the "posix" thread model. We use
# the posix flavour: it is the one whose libstdc++ has std::thread and std::mutex. Its runtime needs
# libwinpthread, which -static links into the executable, so the .exe files need no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DUODESK_MINGW_TRIPLET i686-w64-mingw32)

set(CMAKE_C_COMPILER ${DUODESK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DUODESK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DUODESK_MINGW_TRIPLET}-windres)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
