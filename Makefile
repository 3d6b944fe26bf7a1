# Velluma: set-up, build, demo and tests on Debian 12.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_TSAN ?= build-tsan
BUILD_FUZZ ?= build-fuzz
BUILD_RELEASE ?= build-release
FUZZ_S     ?= 60
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
# A compiler cache, where one is installed, makes builds in fresh build folders cheap.
CCACHE     := $(shell command -v ccache 2>/dev/null)
LAUNCHER   := $(if $(CCACHE),-DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE))

.PHONY: all deps configure build demo check check-asan check-release check-tsan fuzz fuzz-build bench samples format clean

all: build

deps:
	@bash scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER) $(CMAKE_ARGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/bin/velluma analyse samples/front-page.pdf
	@mkdir -p $(BUILD)/demo
	$(BUILD)/bin/velluma analyse samples/front-page.pdf --format html -o $(BUILD)/demo/front-page.html
	@echo "demo: html view written to $(BUILD)/demo/front-page.html"

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(BUILD_ASAN)/CMakeCache.txt:
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DVELLUMA_SANITIZE=ON -DVELLUMA_BENCH=OFF $(LAUNCHER) $(CMAKE_ARGS)

check-asan: deps $(BUILD_ASAN)/CMakeCache.txt
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# A packager's optimised build (-O3, warnings as errors) with the benchmarks left out; only the
# quick tool tests run again, the full suite runs in the two builds above.
$(BUILD_RELEASE)/CMakeCache.txt:
	cmake -S . -B $(BUILD_RELEASE) -DCMAKE_BUILD_TYPE=Release -DVELLUMA_BENCH=OFF $(LAUNCHER) $(CMAKE_ARGS)

check-release: deps $(BUILD_RELEASE)/CMakeCache.txt
	cmake --build $(BUILD_RELEASE) -j $(JOBS)
	cd $(BUILD_RELEASE) && ctest --output-on-failure -j $(JOBS) -R '^Velluma'

# The thread tests under ThreadSanitizer (only the targets they need are built).
$(BUILD_TSAN)/CMakeCache.txt:
	cmake -S . -B $(BUILD_TSAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMA_TSAN=ON -DVELLUMA_BENCH=OFF $(LAUNCHER) $(CMAKE_ARGS)

check-tsan: deps $(BUILD_TSAN)/CMakeCache.txt
	cmake --build $(BUILD_TSAN) --target test_threads -j $(JOBS)
	cd $(BUILD_TSAN) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest -R '^ThreadsTest' --output-on-failure

# libFuzzer harnesses, built with clang beside the GCC build; each runs FUZZ_S seconds.
$(BUILD_FUZZ)/CMakeCache.txt:
	CC=clang-14 CXX=clang++-14 cmake -S fuzz -B $(BUILD_FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)

fuzz-build: deps $(BUILD_FUZZ)/CMakeCache.txt
	cmake --build $(BUILD_FUZZ) -j $(JOBS)

fuzz: fuzz-build
	bash fuzz/run $(BUILD_FUZZ) $(FUZZ_S)

bench: build
	cmake --build $(BUILD) --target velluma-bench velluma-load-bench velluma-glyphrec-bench velluma-glyphsheet-bench velluma-recognise-bench velluma-issue-bench velluma-cli -j $(JOBS)
	$(BUILD)/bin/velluma-bench
	$(BUILD)/bin/velluma-load-bench
	$(BUILD)/bin/velluma-glyphrec-bench
	$(BUILD)/bin/velluma-glyphsheet-bench
	$(BUILD)/bin/velluma-recognise-bench
	$(BUILD)/bin/velluma-issue-bench
	bash bench/batch-scaling $(BUILD)/bin/velluma

samples: build
	$(BUILD)/bin/velluma-mksamples samples

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_RELEASE) $(BUILD_TSAN) $(BUILD_FUZZ)
