# SPDX-License-Identifier: GPL-3.0-or-later
# make run            installs what running needs, builds the program alone, creates the
#                     sample database if absent, starts Telquin
# make install-local  links the program that make run built into ~/.local/bin
# make test           installs the test tools too, checks the code's layout and the shell
#                     scripts, builds everything, runs every test (the
#                     core tests under sanitizers too, and the package's in build-paquete)
# make package        builds the Debian package in build-paquete, with Debian's flags

MAKEFLAGS     += --no-print-directory
BUILD         ?= build
BUILD_ASAN    ?= build-asan
BUILD_PAQUETE ?= build-paquete
JOBS          ?= $(shell nproc)
BIN_LOCAL     ?= $(HOME)/.local/bin

.PHONY: all deps deps-test build build-test build-asan estilo run install-local sample-db test test-asan \
        screenshot bench package clean

all: build

deps:
	@scripts/install-deps

deps-test:
	@scripts/install-deps --pruebas

# A tree is configured once and keeps the options it got then.
build: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	@cmake --build $(BUILD) -j $(JOBS) --target telquin telquin_documentos

# Configured again each time: what a configure without the test tools left out (the
# server tests) is looked for again, and its absence is now an error.
build-test: deps-test
	@cmake -S . -B $(BUILD) -DTELQUIN_ALL_TESTS=ON -DTELQUIN_PACKAGE_TREE=$(abspath $(BUILD_PAQUETE)) \
	  $$([ -f $(BUILD)/CMakeCache.txt ] || echo -DCMAKE_BUILD_TYPE=RelWithDebInfo)
	@cmake --build $(BUILD) -j $(JOBS)

# Every target, the window's and the benchmarks' included, under the sanitizers and with
# warnings as errors, so that nothing rots unseen.
build-asan: deps-test
	@cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DTELQUIN_SANITIZE=ON -DTELQUIN_WIDGETS=ON \
	  -DTELQUIN_ALL_TESTS=ON -DTELQUIN_BENCH=ON >/dev/null
	@cmake --build $(BUILD_ASAN) -j $(JOBS)

sample-db: deps
	@scripts/crear-base-muestra

run: build sample-db
	$(BUILD)/app/telquin

# Only a link, or nothing, is replaced: a telquin installed there otherwise stays.
install-local: build
	@mkdir -p $(BIN_LOCAL)
	@if [ -e $(BIN_LOCAL)/telquin ] && [ ! -L $(BIN_LOCAL)/telquin ]; then \
	  echo "telquin: $(BIN_LOCAL)/telquin ya existe y no es un enlace: no se toca" >&2; exit 1; fi
	@ln -sfn $(abspath $(BUILD))/app/telquin $(BIN_LOCAL)/telquin
	@echo "$(BIN_LOCAL)/telquin -> $(abspath $(BUILD))/app/telquin"
	@case ":$$PATH:" in *":$(BIN_LOCAL):"*) ;; \
	  *) echo "$(BIN_LOCAL) no está en el PATH de esta terminal: export PATH=\"$(BIN_LOCAL):\$$PATH\"" ;; esac

# The checks no compiler makes: the code's layout (.clang-format) and the shell scripts.
estilo: deps-test
	@scripts/comprobar-estilo

test: estilo build-test build-asan
	ctest --test-dir $(BUILD) --output-on-failure
	@$(MAKE) --no-print-directory test-asan

test-asan:
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(BUILD_ASAN) -L core --output-on-failure

screenshot: build
	@cmake --build $(BUILD) -j $(JOBS) --target telquin_captura
	@scripts/captura

bench: deps-test
	@scripts/bench

package: deps-test
	@BUILD_PAQUETE=$(BUILD_PAQUETE) scripts/paquete

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_PAQUETE)
