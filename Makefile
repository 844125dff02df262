# The two set-up commands: `make run` and `make test`. Both install what is missing first.
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?=
BUILD_TYPE ?= RelWithDebInfo
# CI builds from scratch on small machines: warnings as errors, and a build type that
# optimises lightly and leaves out debug information, which halves the compile time.
# It runs the tests under AddressSanitizer and UndefinedBehaviorSanitizer, so that a
# use-after-free or an overflow anywhere in a test fails the run.
ifdef CI
CMAKE_FLAGS += -DKV_WERROR=ON -DKV_SANITIZE=ON
BUILD_TYPE = CI
endif

# The emulated RDX-700 reader, with a card that keeps what was written to it.
RUN_CARD ?= $(CURDIR)/$(BUILD)/emulated-card.img

.PHONY: all deps configure build run test clean fuzz

all: build

deps:
	@scripts/install-deps --if-missing

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
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
