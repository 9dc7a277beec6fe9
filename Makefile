# Front door: `make test` builds and runs every test, `make run` the demonstration.

JOBS ?= $(shell nproc)
# Debian packages the build and the tests need.
PACKAGES := cmake g++ make libgtest-dev libbenchmark-dev clang-format libstb-dev libsdl2-dev
# The Windows cross build.
WINDOWS_PACKAGES := cmake make g++-mingw-w64-x86-64
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: all deps build test test-sanitize run windows test-windows test-sdl format format-check clean

all: build

deps:
	@PACKAGES="$(PACKAGES)" sh tools/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

test: build
	ctest --preset default -j $(JOBS)

test-sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS)

# The SDL window when a display is present; otherwise the example scripts replayed headless.
run: build
	@sh tools/run.sh

# build/windows/sketch3d.exe, cross-compiled with mingw-w64.
windows:
	@PACKAGES="$(WINDOWS_PACKAGES)" sh tools/install-deps.sh
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)

# The Windows program under Wine on a virtual display, driven by mouse and keys.
test-windows:
	bash tools/test-windows.sh

# The SDL program on a virtual display, driven the same way.
test-sdl: build
	bash tools/test-sdl.sh

format:
	clang-format -i $(SOURCES)

format-check: deps
	clang-format --dry-run --Werror $(SOURCES)

clean:
	rm -rf build
