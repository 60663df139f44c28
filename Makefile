# Thin wrapper over CMake. Each target first sets up what it needs and no
# more (scripts/setup), so `make run` and `make test` work on a fresh Debian
# 12 machine: `make run` installs and builds only the two programs, `make
# test` adds the test tools and the tests.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
DEB_BUILD ?= build-deb
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all setup setup-test build build-tests run chat test test-slow \
  test-sanitize lint format bench bench-build bench-10m fuzz install \
  uninstall deb deb-check clean

all: build

setup:
	@scripts/setup

setup-test:
	@scripts/setup test

# A new build folder starts without the tests; build-tests turns them on.
$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DBUILD_TESTING=OFF

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS) --target programs

build-tests: setup-test
	@grep -qsx 'BUILD_TESTING:BOOL=ON' $(BUILD)/CMakeCache.txt || \
	  cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run $(BUILD)/bin

chat: build
	$(BUILD)/bin/quibbo-cli

# The fast suite; the slow runs on large inputs carry the label "heavy".
test: build-tests
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -LE "heavy|fuzz"

test-slow: build-tests
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -L heavy

test-sanitize: setup-test
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUIBBO_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j$(JOBS)

lint: setup-test
	@scripts/lint

format:
	@scripts/lint --fix

# A Release build of its own, so the benchmark never reconfigures build/.
CCACHE := $(shell command -v ccache 2>/dev/null)
BENCH_FLAGS ?= -DCMAKE_BUILD_TYPE=Release -DQUIBBO_BUILD_UI=ON \
  $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

bench-build:
	@scripts/setup test bench
	cmake -S . -B $(BENCH_BUILD) $(BENCH_FLAGS)
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target quibbo_bench quibbo-cli window_bench

bench: bench-build
	@scripts/bench $(BENCH_BUILD)

# Ten million rows (about 500 MB of memory file, and a minute): run by
# hand, never in CI. Adds its own section to bench/results.md.
bench-10m: bench-build
	@scripts/bench $(BENCH_BUILD) --rows 10000000

fuzz: setup-test
	@scripts/fuzz 60 $(FUZZ_BUILD)

install: build
	@scripts/install $(BUILD)

uninstall:
	@scripts/uninstall

# The Debian package, built by debhelper from debian/ in a copy of the
# sources in $(DEB_BUILD), where the .deb lands.
deb:
	@scripts/setup package
	@scripts/deb $(DEB_BUILD)

# The package as a release builds it: in a git checkout, from a plain copy
# of what git holds at HEAD (git archive, no .git), so changes not yet
# committed are not in it; in a plain copy, from the copy itself. Then
# lintian, and its contents and memory rule.
deb-check:
	@scripts/setup package
	@if [ "$$(git rev-parse --show-toplevel 2>/dev/null)" = "$$(pwd -P)" ]; then \
	  git diff --quiet HEAD || echo "deb-check: builds HEAD; uncommitted changes are left out." >&2; \
	  copy=$$(mktemp -d) && trap 'rm -rf "$$copy"' EXIT && \
	  git archive HEAD | tar -x -C "$$copy" && \
	  "$$copy/scripts/deb" "$(abspath $(DEB_BUILD))"; \
	else scripts/deb $(DEB_BUILD); fi
	lintian --fail-on error,warning --info $(DEB_BUILD)/*.changes
	sh tests/package/package_test.sh $(DEB_BUILD)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(DEB_BUILD)
