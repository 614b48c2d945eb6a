# The resources the Windows programs carry (packaging/windows/program.rc.in): the icon, drawn
# from packaging/quenlor.svg at build time; version information with the project's version;
# and the manifest (packaging/windows/program.manifest). rsvg-convert (librsvg2-bin) draws the
# sizes and icotool (icoutils) puts them in one .ico; mingw-w64's windres compiles the script.
find_program(RSVG_CONVERT rsvg-convert)
find_program(ICOTOOL icotool)
if(NOT RSVG_CONVERT OR NOT ICOTOOL)
    message(FATAL_ERROR "The Windows programs' icon needs rsvg-convert (librsvg2-bin) and "
        "icotool (icoutils): make package-windows installs them.")
endif()

set(QUENLOR_WINDOWS_DIR ${PROJECT_BINARY_DIR}/windows)
set(QUENLOR_ICON ${QUENLOR_WINDOWS_DIR}/quenlor.ico)
set(svg ${PROJECT_SOURCE_DIR}/packaging/quenlor.svg)
# The publisher, one name in the version information and in the installer's "Apps" entry.
set(QUENLOR_PUBLISHER Quenlor)

# The sizes Explorer, the taskbar and "Apps" ask for, at 100, 125, 150 and 200 % (20, 40 and 64
# are 16 and 32 scaled); the largest is kept as PNG in the file.
set(icon_commands)
set(small_pngs)
foreach(size 16 20 24 32 40 48 64 256)
    set(png ${QUENLOR_WINDOWS_DIR}/icon-${size}.png)
    list(APPEND icon_commands COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg})
    if(size EQUAL 256)
        set(large_png ${png})
    else()
        list(APPEND small_pngs ${png})
    endif()
endforeach()
add_custom_command(
    OUTPUT ${QUENLOR_ICON}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUENLOR_WINDOWS_DIR}
    ${icon_commands}
    COMMAND ${ICOTOOL} -c -o ${QUENLOR_ICON} ${small_pngs} --raw=${large_png}
    DEPENDS ${svg}
    VERBATIM)
add_custom_target(quenlor_windows_icon DEPENDS ${QUENLOR_ICON})

# quenlor_windows_resources(<program> <description>): the description is the name Task Manager
# and the file's properties show. The program is also linked Terminal Server aware.
function(quenlor_windows_resources program description)
    set(QUENLOR_RC_PROGRAM ${program})
    set(QUENLOR_RC_DESCRIPTION ${description})
    set(QUENLOR_RC_ICON ${QUENLOR_ICON})
    set(QUENLOR_RC_MANIFEST ${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest)
    set(rc ${QUENLOR_WINDOWS_DIR}/${program}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
    target_sources(${program} PRIVATE ${rc})
    set_source_files_properties(${rc} TARGET_DIRECTORY ${program}
        PROPERTIES OBJECT_DEPENDS "${QUENLOR_ICON};${QUENLOR_RC_MANIFEST}")
    add_dependencies(${program} quenlor_windows_icon)
    # Terminal Server aware: on a Remote Desktop host GetWindowsDirectoryA gives the real
    # Windows directory, not a folder of the user's own.
    target_link_options(${program} PRIVATE -Wl,--tsaware)
endfunction()

quenlor_windows_resources(p06-read "Quenlor command-line reader")
if(TARGET quenlor)
    quenlor_windows_resources(quenlor Quenlor)
endif()
