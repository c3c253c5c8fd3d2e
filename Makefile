# make test   set up the machine if needed, build, run every test
# make demo   set up, build what it runs, load the plug-in through the stand-in
#             and record
# make dist   set up, build, pack the Windows package into build/dist/
# make bench  set up, build, run the benchmarks
BUILD   ?= build
WIN     := $(BUILD)/win
NATIVE  := $(BUILD)/native
JOBS    ?= 2
MAKEFLAGS += --no-print-directory

.PHONY: all setup build build-win build-native test test-native test-win demo dist bench clean

# The toolchain file goes to the first configure only: CMake keeps it in its
# cache and warns about a toolchain file given again.
CONFIGURE_WIN = cmake -S . -B $(WIN) -DCMAKE_BUILD_TYPE=Release \
  $(if $(wildcard $(WIN)/CMakeCache.txt),,-DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake)
DEMO_TARGETS := Zendrel standin zendrel-host

all: build

setup:
	@./scripts/setup-debian.sh

build: build-win build-native

build-win: setup
	@$(CONFIGURE_WIN) >/dev/null
	@cmake --build $(WIN) -j $(JOBS)

build-native: setup
	@cmake -S . -B $(NATIVE) -DZENDREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

test: test-native test-win

test-native: build-native
	@ctest --test-dir $(NATIVE) --output-on-failure

test-win: build-win
	@./scripts/wine-prefix.sh start
	@ctest --test-dir $(WIN) --output-on-failure -j1; rc=$$?; ./scripts/wine-prefix.sh stop; exit $$rc

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
	@cmake --build $(WIN) -j $(JOBS) --target Zendrel zendrel-host
	@./scripts/dist.sh $(WIN)/bin $(BUILD)/dist

bench: build-win
	@./scripts/wine-prefix.sh start
	@./scripts/bench.sh $(WIN)/bin; rc=$$?; ./scripts/wine-prefix.sh stop; exit $$rc

clean:
	rm -rf $(BUILD)
