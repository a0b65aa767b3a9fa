# The Linux build: the same product sources linked against winsim, our simulated Windows.
option(DUODESK_SANITIZE "Build the simulator with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
# The fuzz build (preset fuzz, clang only): the same libraries instrumented for libFuzzer, and the fuzz
# targets in place of the simulator's executables and tests.
option(DUODESK_FUZZ "Build the libFuzzer targets of fuzz/ instead of the simulator and its tests" OFF)
if(DUODESK_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(DUODESK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

file(GLOB WINSIM_SOURCES CONFIGURE_DEPENDS winsim/src/*.cpp)
add_library(winsim STATIC ${WINSIM_SOURCES})
target_include_directories(winsim PUBLIC ${PROJECT_SOURCE_DIR}/winsim/include
                                  PRIVATE ${PROJECT_SOURCE_DIR}/winsim/src)

set(DUODESK_PLATFORM_LIBS winsim)
duodesk_product()

# The scenario runner: parses a scenario, drives the machine, prints traces and state.
file(GLOB WINSIM_SIM_SOURCES CONFIGURE_DEPENDS winsim/sim/*.cpp)
list(FILTER WINSIM_SIM_SOURCES EXCLUDE REGEX "sim_main\\.cpp$")
add_library(winsim_sim STATIC ${WINSIM_SIM_SOURCES})
target_include_directories(winsim_sim PUBLIC ${PROJECT_SOURCE_DIR}/winsim/sim
                                      PRIVATE ${PROJECT_SOURCE_DIR}/winsim/src)
target_link_libraries(winsim_sim PUBLIC winsim)

if(DUODESK_FUZZ)
    add_subdirectory(fuzz)
    return()
endif()

function(duodesk_sim_exe name variant_source)
    add_executable(${name} winsim/sim/sim_main.cpp ${DUODESK_WINMAIN_SOURCE} ${variant_source}
                           res/resources_sim.cpp)
    target_link_libraries(${name} PRIVATE duodesk_core winsim_sim winsim)
endfunction()

duodesk_sim_exe(duodesk-sim variants/duodesk.cpp)
duodesk_sim_exe(duodeskb-sim variants/duodeskb.cpp)

# The benchmark's baseline (scripts/bench.sh): the minimal tray program on the same simulated Windows.
add_executable(mini-tray-sim bench/mini_tray_sim.cpp bench/mini_tray.cpp)
target_link_libraries(mini-tray-sim PRIVATE winsim_sim winsim)

include(CTest)
if(BUILD_TESTING)
    add_subdirectory(tests)
endif()
