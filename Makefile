# The two set-up commands: `make run` and `make test`. Both install what is missing first.
# `make run` builds only what the program needs (the target `program_files`) and starts it;
# `make test` builds everything else too and runs the tests.
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?=
BUILD_TYPE ?= RelWithDebInfo
# CI builds from scratch on small machines, with warnings as errors, and runs the tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, so that a use-after-free or an
# overflow anywhere in a test fails the run. Its compiler flags (build type CI,
# cmake/build_type.cmake) were chosen by measurement: CPU seconds (user + sys) of the whole
# build and of the whole test run, a fresh build folder each, no compiler cache, on two
# pinned cores (taskset, -j 2) of a busy shared machine, with make as the generator:
#     flags        build    tests    total
#     -O1, no -g   3,305      701    4,006
#     -O0, no -g   2,850      908    3,758
# -O0 compiles 14 % cheaper and its tests cost 30 % more; it costs least in all, so CI uses
# it. Ninja spares a further ~90 CPU seconds that make spends on checking every target.
# Both settings are given either way, so that one build folder can change between them.
ifdef CI
CMAKE_FLAGS += -DKV_WERROR=ON -DKV_SANITIZE=ON
BUILD_TYPE = CI
else
CMAKE_FLAGS += -DKV_WERROR=OFF -DKV_SANITIZE=OFF
endif
# A compiler cache makes rebuilds quick where one is installed; nothing depends on it.
ifneq ($(shell command -v ccache 2>/dev/null),)
LAUNCHER = -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
endif
CMAKE_FLAGS += $(LAUNCHER)

# The emulated RDX-700 reader, with a card that keeps what was written to it.
RUN_CARD ?= $(CURDIR)/$(BUILD)/emulated-card.img

CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)
CONFIGURED = $(BUILD)/configured-with
# Ninja, because it finds an up-to-date tree up to date in a fraction of a second, where
# make's pass through every target took tens of seconds before each `make run`. A build
# folder keeps the generator it was first configured with.
GENERATOR = -G Ninja

.PHONY: all deps configure build run test clean fuzz tsan

all: build

deps:
	@scripts/install-deps --if-missing

# The first configure shows its whole output. Later ones run only when the settings change
# (the build itself configures again when a CMakeLists.txt changes), and show their output
# only when they fail.
configure: deps
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then \
	  $(CONFIGURE) $(GENERATOR) && echo '$(CONFIGURE)' > $(CONFIGURED); \
	elif [ "$$(cat $(CONFIGURED) 2>/dev/null)" != '$(CONFIGURE)' ]; then \
	  echo "Configuring $(BUILD) with new settings"; \
	  $(CONFIGURE) > $(BUILD)/configure.log 2>&1 || { cat $(BUILD)/configure.log; exit 1; }; \
	  echo '$(CONFIGURE)' > $(CONFIGURED); \
	fi

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target program_files
	RDX_EMULATOR_CARD="$(RUN_CARD)" $(BUILD)/bin/KV_M58S

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)

# Every fuzz harness, built with clang's libFuzzer, AddressSanitizer and UBSan in a build
# folder of its own, run for FUZZ_SECONDS each. Findings land in $(FUZZ_BUILD)/findings.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SANITIZE = -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -gline-tables-only

fuzz:
	@scripts/install-deps --if-missing --fuzz
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=CI \
	  -DKV_FUZZ=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF \
	  -DCMAKE_C_FLAGS="$(FUZZ_SANITIZE)" -DCMAKE_CXX_FLAGS="$(FUZZ_SANITIZE)" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
	  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	@fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The tests whose threads meet in the driver, the kernel host, the buses and the device
# stack, built with ThreadSanitizer in a build folder of its own and run; any report ends
# the run. CI runs it after the tests. What is known and not ours is in tests/support/tsan.supp.
# Its cost from an empty build folder, no compiler cache, two pinned cores (taskset, -j 2)
# of a busy shared machine: building 365 CPU seconds (user + sys; 308 s wall), running
# 8 CPU seconds (19 s wall: the tests mostly wait on one another's threads).
TSAN_BUILD ?= build-tsan
TSAN_TESTS  = test_kernel test_usb test_devices test_driver test_control_stack
TSAN_FLAGS  = -fsanitize=thread -fno-omit-frame-pointer -g1
TSAN_RUN    = TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/support/tsan.supp"

tsan:
	@scripts/install-deps --if-missing
	@cmake -S . -B $(TSAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=CI -DKV_WERROR=OFF -DKV_SANITIZE=OFF \
	  -DKV_BUILD_BENCH=OFF -DCMAKE_C_FLAGS="$(TSAN_FLAGS)" -DCMAKE_CXX_FLAGS="$(TSAN_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
	  $(LAUNCHER) >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS)
	@for t in $(TSAN_TESTS); do echo "tsan: $$t"; \
	  $(TSAN_RUN) QT_QPA_PLATFORM=offscreen $(TSAN_BUILD)/tests/$$t --gtest_brief=1 || exit 1; done
