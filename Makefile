# Thin wrapper over CMake. `make run` and `make test` set up what is missing
# first, so both work on a fresh Debian 12 machine.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all setup build run chat test test-sanitize lint format bench fuzz install uninstall clean

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

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitize: setup
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUIBBO_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j$(JOBS)

lint: setup
	@scripts/lint

format:
	@scripts/lint --fix

bench: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j$(JOBS)
	@scripts/bench $(BUILD)

fuzz: setup
	@scripts/fuzz

install: build
	@scripts/install $(BUILD)/bin

uninstall:
	@scripts/uninstall

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
