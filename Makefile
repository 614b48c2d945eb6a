# Thin wrapper: every target installs what is missing, configures, builds and runs.
#   make demo   the program against the simulated transmitter
#   make test   every test: unit, windows (offscreen), pseudo-terminal integration,
#               sanitized run, fuzz regression, the Windows build under Wine, and the
#               Debian package
#   make package  the Debian package, in $(BUILD)/package
BUILD      ?= build
JOBS       ?= $(shell nproc)
SUDO       := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

# Debian packages the build and its tests need.
PACKAGES := cmake make g++ libgtest-dev libgmock-dev qt6-base-dev xvfb xauth \
            fonts-dejavu-core util-linux python3 locales

.PHONY: deps build check test demo test-windows package-windows test-sanitize test-fuzz \
        format-check package test-package deps-all qt-windows

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

check: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test: format-check check test-package test-sanitize test-fuzz test-windows

# Every C++ source as .clang-format lays it out.
format-check:
	$(MAKE) deps EXTRA_PACKAGES=clang-format
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror

demo: build
	scripts/demo.sh $(BUILD)

# The Debian package (CPack, cmake/DebianPackage.cmake): the programs and packaging/'s
# generated files are built, not the tests. dpkg-dev computes the dependencies; help2man
# and rsvg-convert make the manual pages and the icon's sizes.
PACKAGE_PACKAGES      := dpkg-dev help2man librsvg2-bin
PACKAGE_TEST_PACKAGES := lintian desktop-file-utils appstream xdotool

package:
	$(MAKE) deps EXTRA_PACKAGES="$(PACKAGE_PACKAGES)"
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target quenlor p06-read p06-sim quenlor_install_data
	rm -f $(BUILD)/package/*.deb
	cd $(BUILD) && cpack --config CPackConfig.cmake -B package

# The package checked as a bench PC takes it, unpacked in a scratch folder:
# scripts/test-package.sh.
test-package: package
	$(MAKE) deps EXTRA_PACKAGES="$(PACKAGE_TEST_PACKAGES)"
	scripts/test-package.sh $(BUILD)

# The Windows program (mingw-w64, against Qt for Windows built once from Debian's qt6-base
# source package into ~/.cache/quenlor), its zip and installer, and its tests under Wine in a
# throw-away prefix on an Xvfb display. librsvg2-bin and icoutils draw the programs' icon, and
# icoutils' wrestool reads the resources back.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64 wine wine64 ninja-build xz-utils nsis zip \
                    xvfb xauth xdotool xclip x11-apps librsvg2-bin icoutils

WINDOWS_BUILD ?= build-win

test-windows:
	$(MAKE) deps EXTRA_PACKAGES="$(WINDOWS_PACKAGES)"
	JOBS=$(JOBS) scripts/test-windows.sh $(WINDOWS_BUILD)

# Leaves $(WINDOWS_BUILD)/Quenlor-<version>-win64.zip and .exe (the installer).
package-windows:
	$(MAKE) deps EXTRA_PACKAGES="$(WINDOWS_PACKAGES)"
	JOBS=$(JOBS) scripts/build-windows.sh $(WINDOWS_BUILD) package

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
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
FUZZ_TARGETS  := settings_fuzz ports_fuzz link_fuzz sim_fuzz
FUZZ_RUNS     ?= 20000

test-fuzz:
	$(MAKE) deps EXTRA_PACKAGES="$(FUZZ_PACKAGES)"
	CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DQUENLOR_FUZZ=ON -DQUENLOR_UI=OFF
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	for t in $(FUZZ_TARGETS); do \
	    echo "== $$t"; mkdir -p build-fuzz/corpus/$$t; \
	    build-fuzz/tests/fuzz/$$t -runs=$(FUZZ_RUNS) -seed=1 -timeout=20 \
	        build-fuzz/corpus/$$t tests/fuzz/corpus/$$t || exit 1; \
	done

# Everything any target needs, in one apt run; then Qt for Windows alone (CI starts that
# early, in the background).
deps-all:
	$(MAKE) deps EXTRA_PACKAGES="clang-format $(PACKAGE_PACKAGES) $(PACKAGE_TEST_PACKAGES) \
	    $(WINDOWS_PACKAGES) $(FUZZ_PACKAGES)"

qt-windows: deps-all
	scripts/qt-for-windows.sh
