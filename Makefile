# Metrova: build, test and run. See README.md.
#
#   make test   installs what is missing, then builds and runs every test:
#               native (g++), native under ASan+UBSan (clang), the take
#               hand-over under ThreadSanitizer, a bounded fuzz
#               run, the 64-bit Windows build under Wine, the 32-bit Windows
#               build under the 32-bit Wine of a chroot (W32ROOT), with its
#               tempo bytes compared with the other builds'.
#   make run    installs what is missing, builds the 64-bit Metrova.exe and
#               starts it under Wine.

JOBS        ?= $(shell nproc)
# Tests under Wine run two to a core: much of their time is spent waiting
# (for Wine to start, for their X servers, for playback in real time). On
# two cores the 64-bit Windows tests took 98 s so instead of 167 s; eight
# at once were slower again. The keyboard and MIDI tapping session, whose
# taps are timed on the real clock, still runs alone (RUN_SERIAL).
WINE_JOBS   ?= $(shell echo $$(( $(JOBS) * 2 )))
FUZZ_SECONDS ?= 30
B           := build
CONFIGURE   := cmake -G Ninja -S .
# The chroot of the 32-bit Wine (scripts/w32-setup.sh). It bind-mounts the
# host's /dev, /proc and /sys and the build folder, so it lives outside the
# build folder; `make clean` leaves it alone and `make clean-w32` removes it
# safely.
W32ROOT     ?= /var/tmp/metrova-w32
ABS_B        = $(abspath $(B))
CONFIGURE_NATIVE = $(CONFIGURE) -B $(B)/native -DCMAKE_BUILD_TYPE=Debug
# The Windows test builds keep line tables only (-g1: a crash's backtrace
# still names files and lines): full debug information made the MinGW
# compiles half as long again, and their links slower still.
WIN_FLAGS        = "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
CONFIGURE_WIN64  = $(CONFIGURE) -B $(B)/win64 -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WIN_FLAGS) \
                   -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake
CONFIGURE_WIN32  = $(CONFIGURE) -B $(B)/win32 -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WIN_FLAGS) \
                   -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake

.PHONY: package bench bench-peers all setup test run test-native test-asan test-tsan test-fuzz build-fuzz test-win64 build-win32 \
        w32-setup test-win32 crossbytes-native crossbytes-win64 fuzz clean clean-w32

all: test

setup:
	@sh scripts/setup.sh

# The steps in this order; the Windows packages and the 32-bit Wine's chroot
# are prepared in the background meanwhile (scripts/test.sh).
test:
	@W32ROOT=$(W32ROOT) MAKE="$(MAKE)" sh scripts/test.sh $(B)
	@echo "All tests passed."

# The layer rules that include paths alone cannot hold (scripts/check-layers.sh)
# are checked first.
test-native:
	@sh scripts/check-layers.sh
	@$(CONFIGURE_NATIVE) >/dev/null
	@cmake --build $(B)/native -j $(JOBS)
	@sh scripts/ctest.sh $(B)/native -j $(JOBS)

test-asan:
	@CC=clang CXX=clang++ $(CONFIGURE) -B $(B)/asan -DCMAKE_BUILD_TYPE=Debug -DMETROVA_SANITIZE=ON >/dev/null
	@cmake --build $(B)/asan -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    sh scripts/ctest.sh $(B)/asan -j $(JOBS)

# The take hand-over between the MIDI driver's thread and the user-interface
# thread, under ThreadSanitizer.
test-tsan:
	@CC=clang CXX=clang++ $(CONFIGURE) -B $(B)/tsan -DCMAKE_BUILD_TYPE=Debug -DMETROVA_TSAN=ON >/dev/null
	@cmake --build $(B)/tsan -j $(JOBS) --target tempo_tests
	@TSAN_OPTIONS=halt_on_error=1 $(B)/tsan/tests/tempo_tests --gtest_filter='TakeSlotConcurrency*' --gtest_brief=1

# Coverage-instrumented libraries, sanitizers on, fuzz targets linked with
# libFuzzer; run for FUZZ_SECONDS per target (eight targets).
$(B)/fuzz/build.ninja:
	@CC=clang CXX=clang++ $(CONFIGURE) -B $(B)/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DMETROVA_TESTS=OFF -DMETROVA_FUZZ=ON \
	    "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
	    "-DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
	    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null

build-fuzz: $(B)/fuzz/build.ninja
	@cmake --build $(B)/fuzz -j $(JOBS)

# libFuzzer's time limits are wall-clock: the targets run side by side, one
# a core, with nothing else busy (scripts/test.sh waits for its set-up first).
test-fuzz: build-fuzz
	@sh scripts/fuzz.sh $(B)/fuzz $(FUZZ_SECONDS)

