# Front door: `make test` builds and runs every test, `make run` the demonstration.

JOBS ?= $(shell nproc)
# Debian packages the build and the tests need.
# Debian's Python with its imaging library and font tools, and ImageMagick, check the docs'
# pictures and the page's font (docs_pictures_test, page_font_test).
PACKAGES := cmake g++ make libgtest-dev libbenchmark-dev clang-format libstb-dev libpng-dev libsdl2-dev libtinyobjloader-dev libtinygltf-dev python3-pil python3-fonttools python3-brotli imagemagick
# The Windows cross build.
WINDOWS_PACKAGES := cmake make g++-mingw-w64-x86-64 libtinygltf-dev nlohmann-json3-dev
# The browser build (Debian's Emscripten needs Debian's acorn) and where `make serve` listens.
WEB_PACKAGES := cmake make emscripten node-acorn libstb-dev libtinygltf-dev nlohmann-json3-dev python3
WEB_PORT ?= 8000
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: all deps golden docs page-font build check-layers check-exports test test-sanitize run windows test-windows test-sdl web serve test-web bench bench-configure bench-web bench-peer perf-build perf-check perf-budget format format-check clean

all: build

deps:
	@PACKAGES="$(PACKAGES)" sh tools/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

test: build check-layers
	ctest --preset default -j $(JOBS)

# Fails when a file includes a header of a layer that depends on its own, or when modules
# include each other in a circle (tools/check-layers.py).
check-layers:
	python3 tools/check-layers.py

# Rewrites the golden pictures (gallery frame, example screenshots) after an intended change;
# look at the difference before committing.
golden: build
	cmake --build --preset default --target golden

# Makes every picture in docs/ again, as docs/pictures.txt lists them: those of the replay tool
# and the gallery, then the page's in headless Chromium (which needs the browser build, as
# make test-web does). make test fails while a committed picture of the native tools differs
# from what this makes, make test-web while the page's canvas does.
docs: build
	/usr/bin/python3 tools/make-docs.py --replay build/default/sketch3d-replay --gallery build/default/sketch3d-gallery
	bash tools/test-web.sh --docs

# Makes the page's font for the Japanese message texts again (platform/web/fonts/), from
# Debian's fonts-noto-cjk; run it after a message text changes (page_font_test says so).
page-font:
	@PACKAGES="fonts-noto-cjk python3-fonttools python3-brotli" sh tools/install-deps.sh
	/usr/bin/python3 tools/make-page-font.py

test-sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS)

# The SDL window when a display is present; otherwise the example scripts replayed headless.
# The build's output goes to build/run/build.log; the last lines say where the results are.
run: deps
	@JOBS=$(JOBS) sh tools/run.sh

# build/windows/sketch3d.exe, cross-compiled with mingw-w64.
windows:
	@PACKAGES="$(WINDOWS_PACKAGES)" sh tools/install-deps.sh
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)

# The Windows program under Wine on a virtual display, driven by mouse and keys.
test-windows:
	bash tools/test-windows.sh

# The exported STL and GLB files checked with admesh and the Khronos glTF validator.
check-exports: build
	bash tools/check-exports.sh

# The SDL program on a virtual display, driven the same way.
test-sdl: build
	bash tools/test-sdl.sh

# build/web/site/: the page and its WebAssembly modules, built with Emscripten.
web:
	@PACKAGES="$(WEB_PACKAGES)" sh tools/install-deps.sh
	cmake --preset web
	cmake --build --preset web -j $(JOBS)

# Serves build/web/site/ at http://127.0.0.1:$(WEB_PORT)/ until interrupted.
serve: web
	python3 -m http.server $(WEB_PORT) --bind 127.0.0.1 --directory build/web/site

# The page in Debian's headless Chromium, driven by Playwright.
test-web:
	bash tools/test-web.sh

# Benchmarks, never run by CI (make perf-check below is): build/bench, optimised as the default build.
# `make bench` prints tables of the demonstration's frame and its stages, how the cost
# grows with triangles and raster size, click-to-mesh, every fill and the clear;
# `make bench-peer` times the same frame against Mesa's llvmpipe (OSMesa, one thread),
# side by side; `make bench-web` times the shell's frame in the browser build.
BENCH_DIR ?= build/bench
BENCH_FLAGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKETCH3D_TESTS=OFF -DSKETCH3D_BENCH=ON
BENCH_CONFIGURE = cmake -S . -B $(BENCH_DIR) $(BENCH_FLAGS)
# Many short repetitions in random order; the tables keep each benchmark's fastest.
BENCH_ARGS ?= --benchmark_repetitions=15 --benchmark_min_time=0.05 --benchmark_enable_random_interleaving=true

