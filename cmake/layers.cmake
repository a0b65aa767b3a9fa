# The product's layers, each a static library of its own, from the bottom: framework and sysint, then
# adapter, then the tray (icon, menu, countdown dialog), then the application, which sees the tray: the
# main window embeds the countdown dialog and routes the shell's messages to the icon. variants/ and res/
# sit beside them.
#
# A layer sees only its own folders and those of the layers below it. Its include root is a folder of
# links to exactly those folders (build/<preset>/layers/<layer>/), and the project root itself is on no
# include path, so `#include "app/dispo_dlg.h"` in adapter/ finds no such file and the build stops there.
# A header is included as "folder/name.h" and is found through the includer's own root.

# duodesk_layer(NAME SOURCES folder... SEES folder... [LINKS library...])
#   SOURCES  the folders whose .cpp files make the library; they are visible to it too
#   SEES     further folders it may include from (the layers below it, res, variants)
#   LINKS    the libraries of the layers below
function(duodesk_layer name)
    cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "" "SOURCES;SEES;LINKS")
    set(root ${PROJECT_BINARY_DIR}/layers/${name})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    set(sources)
    foreach(folder IN LISTS LAYER_SOURCES LAYER_SEES)
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endforeach()
    foreach(folder IN LISTS LAYER_SOURCES)
        file(GLOB folder_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
        list(APPEND sources ${folder_sources})
    endforeach()
    # WinMain goes into each executable itself (DUODESK_WINMAIN_SOURCE): it calls the application's
    # FwCreateApp, which a library of the framework's layer must not reach up for. The allocation
    # functions go only into the Windows executables (DUODESK_NOTHROW_NEW_SOURCE).
    list(FILTER sources EXCLUDE REGEX "/framework/(winmain|nothrow_new)\\.cpp$")
    add_library(${name} STATIC ${sources})
    # PRIVATE: a layer above gets its own root, never the one of a layer below (which sees less).
    target_include_directories(${name} PRIVATE ${root})
    target_link_libraries(${name} PUBLIC ${LAYER_LINKS} ${DUODESK_PLATFORM_LIBS})
    if(DUODESK_PLATFORM_DEFINITIONS)
        target_compile_definitions(${name} PUBLIC ${DUODESK_PLATFORM_DEFINITIONS})
    endif()

    # Every header of the layer is also compiled on its own, against the layer's root: a header that
    # includes a higher layer (or forgets one of its own includes) fails even when no source of the
    # layer includes it. The fuzz build leaves that to the other builds.
    set(header_checks)
    foreach(folder IN LISTS LAYER_SOURCES)
        file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/${folder}/*.h)
        foreach(header IN LISTS headers)
            string(MAKE_C_IDENTIFIER ${header} stem)
            set(check ${root}-headers/${stem}.cpp)
            file(CONFIGURE OUTPUT ${check} CONTENT "#include \"${header}\"\n")
            list(APPEND header_checks ${check})
        endforeach()
    endforeach()
    if(header_checks AND NOT DUODESK_FUZZ)
        add_library(${name}_headers OBJECT ${header_checks})
        target_include_directories(${name}_headers PRIVATE ${root})
        target_link_libraries(${name}_headers PRIVATE ${LAYER_LINKS} ${DUODESK_PLATFORM_LIBS})
        if(DUODESK_PLATFORM_DEFINITIONS)
            target_compile_definitions(${name}_headers PRIVATE ${DUODESK_PLATFORM_DEFINITIONS})
        endif()
        add_dependencies(${name} ${name}_headers)
    endif()
endfunction()

set(DUODESK_WINMAIN_SOURCE ${PROJECT_SOURCE_DIR}/framework/winmain.cpp)
set(DUODESK_NOTHROW_NEW_SOURCE ${PROJECT_SOURCE_DIR}/framework/nothrow_new.cpp)

# The whole product, for the executables: the application layer pulls in everything below it.
# `duodesk_product_root` is the include root of code that sits on top of every layer (the executables'
# variant files, the simulator's main, the tests).
function(duodesk_product)
    duodesk_layer(duodesk_framework SOURCES framework)
    duodesk_layer(duodesk_sysint SOURCES sysint)
    duodesk_layer(duodesk_adapter SOURCES adapter SEES framework sysint
                  LINKS duodesk_framework duodesk_sysint)
    duodesk_layer(duodesk_tray SOURCES tray SEES adapter framework sysint res
                  LINKS duodesk_adapter duodesk_framework duodesk_sysint)
    duodesk_layer(duodesk_app SOURCES app SEES tray adapter framework sysint res variants
                  LINKS duodesk_tray duodesk_adapter duodesk_framework duodesk_sysint)
    # The application's root: every folder of the product.
    add_library(duodesk_core INTERFACE)
    target_include_directories(duodesk_core INTERFACE ${PROJECT_BINARY_DIR}/layers/duodesk_app
                                                      ${PROJECT_SOURCE_DIR}/res)
    target_link_libraries(duodesk_core INTERFACE duodesk_app)
endfunction()