# make fuzz FUZZ_SECONDS=3600: the same targets for as long as asked.
fuzz: test-fuzz

test-win64:
	@$(CONFIGURE_WIN64) >/dev/null
	@cmake --build $(B)/win64 -j $(JOBS)
	@# A Wine process now and then dies in the Linux loader while it exits
	@# ("Inconsistency detected by ld.so: dl-fini.c"), after its tests have
	@# passed: such a case gets one more run.
	@sh scripts/ctest.sh $(B)/win64 -j $(WINE_JOBS) --repeat until-pass:2

build-win32:
	@$(CONFIGURE_WIN32) >/dev/null
	@cmake --build $(B)/win32 -j $(JOBS)

# The 32-bit Windows build, the product, run: every test program and
# Metrova.exe end to end on the 32-bit Wine of the chroot, where qemu
# emulates each 32-bit process; and its exported tempo bytes of generated
# take sets compared with the 64-bit Windows build's and the native build's.
# A user other than root needs sudo (the chroot and its mounts).
w32-setup:
	@mkdir -p $(B)
	@W32ROOT=$(W32ROOT) bash scripts/w32-setup.sh $(B)

test-win32: w32-setup crossbytes-win64
	@$(CONFIGURE_WIN32) -DMETROVA_W32_ROOT=$(W32ROOT) \
	    "-DMETROVA_CROSSBYTES_REFERENCES=$(ABS_B)/win64/crossbytes.bin;$(ABS_B)/native/crossbytes.bin" >/dev/null
	@cmake --build $(B)/win32 -j $(JOBS)
	@sh scripts/ctest.sh $(B)/win32 -j $(WINE_JOBS) --repeat until-pass:2
	@cat $(B)/win32/crossbytes.txt

# The same take sets exported by the native and the 64-bit Windows build:
# the files the 32-bit build is compared with. The 64-bit file must already
# equal the native one.
crossbytes-native:
	@$(CONFIGURE_NATIVE) >/dev/null
	@cmake --build $(B)/native -j $(JOBS) --target crossbytes
	@$(B)/native/tests/crossbytes/crossbytes $(B)/native/crossbytes.bin >/dev/null

crossbytes-win64: crossbytes-native
	@$(CONFIGURE_WIN64) >/dev/null
	@cmake --build $(B)/win64 -j $(JOBS) --target crossbytes wine_prefix
	@$(B)/win64/wine-run.sh $(B)/win64/tests/crossbytes/crossbytes.exe \
	    $(ABS_B)/win64/crossbytes.bin $(ABS_B)/native/crossbytes.bin >$(B)/win64/crossbytes.txt 2>&1 || \
	    { cat $(B)/win64/crossbytes.txt; exit 1; }

# Benchmarks, native Release build; not part of `make test`.
bench: setup
	@$(CONFIGURE) -B $(B)/bench -DCMAKE_BUILD_TYPE=Release -DMETROVA_TESTS=OFF -DMETROVA_BENCH=ON >/dev/null
	@cmake --build $(B)/bench -j $(JOBS)
	@$(B)/bench/bench/tempo_bench $(BENCH_ARGS)
	@$(B)/bench/bench/analysis_bench $(BENCH_ARGS)
	@$(B)/bench/bench/audio_bench $(BENCH_ARGS)
	@$(B)/bench/bench/graph_bench $(BENCH_ARGS)
	@# The tap analysis' quality on generated takes: a table and its goals
	@# (a goal not met is reported, not a failure of the target).
	-@$(B)/bench/bench/analysis_quality
	-@$(B)/bench/bench/snap_quality
	@sh scripts/setup.sh bench
	-@$(B)/bench/bench/snap_quality --rendered

# Our SMF parse, write and import against peer MIDI libraries and two
# floors, with ratios; not part of `make test` (about 8 minutes).
bench-peers: setup
	@bash scripts/bench-peers.sh

run: setup
	@$(CONFIGURE_WIN64) >/dev/null
	@cmake --build $(B)/win64 -j $(JOBS) --target Metrova
	@sh scripts/run-metrova.sh $(B)/win64

# Release packages build/dist/Metrova-<version>-win32.zip and -win64.zip.
package: setup
	@sh scripts/package.sh

# Leaves the chroot of the 32-bit Wine alone: see clean-w32.
clean:
	rm -rf $(B)

# Removes the chroot of the 32-bit Wine: unmounts everything below it first
# and removes nothing while anything is still mounted there.
clean-w32:
	@W32ROOT=$(W32ROOT) bash scripts/w32-teardown.sh
