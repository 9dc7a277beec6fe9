# Front door: `make test` builds and runs every test, `make run` the demonstration.

JOBS ?= $(shell nproc)
# Debian packages the build and the tests need.
PACKAGES := cmake g++ make libgtest-dev libbenchmark-dev clang-format
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: all deps build test test-sanitize run format format-check clean

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

run:
	@echo "The demonstration is not built yet: the application shell and its platform layer come next."
	@exit 1

format:
	clang-format -i $(SOURCES)

format-check: deps
	clang-format --dry-run --Werror $(SOURCES)

clean:
	rm -rf build
