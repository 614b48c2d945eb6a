# The Debian packages, built by CPack (`make package`) from packaging/'s two install
# components:
#   quenlor-reader  p06-read and p06-sim with their manual pages and completions, and the
#                   adapter's udev rule; it needs no Qt and no X, so a production-line PC
#                   takes it alone;
#   quenlor         the window, its desktop entry, icon, metainfo and manual pages; it
#                   depends on quenlor-reader of the same version (the udev rule, p06-sim).
# The version is the project's, the one --version prints; dpkg-shlibdeps computes the
# library dependencies from the programs themselves. CPack writes the archives' times from
# SOURCE_DATE_EPOCH (scripts/build-package.sh sets it), so two builds of one commit are
# identical.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenlor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL reader)
if(TARGET quenlor)
    list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUENLOR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# Each description's first line is its synopsis; CPack indents the long description's lines.
set(CPACK_DEBIAN_READER_PACKAGE_NAME ${QUENLOR_READER_PACKAGE})
set(CPACK_DEBIAN_READER_DESCRIPTION
    "service-bench reader of an HF transmitter's identity (command line)
p06-read reads an Emetteur Radio TALVERN8 transmitter through its Silicon Labs
CP210x USB-serial adapter: it polls the controller, checks that its type is
P06 and reads its serial number, circuit version and software version, as
text, JSON or CSV, with a wire trace on request. p06-sim serves a simulated
transmitter on a pseudo-terminal. A udev rule lets the user at the bench open
any adapter with the CP210x's default USB ID 10c4:ea60 without joining the
dialout group, and names it under /dev/quenlor. Neither program needs Qt or a
display.")

# p06-read, p06-sim and the udev rule were in the quenlor package up to 1.0.0: an upgrade
# moves them here rather than stopping on files that two packages claim.
set(CPACK_DEBIAN_READER_PACKAGE_BREAKS "${QUENLOR_WINDOW_PACKAGE} (<< 1.1.0)")
set(CPACK_DEBIAN_READER_PACKAGE_REPLACES "${QUENLOR_WINDOW_PACKAGE} (<< 1.1.0)")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME ${QUENLOR_WINDOW_PACKAGE})
# The window takes its icon from the hicolor theme, which hicolor-icon-theme's index defines.
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS
    "${QUENLOR_READER_PACKAGE} (= ${PROJECT_VERSION}), hicolor-icon-theme")
# Qt's SVG image plugin draws the icon from its SVG: in libqt6svg6 on Debian 12, in
# qt6-svg-plugins from Debian 13 on (the package the build's release has).
execute_process(COMMAND apt-cache show qt6-svg-plugins RESULT_VARIABLE no_svg_plugins_package
                OUTPUT_QUIET ERROR_QUIET)
if(no_svg_plugins_package EQUAL 0)
    set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS qt6-svg-plugins)
else()
    set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS libqt6svg6)
endif()
set(CPACK_DEBIAN_WINDOW_DESCRIPTION
    "service-bench reader of an HF transmitter's identity (window)
Quenlor reads an Emetteur Radio TALVERN8 transmitter through its Silicon Labs
CP210x USB-serial adapter: one button polls the controller, checks that its
type is P06 and reads its serial number, circuit version and software
version, writing each step in French or English. The command-line reader,
the simulator and the udev rule come with quenlor-reader.")

# `make package` builds the programs and packaging/'s generated files, not the tests: the
# package's install step does not build everything first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
