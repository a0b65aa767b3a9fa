# The setup programs duodesk-setup.exe and duodeskb-setup.exe: installer/duodesk.nsi, compiled once for
# each deliverable by NSIS's makensis (scripts/install-deps.sh installs Debian's nsis). Only the shipped
# 32-bit build makes them: NSIS's setup programs are 32-bit, and so is what they install.
find_program(DUODESK_MAKENSIS makensis REQUIRED)

set(DUODESK_NSI ${PROJECT_SOURCE_DIR}/installer/duodesk.nsi)
# The Task Scheduler task that setup fills in and registers on Vista and 7; it is compiled in beside
# the script.
set(DUODESK_TASK_XML ${PROJECT_SOURCE_DIR}/installer/logon-task.xml)

function(duodesk_installer name)
    # The uninstaller looks for the running program by its instance name, which the deliverable's
    # variant table defines.
    set(variant_source ${PROJECT_SOURCE_DIR}/variants/${name}.cpp)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${variant_source})
    file(READ ${variant_source} variant_text)
    if(NOT variant_text MATCHES "\\.instanceName = \"([^\"]+)\"")
        message(FATAL_ERROR "${variant_source}: no .instanceName = \"...\"")
    endif()
    set(instance ${CMAKE_MATCH_1})

    set(setup ${PROJECT_BINARY_DIR}/${name}-setup.exe)
    add_custom_command(OUTPUT ${setup}
        COMMAND ${DUODESK_MAKENSIS} -V2 -NOCD
            -DNAME=${name} "-DINSTANCE=${instance}" -DEXE=$<TARGET_FILE:${name}>
            -DICON=${PROJECT_SOURCE_DIR}/res/duodesk.ico -DOUTFILE=${setup} ${DUODESK_NSI}
        DEPENDS ${name} ${DUODESK_NSI} ${DUODESK_TASK_XML} ${PROJECT_SOURCE_DIR}/res/duodesk.ico
        COMMENT "Building ${name}-setup.exe"
        VERBATIM)
    add_custom_target(${name}-setup ALL DEPENDS ${setup})
endfunction()

duodesk_installer(duodesk)
duodesk_installer(duodeskb)
