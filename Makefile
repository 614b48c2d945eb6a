# Thin wrapper: every target installs what is missing, configures, builds and runs.
#   make demo   the program against the simulated transmitter
#   make test   every test: unit, windows (offscreen), pseudo-terminal integration,
#               sanitized run, fuzz regression, the Windows build under Wine, and the
#               Debian package
#   make test-debian13  the suite and package checks again on Debian 13, in a chroot
#               (scripts/debian13-stage.sh; root or sudo; a stage of make test)
#   make test-fast  the unit and window tests only, for the edit-compile-test loop
#   make test-mutants  whether the tests catch a list of planted faults (not in make test)
#   make package  the Debian packages, in $(PACKAGE_BUILD)/package
#   make test-piuparts  the packages installed and purged in a clean chroot (not in make test)
BUILD      ?= build
JOBS       ?= $(shell nproc)
SUDO       := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

# One clang for the format check and the fuzz targets, the same on Debian 12 (bookworm's
# archive carries 19.1.7) and Debian 13, so both releases lay the code out alike.
CLANG_VERSION := 19

# Debian packages the build and its tests need.
PACKAGES := cmake make g++ libgtest-dev libgmock-dev qt6-base-dev xvfb xauth \
            fonts-dejavu-core util-linux python3 locales

.PHONY: deps build check test-fast test-mutants mutants-apply test demo test-windows package-windows \
        test-sanitize test-fuzz format-check package test-package test-piuparts deps-all \
        qt-windows test-debian13 deps-package-checks

deps:
	@missing=$$(for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# CTEST_ARGS adds to ctest's options (the Debian 13 stage leaves out the slow tests).
check: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# Every test but those labelled integration (pseudo-terminals, p06-sim, real-time waits) or
# slow (more than about 10 s): the unit tests and the windows offscreen.
test-fast: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) \
	    --label-exclude 'integration|slow'

# Each planted fault of scripts/mutants.sh must make its test fail; built in build-mutants.
test-mutants: deps
	JOBS=$(JOBS) scripts/mutants.sh

# Each mutant's sed still changes its file (no build): a stage of make test.
mutants-apply:
	scripts/mutants.sh --applies

# The stages in order, with Qt for Windows built beside them (scripts/test-all.sh): each stage
# says when it starts and ends, and a table of their times closes the run.
test:
	MAKE="$(MAKE)" JOBS=$(JOBS) scripts/test-all.sh

# Every C++ source as .clang-format lays it out.
format-check:
	$(MAKE) deps EXTRA_PACKAGES=clang-format-$(CLANG_VERSION)
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format-$(CLANG_VERSION) --dry-run --Werror

# Only what the demo runs: the program, the simulator and the driver of the headless demo.
demo: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target quenlor p06-sim demo_driver
	scripts/demo.sh $(BUILD)

# The Debian packages, quenlor-reader (p06-read, p06-sim, the udev rule) and quenlor (the
# window), from one CPack build (cmake/DebianPackage.cmake) in a folder of its own:
# scripts/build-package.sh builds only the packaged targets, with dpkg-buildflags' hardening
# flags, reproducibly (SOURCE_DATE_EPOCH from the last commit unless set). dpkg-dev computes
# the dependencies; help2man and rsvg-convert make the manual pages and the icon's sizes.
PACKAGE_BUILD         ?= build-deb
PACKAGE_PACKAGES      := dpkg-dev help2man librsvg2-bin git
# Qt's SVG icon plugin: in libqt6svg6 on Debian 12, in qt6-svg-plugins from Debian 13 on.
QT_SVG_PLUGINS        := $(shell apt-cache show qt6-svg-plugins >/dev/null 2>&1 && \
                           echo qt6-svg-plugins || echo libqt6svg6)
PACKAGE_TEST_PACKAGES := lintian desktop-file-utils appstream xdotool x11-utils devscripts \
                         diffoscope-minimal bash-completion tmux binutils hicolor-icon-theme \
                         $(QT_SVG_PLUGINS)
PIUPARTS_PACKAGES     := piuparts debootstrap

package:
	$(MAKE) deps EXTRA_PACKAGES="$(PACKAGE_PACKAGES)"
	JOBS=$(JOBS) scripts/build-package.sh $(PACKAGE_BUILD)

# The packages checked as a Debian developer and a bench PC take them, unpacked in a scratch
# folder, then built a second time in another folder and compared: scripts/test-package.sh.
test-package: package
	$(MAKE) deps EXTRA_PACKAGES="$(PACKAGE_TEST_PACKAGES)"
	JOBS=$(JOBS) scripts/test-package.sh $(PACKAGE_BUILD)

