# Thin wrapper: every target installs what is missing, configures, builds and runs.
#   make demo   the program against the simulated transmitter
#   make test   every test: unit, windows (offscreen), pseudo-terminal integration,
#               sanitized run, fuzz regression, and the Windows build under Wine
BUILD      ?= build
JOBS       ?= $(shell nproc)
SUDO       := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

# Debian packages the build and its tests need.
PACKAGES := cmake make g++ libgtest-dev libgmock-dev qt6-base-dev xvfb xauth \
            fonts-dejavu-core util-linux python3 locales

.PHONY: deps build check test demo test-windows

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

test: check

demo: build
	scripts/demo.sh $(BUILD)

# The Windows build (mingw-w64) and its tests under Wine, in a throw-away prefix.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64 wine wine64

WINDOWS_BUILD ?= build-win

test-windows:
	$(MAKE) deps EXTRA_PACKAGES="$(WINDOWS_PACKAGES)"
	JOBS=$(JOBS) scripts/test-windows.sh $(WINDOWS_BUILD)
