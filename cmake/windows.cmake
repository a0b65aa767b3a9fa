# The real Windows executables, cross-built with MinGW-w64. The i686 build is the one we ship.
enable_language(RC)

add_library(duodesk_core STATIC ${DUODESK_CORE_SOURCES})
target_include_directories(duodesk_core PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/res)
target_compile_definitions(duodesk_core PUBLIC WINVER=0x0601 _WIN32_WINNT=0x0601 _WIN32_IE=0x0600)

set(DUODESK_WIN_LIBS user32 gdi32 advapi32 setupapi shell32 comctl32)

function(duodesk_windows_exe name variant_source)
    add_executable(${name} WIN32 ${variant_source} res/duodesk.rc)
    target_compile_definitions(${name} PRIVATE DUODESK_EXE_NAME="${name}")
    set_source_files_properties(res/duodesk.rc PROPERTIES
        OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/res/texts.h;${PROJECT_SOURCE_DIR}/res/resource.h")
    target_link_libraries(${name} PRIVATE duodesk_core ${DUODESK_WIN_LIBS})
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++ -mwindows)
endfunction()

duodesk_windows_exe(duodesk variants/duodesk.cpp)
duodesk_windows_exe(duodeskb variants/duodeskb.cpp)
