# The real Windows executables, cross-built with MinGW-w64. The i686 build is the one we ship.
enable_language(RC)

set(DUODESK_PLATFORM_LIBS user32 gdi32 advapi32 setupapi shell32 comctl32)
# __USE_MINGW_ANSI_STDIO=0: snprintf and vsnprintf are the system C runtime's (msvcrt.dll), not MinGW's
# own C99 printf that would be linked into the executable; every format the program uses is one msvcrt
# knows, and -Wformat checks them against msvcrt's rules.
set(DUODESK_PLATFORM_DEFINITIONS WINVER=0x0601 _WIN32_WINNT=0x0601 _WIN32_IE=0x0600 __USE_MINGW_ANSI_STDIO=0)

# The program throws nothing (it allocates with new (std::nothrow), framework/nothrow_new.cpp) and asks no
# object for its type, so neither the unwinder with its tables nor the type records are built in; every
# function gets a section of its own, so that the linker can leave out what nothing calls. Not every
# variable: MinGW's compiler puts a zero-initialised variable of its own section into .data, where it
# takes room in the file, instead of into .bss.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>
                    $<$<COMPILE_LANGUAGE:C,CXX>:-fno-asynchronous-unwind-tables>
                    $<$<COMPILE_LANGUAGE:C,CXX>:-ffunction-sections>)
# The smallest code the compiler makes (-Oz, after the build type's -Os), across the whole program at
# link time (the layers' archives hold its intermediate code), and without the compiler's name and
# version in every object.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-Oz> $<$<COMPILE_LANGUAGE:C,CXX>:-fno-ident>)
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
duodesk_product()

# The manifest carries the version number, so it is generated next to the build; windres finds it
# (and the icon in res/) on its include path.
set(DUODESK_RC_GENERATED_DIR ${PROJECT_BINARY_DIR}/res)
# Its comments explain it to us, not to Windows: they stay out of the executable.
set(DUODESK_MANIFEST_SOURCE ${PROJECT_SOURCE_DIR}/res/duodesk.manifest.in)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${DUODESK_MANIFEST_SOURCE})
file(READ ${DUODESK_MANIFEST_SOURCE} DUODESK_MANIFEST)
string(REGEX REPLACE "[ ]*<!--([^-]|-[^-])*-->\n" "" DUODESK_MANIFEST "${DUODESK_MANIFEST}")
file(CONFIGURE OUTPUT ${DUODESK_RC_GENERATED_DIR}/duodesk.manifest CONTENT "${DUODESK_MANIFEST}" @ONLY)

# windres has no dependency scanner that CMake uses, so every file the .rc pulls in is listed here.
# A GUI-subsystem program (no console window), fully static (see the toolchain files), without the
# sections nothing refers to, and stripped: the symbols and the debug sections of the static runtime
# libraries would otherwise triple the file's size. The benchmark's minimal tray program gets the same.
set(DUODESK_EXE_LINK_OPTIONS -static -static-libgcc -static-libstdc++ -mwindows -Oz -Wl,--gc-sections -s)

set_source_files_properties(res/duodesk.rc PROPERTIES OBJECT_DEPENDS
    "${PROJECT_SOURCE_DIR}/res/texts.h;${PROJECT_SOURCE_DIR}/res/resource.h;${PROJECT_SOURCE_DIR}/res/templates.h;${PROJECT_SOURCE_DIR}/res/duodesk.ico;${DUODESK_RC_GENERATED_DIR}/duodesk.manifest")

# duodesk_windows_exe(NAME VARIANT_SOURCE [MAIN_SOURCE]): MAIN_SOURCE, when given, replaces the program's
# WinMain (a test program built on the product's code and resources).
function(duodesk_windows_exe name variant_source)
    set(main_source ${DUODESK_WINMAIN_SOURCE})
    if(ARGC GREATER 2)
        set(main_source ${ARGV2})
    endif()
    # WinMain is compiled into the executable itself, so the MinGW start-up code finds it without the
    # linker having to go back into the product's archives.
    add_executable(${name} WIN32 ${main_source} ${DUODESK_NOTHROW_NEW_SOURCE} ${variant_source}
                               res/duodesk.rc)
    # The C++ code gets the name as a string. windres passes -D options to its preprocessor through a
    # shell command line that does not keep quotes intact, so the .rc gets bare tokens instead and
    # stringifies them itself.
    target_compile_definitions(${name} PRIVATE
        $<$<COMPILE_LANGUAGE:CXX>:DUODESK_EXE_NAME="${name}">
        $<$<COMPILE_LANGUAGE:RC>:DUODESK_RC_BASENAME=${name}>
        $<$<COMPILE_LANGUAGE:RC>:DUODESK_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}>
        $<$<COMPILE_LANGUAGE:RC>:DUODESK_VERSION_MINOR=${PROJECT_VERSION_MINOR}>
        $<$<COMPILE_LANGUAGE:RC>:DUODESK_VERSION_PATCH=${PROJECT_VERSION_PATCH}>)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/res ${DUODESK_RC_GENERATED_DIR})
    target_link_libraries(${name} PRIVATE duodesk_core)
    target_link_options(${name} PRIVATE ${DUODESK_EXE_LINK_OPTIONS})
endfunction()

duodesk_windows_exe(duodesk variants/duodesk.cpp)
duodesk_windows_exe(duodeskb variants/duodeskb.cpp)

# The benchmark's baseline (scripts/bench.sh): the minimal tray program, built with the product's
# compiler, flags and link options. Not part of the product and never shipped.
add_executable(mini-tray WIN32 bench/mini_tray.cpp)
target_compile_definitions(mini-tray PRIVATE ${DUODESK_PLATFORM_DEFINITIONS})
target_link_libraries(mini-tray PRIVATE user32 shell32 advapi32)
target_link_options(mini-tray PRIVATE ${DUODESK_EXE_LINK_OPTIONS})

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    include(cmake/installer.cmake)
endif()

# The Wine checks' helper (tests/wine/run-wine-tests.sh): a console program of the test suite, not part
# of the product and never shipped.
add_executable(tray-probe tests/wine/tray_probe.cpp)
target_compile_definitions(tray-probe PRIVATE ${DUODESK_PLATFORM_DEFINITIONS})
target_link_libraries(tray-probe PRIVATE user32 shell32 psapi)
# The second helper: the countdown confirmation alone (tests/wine/dialog_probe.cpp), from the product's code
# and resources. Not part of the product and never shipped.
duodesk_windows_exe(dialog-probe variants/duodesk.cpp tests/wine/dialog_probe.cpp)

# The device-channel checks' test driver and its controller (tests/wine/testdrv), for 64-bit Wine.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_subdirectory(tests/wine/testdrv)
endif()
