# Ravlon: make run | make install | make test | make bench | make fuzz
# Each target installs what is missing first (scripts/install-deps).

JOBS      ?= $(shell nproc)
BUILD     ?= build
ASAN      ?= build-asan
TSAN      ?= build-tsan
BENCHDIR  ?= build-bench
FUZZDIR   ?= build-fuzz
FUZZ_TIME ?= 300
# WERROR=ON turns compiler warnings into errors (the CI run sets it).
WERROR    ?= OFF
CMAKE_GEN := -G Ninja

.PHONY: all deps build run install test test-main test-asan test-tsan test-fuzz bench fuzz clean \
	format format-check

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVLON_WERROR=$(WERROR) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-ravlon $(BUILD)

# The program, ravlon-analyze, the manual, the menu entry, the icon and the
# file type of recordings under PREFIX (default /usr/local; PREFIX=$$HOME/.local
# for one user), e.g. make install PREFIX=$$HOME/.local
PREFIX ?= /usr/local
install: build
	@cmake --install $(BUILD) --prefix "$(PREFIX)"

test: deps
	@$(MAKE) --no-print-directory test-main test-asan test-tsan test-fuzz

test-main: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

# The whole suite again under AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer; scripts/lsan.supp names the only leaks tolerated (inside system
# libraries, each with its reason). Two tests measure what the sanitizers
# change and run in test-main only: the peak-memory test (ASan keeps freed
# blocks in quarantine, so the resident size says nothing about the program)
# and the 20 s bit-exact PulseAudio loopback, which needs the client to keep
# real-time pace with the sound server (slowed down by the sanitizers it loses
# samples).
SAN_ENV := ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0
SAN_SKIP := RoomLongRun\.TenMinutes|PulseLoopback\.TwentySeconds

test-asan: deps
	@cmake -S . -B $(ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVLON_SANITIZE=ON -DRAVLON_WERROR=$(WERROR) >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@cd $(ASAN) && $(SAN_ENV) ctest --output-on-failure -j $(JOBS) --timeout 600 -E '$(SAN_SKIP)'

# The audio tests under ThreadSanitizer (the audio thread, the simulated
# room's clock thread and the UI thread meet there).
test-tsan: deps
	@scripts/run-tsan-audio $(TSAN)

# The fuzzers run briefly within make test; make fuzz runs each for FUZZ_TIME seconds.
test-fuzz: deps
	@scripts/run-fuzzers $(FUZZDIR) 30

fuzz: deps
	@scripts/run-fuzzers $(FUZZDIR) $(FUZZ_TIME)

bench: deps
	@cmake -S . -B $(BENCHDIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DRAVLON_BENCH=ON -DRAVLON_TESTS=OFF >/dev/null
	@cmake --build $(BENCHDIR) -j $(JOBS)
	@scripts/run-benchmarks $(BENCHDIR)

format:
	@find src tests bench fuzz tools -name '*.cpp' -o -name '*.h' | xargs -r clang-format -i

# Fails when a file is not formatted as .clang-format says.
format-check: deps
	@find src tests bench fuzz tools -name '*.cpp' -o -name '*.h' | xargs -r clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN) $(BENCHDIR) $(FUZZDIR)
