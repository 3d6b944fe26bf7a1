# Velluma: set-up, build, demo and tests on Debian 12.
BUILD      ?= build
BUILD_ASAN ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build demo check check-asan bench samples format clean

all: build

deps:
	@bash scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

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
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DVELLUMA_SANITIZE=ON -DVELLUMA_BENCH=OFF $(CMAKE_ARGS)

check-asan: deps $(BUILD_ASAN)/CMakeCache.txt
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

bench: build
	cmake --build $(BUILD) --target velluma-bench velluma-load-bench velluma-issue-bench -j $(JOBS)
	$(BUILD)/bin/velluma-bench
	$(BUILD)/bin/velluma-load-bench
	$(BUILD)/bin/velluma-issue-bench

samples: build
	$(BUILD)/bin/velluma-mksamples samples

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)
