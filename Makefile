# Thin wrapper over CMake. `make run` and `make test` set up what is missing
# first, so both work on a fresh Debian 12 machine.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
BENCH_BUILD ?= build-bench
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all setup build run chat test test-slow test-sanitize lint format bench \
  bench-build bench-10m fuzz install uninstall clean

all: build

setup:
	@scripts/setup

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run $(BUILD)/bin

chat: build
	$(BUILD)/bin/quibbo-cli

# The fast suite; the slow runs on large inputs carry the label "heavy".
test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -LE "heavy|fuzz"

test-slow: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -L heavy

test-sanitize: setup
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUIBBO_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j$(JOBS)

lint: setup
	@scripts/lint

format:
	@scripts/lint --fix

# A Release build of its own, so the benchmark never reconfigures build/.
CCACHE := $(shell command -v ccache 2>/dev/null)
BENCH_FLAGS ?= -DCMAKE_BUILD_TYPE=Release -DQUIBBO_BUILD_UI=ON \
  $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

bench-build: setup
	cmake -S . -B $(BENCH_BUILD) $(BENCH_FLAGS)
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target quibbo_bench quibbo-cli window_bench

bench: bench-build
	@scripts/bench $(BENCH_BUILD)

# Ten million rows (about 500 MB of memory file, and a minute): run by
# hand, never in CI. Adds its own section to bench/results.md.
bench-10m: bench-build
	@scripts/bench $(BENCH_BUILD) --rows 10000000

fuzz: setup
	@scripts/fuzz

install: build
	@scripts/install $(BUILD)

uninstall:
	@scripts/uninstall

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
