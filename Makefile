# Everything goes through CMake; these targets are the short way in.
#   make demo     install what is missing, build only what the demo needs,
#                 run `priamctl demo`
#   make test     install what is missing, build, run every test, then again
#                 under AddressSanitizer + UndefinedBehaviorSanitizer, then
#                 run each fuzz target for FUZZ_SECONDS
#   make fuzz     run each fuzz target for a minute
#   make package  build the Debian packages (debian/) into $(BUILD_DIR)/packages
#   make bench    build the benchmarks in Release and print their table
#                 (BENCH_ARGS passes options, e.g. --discover_cmd=...)
BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
BENCH_DIR ?= build-bench
BENCH_ARGS ?=
FUZZ_DIR  ?= build-fuzz
FUZZ_SECONDS ?= 15
FUZZ_CXX  ?= clang++-14
FUZZ_CC   ?= clang-14
JOBS      ?= $(shell nproc)
CMAKE_ARGS ?=

# The sub-makes that CMake's generated Makefiles run would each announce the
# directory they enter and leave.
MAKEFLAGS += --no-print-directory

.PHONY: all deps build demo package test test-plain test-asan test-fuzz fuzz bench clean

all: build

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

# priamctl brings the two libraries and the stand-in priam.jar with it; the
# tests and benchmarks are left for `make test`.
demo: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target priamctl
	$(BUILD_DIR)/cli/priamctl demo

# dpkg-buildpackage on a copy of the tree in $(BUILD_DIR)/deb; only what the
# packages ship is built, with dpkg-buildflags' flags.
package: deps
	JOBS=$(JOBS) bash scripts/build-debs.sh $(BUILD_DIR)/packages $(BUILD_DIR)/deb

test: deps
	$(MAKE) test-plain
	$(MAKE) test-asan
	$(MAKE) test-fuzz

test-plain:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DPRIAMUTIL_SANITIZE=ON $(CMAKE_ARGS)
	cmake --build $(ASAN_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

# Only the benchmark program, what it runs and priamctl (which it can
# measure) are built; the tests are not.
bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DPRIAMUTIL_BENCH=ON \
	  -DPRIAMUTIL_BUILD_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(BENCH_DIR) -j $(JOBS) --target priam_bench priamctl
	$(BENCH_DIR)/bench/priam_bench $(BENCH_ARGS)

# The fuzz targets only: the library is built again, instrumented.
test-fuzz:
	CC=$(FUZZ_CC) CXX=$(FUZZ_CXX) cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPRIAMUTIL_FUZZ=ON -DPRIAMUTIL_BUILD_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	bash fuzz/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

fuzz: deps
	$(MAKE) test-fuzz FUZZ_SECONDS=60

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(BENCH_DIR) $(FUZZ_DIR)
