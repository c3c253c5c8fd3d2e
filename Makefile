# make test   set up the machine if needed, build, run every test and each fuzz target for 20 s
# make demo   set up, build what it runs, load the plug-in through the stand-in
#             and record
# make dist   set up, build both bitnesses, pack the Windows package into build/dist/
# make bench  set up, build, run the benchmarks
# make fuzz   set up, build the fuzz targets with clang, run each FUZZ_SECONDS
BUILD   ?= build
WIN     := $(BUILD)/win
WIN64   := $(BUILD)/win64
NATIVE  := $(BUILD)/native
TSAN    := $(BUILD)/tsan
FUZZ    := $(BUILD)/fuzz
FUZZ_SECONDS ?= 300
JOBS    ?= 2
MAKEFLAGS += --no-print-directory

.PHONY: all setup build build-win build-win64 build-native build-tsan build-fuzz test test-native test-tsan test-win \
  test-win64 test-dist test-fuzz fuzz demo dist bench clean

# The toolchain file goes to the first configure only: CMake keeps it in its
# cache and warns about a toolchain file given again.
CONFIGURE_WIN = cmake -S . -B $(WIN) -DCMAKE_BUILD_TYPE=Release \
  $(if $(wildcard $(WIN)/CMakeCache.txt),,-DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake)
# The 64-bit tree (build/win64): zendrel-host and its tests for x86_64, run
# in the 64-bit Wine prefix; nothing there needs the 32-bit board library.
# Its tests may run 32-bit programs of the 32-bit tree beside its own.
CONFIGURE_WIN64 = cmake -S . -B $(WIN64) -DCMAKE_BUILD_TYPE=Release -DZENDREL_WIN32_BIN=$(abspath $(WIN))/bin \
  $(if $(wildcard $(WIN64)/CMakeCache.txt),,-DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake)
DEMO_TARGETS := Zendrel standin zendrel-host
# What make dist packs, per tree.
DIST_TARGETS := Zendrel Zendrel-Net zendrel-host
DIST_TARGETS_WIN64 := Zendrel-Net zendrel-host

all: build

setup:
	@./scripts/setup-debian.sh

build: build-win build-win64 build-native

build-win: setup
	@$(CONFIGURE_WIN) >/dev/null
	@cmake --build $(WIN) -j $(JOBS)

build-win64: setup
	@$(CONFIGURE_WIN64) >/dev/null
	@cmake --build $(WIN64) -j $(JOBS)

build-native: setup
	@cmake -S . -B $(NATIVE) -DZENDREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

build-fuzz: setup
	@cmake -S . -B $(FUZZ) -DZENDREL_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS) --target fuzzers

test: test-native test-tsan test-fuzz test-win test-win64 test-dist

test-native: build-native
	@ctest --test-dir $(NATIVE) --output-on-failure

# The tests with real threads, under ThreadSanitizer: the driver's, the
# tuner pool and fan-out of zendrel-host serve, and the network plug-in's
# reader and signal threads.
build-tsan: setup
	@cmake -S . -B $(TSAN) -DZENDREL_SANITIZE_THREAD=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(TSAN) --target driver_tests host_tests net_tests -j $(JOBS)

test-tsan: build-tsan
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN)/bin/driver_tests --gtest_filter='ThreadTest.*'
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN)/bin/host_tests --gtest_filter='Fanout.*:TunerPool.*'
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN)/bin/net_tests --gtest_filter='NetStreamTest.*'

test-win: build-win
	@./scripts/wine-prefix.sh start
	@ctest --test-dir $(WIN) --output-on-failure -j1; rc=$$?; ./scripts/wine-prefix.sh stop; exit $$rc

test-win64: build-win build-win64
	@./scripts/wine-prefix.sh start 64
	@ctest --test-dir $(WIN64) --output-on-failure -j1; rc=$$?; ./scripts/wine-prefix.sh stop 64; exit $$rc

# The package of make dist, built from both trees: its layout, and each
# binary's machine type and imports.
test-dist: build-win build-win64
	@./tests/dist/package_test.sh $(WIN)/bin $(WIN64)/bin

test-fuzz: build-fuzz
	@./scripts/fuzz.sh $(FUZZ) 20

fuzz: build-fuzz
	@./scripts/fuzz.sh $(FUZZ) $(FUZZ_SECONDS)

# Builds only what the demo runs; the build's own output goes to a log that
# is shown only when the build fails.
demo: setup
	@echo "== Building the plug-in, the stand-in board library and zendrel-host"
	@mkdir -p $(BUILD)
	@{ $(CONFIGURE_WIN) && cmake --build $(WIN) -j $(JOBS) --target $(DEMO_TARGETS); } >$(BUILD)/demo-build.log 2>&1 \
	  || { cat $(BUILD)/demo-build.log; echo "demo: the build failed (log: $(BUILD)/demo-build.log)"; exit 1; }
	@echo "== Starting Wine (its prefix is made on the first run, which takes a while)"
	@./scripts/wine-prefix.sh start
	@./scripts/demo.sh $(WIN)/bin $(BUILD)/demo; rc=$$?; ./scripts/wine-prefix.sh stop; exit $$rc

dist: setup
	@$(CONFIGURE_WIN) >/dev/null
	@cmake --build $(WIN) -j $(JOBS) --target $(DIST_TARGETS)
	@$(CONFIGURE_WIN64) >/dev/null
	@cmake --build $(WIN64) -j $(JOBS) --target $(DIST_TARGETS_WIN64)
	@./scripts/dist.sh $(WIN)/bin $(WIN64)/bin $(BUILD)/dist

bench: build-win
	@./scripts/wine-prefix.sh start
	@./scripts/bench.sh $(WIN)/bin; rc=$$?; ./scripts/wine-prefix.sh stop; exit $$rc

clean:
	rm -rf $(BUILD)
