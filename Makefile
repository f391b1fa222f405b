# SPDX-License-Identifier: Apache-2.0
# Thin wrapper over CMake. Every target installs what it needs first (scripts/install-deps.sh).
#   make demo       build and run `kelvane demo`
#   make test       build and run the unit tests
#   make test-asan  the unit tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   make test-tsan  the unit tests under ThreadSanitizer
#   make coverage   the unit tests in a Debug build with --coverage, then line and branch
#                   coverage of the library (gcovr)
#   make bench      build and run the benchmarks (ours against the peers), then draw every
#                   pair's ratio against its goal: $(BUILD)-bench/bench-ratios.png
#   make fuzz       build the libFuzzer targets with clang and run each for FUZZ_SECONDS
#   make package    build the Debian packages (libkelvane1, libkelvane-dev, libkelvane-static-dev,
#                   kelvane-tools, libkelvane-doc)
#   make abi-update store the shared library's ABI for the version (after raising the version)
#   make soak       the library under load: the soak program for SOAK_SECONDS, the save paths
#                   killed SOAK_KILLS times each, and the soak program under ThreadSanitizer for
#                   SOAK_TSAN_SECONDS
JOBS ?= 2
BUILD ?= build
FUZZ_SECONDS ?= 60
SOAK_SECONDS ?= 120
SOAK_TSAN_SECONDS ?= 30
SOAK_KILLS ?= 300
# Names of the fuzzers `make fuzz` runs (all by default), e.g. FUZZERS='png_fuzz jpeg_fuzz'.
FUZZERS ?=
CMAKE_FLAGS ?=
# Passed to every benchmark program, e.g. BENCH_ARGS='--benchmark_filter=Search|Load'.
export BENCH_ARGS

.PHONY: all deps build demo test test-asan test-tsan coverage bench fuzz package abi-update soak clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVANE_BUILD_TESTS=ON \
	  -DKELVANE_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	$(BUILD)/bin/kelvane demo

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-asan:
	@scripts/install-deps.sh
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DKELVANE_BUILD_TESTS=ON \
	  -DKELVANE_WERROR=ON -DKELVANE_SANITIZE=address $(CMAKE_FLAGS)
	cmake --build $(BUILD)-asan -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD)-asan --output-on-failure -j$(JOBS)

