# SPDX-License-Identifier: GPL-3.0-or-later
# make run   installs what is missing, builds, creates the sample database if absent, starts Telquin
# make test  installs what is missing, builds, runs every test (and the core tests under sanitizers)

MAKEFLAGS  += --no-print-directory
BUILD      ?= build
BUILD_ASAN ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all deps build build-asan run sample-db test test-asan screenshot bench package clean

all: build

deps:
	@scripts/install-deps

build: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@[ -f $(BUILD_ASAN)/CMakeCache.txt ] || cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DTELQUIN_SANITIZE=ON -DTELQUIN_WIDGETS=OFF
	@cmake --build $(BUILD_ASAN) -j $(JOBS)

sample-db: deps
	@scripts/crear-base-muestra

run: build sample-db
	$(BUILD)/app/telquin

test: build build-asan
	ctest --test-dir $(BUILD) --output-on-failure
	@$(MAKE) --no-print-directory test-asan

test-asan:
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(BUILD_ASAN) -L core --output-on-failure

screenshot: build
	@scripts/captura

bench: deps
	@scripts/bench

package: build
	@scripts/paquete

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)
