# What both MinGW-w64 toolchain files share; DUODESK_MINGW_TRIPLET names the target.

# Look for headers and libraries only in the cross sysroot, programs only on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${DUODESK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static executables: libgcc and libstdc++ are linked in, so a plain copy of the .exe runs on its
# own, with no MinGW runtime DLLs shipped beside it or looked up on the path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# windres finds its preprocessor by its own name (i686-w64-mingw32-windres runs i686-w64-mingw32-gcc -E),
# so the .rc file sees the MinGW <windows.h> with RC_INVOKED defined, whichever thread flavour the
# unsuffixed gcc points at: the headers are the same for both.
