# The Debian package, built by CPack (`make package`): quenlor, p06-read and p06-sim with
# their desktop entry, icon, manual pages, completions and udev rule (packaging/). The
# version is the project's, the one --version prints; dpkg-shlibdeps computes the
# dependencies from the programs themselves.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenlor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUENLOR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service-bench reader of an HF transmitter's identity")
# The summary above is the synopsis; CPack indents the long description's lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quenlor reads an Emetteur Radio TALVERN8 transmitter through its Silicon Labs
CP210x USB-serial adapter: it polls the controller, checks that its type is
P06 and reads its serial number, circuit version and software version, in
French or English. The package holds the window (quenlor), the same reading
on the command line with JSON output and a wire trace (p06-read), and a
simulated transmitter on a pseudo-terminal (p06-sim). A udev rule lets the
user at the bench open the adapter without joining the dialout group.")
# `make package` builds the programs and packaging/'s generated files, not the tests: the
# package's install step does not build everything first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