# Both packages installed and purged by piuparts in a clean Debian chroot of this machine's
# release (debootstrap from its own apt source): scripts/piuparts.sh.
test-piuparts: package
	$(MAKE) deps EXTRA_PACKAGES="$(PIUPARTS_PACKAGES)"
	scripts/piuparts.sh $(PACKAGE_BUILD)

# The Windows program (mingw-w64, against Qt for Windows built once from Debian's qt6-base
# source package into ~/.cache/quenlor), its zip and installer, and its tests under Wine in a
# throw-away prefix on an Xvfb display. librsvg2-bin and icoutils draw the programs' icon, and
# icoutils' wrestool reads the resources back; osslsigncode signs, openssl makes the test
# certificate.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64 wine wine64 ninja-build xz-utils nsis zip \
                    xvfb xauth xdotool xclip x11-apps librsvg2-bin icoutils osslsigncode openssl

WINDOWS_BUILD ?= build-win

test-windows:
	$(MAKE) deps EXTRA_PACKAGES="$(WINDOWS_PACKAGES)"
	JOBS=$(JOBS) scripts/test-windows.sh $(WINDOWS_BUILD)

# Leaves $(WINDOWS_BUILD)/Quenlor-<version>-win64.zip and .exe (the installer), and SHA256SUMS
# (their sums); signed with SIGN_PKCS12=<file> [SIGN_PASSWORD_FILE=<file>]
# [SIGN_TIMESTAMP_URL=<url>].
package-windows:
	$(MAKE) deps EXTRA_PACKAGES="$(WINDOWS_PACKAGES)"
	JOBS=$(JOBS) SIGN_PKCS12="$(SIGN_PKCS12)" SIGN_PASSWORD_FILE="$(SIGN_PASSWORD_FILE)" \
	    SIGN_TIMESTAMP_URL="$(SIGN_TIMESTAMP_URL)" scripts/build-windows.sh $(WINDOWS_BUILD) package

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer: any report
# fails the run. Leaks inside the system's own libraries are listed in tests/sanitizer/lsan.supp.
SANITIZER_ENV := ASAN_OPTIONS=halt_on_error=1:print_stacktrace=1:fast_unwind_on_malloc=0 \
                 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
                 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0

test-sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLOR_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && $(SANITIZER_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The libFuzzer targets (clang), each run a fixed number of times over its seed corpus; what
# a run finds goes to build-fuzz/corpus, never into the committed seeds.
FUZZ_PACKAGES := clang-$(CLANG_VERSION) libclang-rt-$(CLANG_VERSION)-dev
FUZZ_TARGETS  := settings_fuzz ports_fuzz link_fuzz sim_fuzz
FUZZ_RUNS     ?= 20000

test-fuzz:
	$(MAKE) deps EXTRA_PACKAGES="$(FUZZ_PACKAGES)"
	CC=clang-$(CLANG_VERSION) CXX=clang++-$(CLANG_VERSION) cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DQUENLOR_FUZZ=ON -DQUENLOR_UI=OFF
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	for t in $(FUZZ_TARGETS); do \
	    echo "== $$t"; mkdir -p build-fuzz/corpus/$$t; \
	    build-fuzz/tests/fuzz/$$t -runs=$(FUZZ_RUNS) -seed=1 -timeout=20 \
	        build-fuzz/corpus/$$t tests/fuzz/corpus/$$t || exit 1; \
	done

# What `make check` and `make test-package` need, in one apt run (the Debian 13 stage's chroot).
deps-package-checks:
	$(MAKE) deps EXTRA_PACKAGES="$(PACKAGE_PACKAGES) $(PACKAGE_TEST_PACKAGES)"

# The native suite (without the slow tests) and the package checks again, in a Debian 13 chroot
# made by debootstrap and kept in ~/.cache/quenlor: scripts/debian13-stage.sh.
DEBIAN13_PACKAGES := debootstrap util-linux iproute2 git zstd

test-debian13:
	$(MAKE) deps EXTRA_PACKAGES="$(DEBIAN13_PACKAGES)"
	JOBS=$(JOBS) scripts/debian13-stage.sh

# Everything any target needs, in one apt run; then Qt for Windows alone (`make test` starts
# that early, in the background).
deps-all:
	$(MAKE) deps EXTRA_PACKAGES="clang-format-$(CLANG_VERSION) $(PACKAGE_PACKAGES) $(PACKAGE_TEST_PACKAGES) \
	    $(WINDOWS_PACKAGES) $(FUZZ_PACKAGES) $(DEBIAN13_PACKAGES)"

qt-windows: deps-all
	scripts/qt-for-windows.sh