# TSAN_TESTS narrows the run to the threaded tests (a ctest -R pattern); by default all run.
TSAN_TESTS ?= .
test-tsan:
	@scripts/install-deps.sh
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVANE_BUILD_TESTS=ON \
	  -DKELVANE_WERROR=ON -DKELVANE_SANITIZE=thread -DKELVANE_BUILD_TOOLS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-tsan -j$(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --test-dir $(BUILD)-tsan --output-on-failure -j$(JOBS) -R '$(TSAN_TESTS)'

# The library's own files only: not the tests, the test helpers, the tool, benches or fuzzers
# (the library's inline functions count also where the tests compiled them). Branches that only throw or that the compiler proved
# unreachable are not counted. The install-time checks (consumer, README examples, ABI,
# packages) are off: they run nothing of the library that the unit tests do not. The tool row
# that limits the size of the files the tool writes is left out: the limit also stops the
# tool's coverage counts from being written. The coverage is printed also when a test fails;
# the target fails then all the same.
COVERAGE_EXCLUDE := --exclude '.*_test\.cc$$' --exclude 'kelvane/testing/' --exclude 'tools/' \
  --exclude 'bench/' --exclude 'fuzz/' --exclude '$(BUILD)[^/]*/'
coverage:
	@scripts/install-deps.sh --coverage
	cmake -S . -B $(BUILD)-coverage -DCMAKE_BUILD_TYPE=Debug -DKELVANE_BUILD_TESTS=ON \
	  -DKELVANE_BUILD_TOOLS=ON -DKELVANE_INSTALL=OFF -DKELVANE_WERROR=ON \
	  -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage \
	  -DCMAKE_SHARED_LINKER_FLAGS=--coverage $(CMAKE_FLAGS)
	cmake --build $(BUILD)-coverage -j$(JOBS)
	find $(BUILD)-coverage -name '*.gcda' -delete
	@status=0; ctest --test-dir $(BUILD)-coverage --output-on-failure -j$(JOBS) \
	  -E 'KelvaneToolTest.RefusesBadInputWithOneLineAndLeavesNothingBehind' || status=$$?; \
	gcovr --root . --filter 'kelvane/' $(COVERAGE_EXCLUDE) --exclude-throw-branches \
	  --exclude-unreachable-branches --gcov-ignore-parse-errors -j$(JOBS) --sort-percentage \
	  --print-summary \
	  $$(ls -d $(BUILD)-coverage/CMakeFiles/kelvane_*.dir); \
	exit $$status

bench:
	@scripts/install-deps.sh --bench
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DKELVANE_BUILD_BENCHMARKS=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)-bench -j$(JOBS)
	@rm -f $(BUILD)-bench/ratios.tsv
	@set -e; for b in $(BUILD)-bench/bench/*_bench; do echo "== $$b"; \
	  KELVANE_BENCH_RATIOS=$(BUILD)-bench/ratios.tsv $$b $$BENCH_ARGS; done
	@$(BUILD)-bench/bench/ratio_chart $(BUILD)-bench/ratios.tsv $(BUILD)-bench/bench-ratios.png \
	  "$$(nproc) cores, $$(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -n 1), $$(date +%F)"

fuzz:
	@scripts/install-deps.sh --fuzz
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKELVANE_BUILD_FUZZERS=ON -DKELVANE_BUILD_TOOLS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-fuzz -j$(JOBS)
	scripts/run-fuzzers.sh $(BUILD)-fuzz/fuzz $(FUZZ_SECONDS) $(FUZZERS)

# The soak: (a) kelvane_soak for SOAK_SECONDS in the normal build (every result checked, RSS flat
# after the warm-up), (b) every save path killed mid-save SOAK_KILLS times, (c) kelvane_soak
# under ThreadSanitizer for SOAK_TSAN_SECONDS, in the test-tsan folder (only what it needs is
# built there). Each step stops the target when it fails.
soak: build
	$(BUILD)/soak/kelvane_soak --seconds $(SOAK_SECONDS)
	KELVANE_KILLS=$(SOAK_KILLS) $(BUILD)/kelvane_tests --gtest_filter='SaveFaults.*:SqliteItemStore.AKilled*'
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVANE_BUILD_TESTS=ON \
	  -DKELVANE_WERROR=ON -DKELVANE_SANITIZE=thread -DKELVANE_BUILD_TOOLS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-tsan -j$(JOBS) --target kelvane_soak
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  $(BUILD)-tsan/soak/kelvane_soak --seconds $(SOAK_TSAN_SECONDS)

# The reference manual in $(BUILD)/docs/html, without a warning (needs doxygen).
.PHONY: docs
docs: build
	cmake --build $(BUILD) --target docs

abi-update: build
	scripts/abi-check.sh $(BUILD) cmake --update

# Release, installed under /usr, no tests, with Debian's hardening flags (dpkg-buildflags, all
# features; no -g, as no debug package is made): the packages land in $(BUILD)-package/, the
# manual's too where doxygen is installed (kelvane_package_files builds it).
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP='-g -O2' dpkg-buildflags
package:
	@scripts/install-deps.sh
	cmake -S . -B $(BUILD)-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DKELVANE_BUILD_TESTS=OFF -DKELVANE_BUILD_TOOLS=ON \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) --get CPPFLAGS) $$($(DEB_FLAGS) --get CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) --get LDFLAGS)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$$($(DEB_FLAGS) --get LDFLAGS)" $(CMAKE_FLAGS)
	cmake --build $(BUILD)-package -j$(JOBS) --target all kelvane_package_files
	cd $(BUILD)-package && cpack
	@ls -1 $(BUILD)-package/*.deb

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-coverage $(BUILD)-bench $(BUILD)-fuzz $(BUILD)-package