bench-configure: deps
	@$(BENCH_CONFIGURE) >/dev/null

# The build's output goes to $(BENCH_DIR)/build.log (shown when it fails), so that the tables
# are what the terminal ends with.
bench: bench-configure
	@echo "bench: building sketch3d-bench (the output goes to $(BENCH_DIR)/build.log)"
	@cmake --build $(BENCH_DIR) --target sketch3d-bench sketch3d-bench-pose -j $(JOBS) >$(BENCH_DIR)/build.log 2>&1 || \
		{ tail -n 30 $(BENCH_DIR)/build.log; echo "bench: the build failed"; exit 1; }
	$(BENCH_DIR)/bench/sketch3d-bench $(BENCH_ARGS)
	$(BENCH_DIR)/bench/sketch3d-bench-pose --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

bench-web:
	bash tools/bench-web.sh

bench-peer: deps
	@PACKAGES="libosmesa6-dev" sh tools/install-deps.sh
	$(BENCH_CONFIGURE) -DSKETCH3D_BENCH_PEER=ON
	cmake --build $(BENCH_DIR) --target sketch3d-bench-peer -j $(JOBS)
	GALLIUM_DRIVER=llvmpipe LP_NUM_THREADS=0 $(BENCH_DIR)/bench/sketch3d-bench-peer

# Performance budgets, run by CI: `make perf-check` counts the instructions of a fixed set of
# work (bench/perf_workloads.cpp: the demonstration's frames, every fill, click to mesh, the I
# key, undo and redo on a figure, a part joined and removed) with Valgrind's callgrind and fails when one rises more than 3 % above its budget in
# bench/perf-budget.txt; `make perf-budget` rewrites that file on purpose (docs/PERFORMANCE.md).
# The program is built optimised as the benchmarks are, in build/perf.
PERF_DIR ?= build/perf
PERF_PACKAGES := valgrind
PERF_BUDGETS := bench/perf-budget.txt

# ccache, where it is installed, keeps CI's rebuild of the program short.
PERF_LAUNCHER := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

perf-build: deps
	@PACKAGES="$(PERF_PACKAGES)" sh tools/install-deps.sh
	cmake -S . -B $(PERF_DIR) $(BENCH_FLAGS) $(PERF_LAUNCHER)
	cmake --build $(PERF_DIR) --target sketch3d-perf-workloads -j $(JOBS)

perf-check: perf-build
	python3 tools/perf-check.py $(PERF_DIR)/bench/sketch3d-perf-workloads $(PERF_BUDGETS)

perf-budget: perf-build
	python3 tools/perf-check.py --write $(PERF_DIR)/bench/sketch3d-perf-workloads $(PERF_BUDGETS)

# Reliability. `make fuzz` runs each libFuzzer target of tests/fuzz/ for FUZZ_SECONDS
# (build/fuzz, clang 14 with AddressSanitizer and UndefinedBehaviorSanitizer) and prints
# executions and coverage; `make fuzz-smoke` is the short run CI makes. `make soak` plays
# SOAK_FRAMES frames of a seeded random session on the headless backend; `make soak-smoke`
# plays 10,000 of them in the sanitizer build, as CI does.
FUZZ_PACKAGES := cmake make clang-14 libclang-rt-14-dev libstb-dev libpng-dev
FUZZ_SECONDS ?= 60
SOAK_SEED ?= 1
SOAK_FRAMES ?= 100000

.PHONY: fuzz fuzz-smoke fuzz-build soak soak-smoke

fuzz-build:
	@PACKAGES="$(FUZZ_PACKAGES)" sh tools/install-deps.sh
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)

fuzz: fuzz-build
	bash tools/fuzz.sh build/fuzz $(FUZZ_SECONDS)

fuzz-smoke: fuzz-build
	bash tools/fuzz.sh build/fuzz 15

soak: build
	build/default/sketch3d-soak --seed $(SOAK_SEED) --frames $(SOAK_FRAMES)

soak-smoke: deps
	cmake --preset sanitize
	cmake --build --preset sanitize --target sketch3d-soak -j $(JOBS)
	build/sanitize/sketch3d-soak --seed $(SOAK_SEED) --frames 10000

format:
	clang-format -i $(SOURCES)

format-check: deps
	clang-format --dry-run --Werror $(SOURCES)

clean:
	rm -rf build
