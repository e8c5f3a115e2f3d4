# Two entry points: `make example` builds and runs the main example, `make test` builds
# and runs every test. Both configure a Release build in ./build on first use.
BUILD ?= build
PYTHON ?= python3
CMAKE_FLAGS ?=

.PHONY: all deps build example test sanitize fuzz fuzz-long fuzz-build wheels test-wheels clean

all: build

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) -DPython3_EXECUTABLE=$$(command -v $(PYTHON))

# The Debian packages the build and the tests need (GoogleTest, Google Benchmark, the
# toolchain; the interpreter's headers when it has none): installed when missing if we are
# root, otherwise the exact command to run is printed.
deps:
	@tools/debian_packages.sh
	@$(PYTHON) -c 'import os, sys, sysconfig; sys.exit(not os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' \
	  || tools/debian_packages.sh python3-dev

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

example: build
	PYTHONPATH=$(BUILD)/python $(PYTHON) examples/bell_pair.py

test: build
	ctest --test-dir $(BUILD) --output-on-failure

# Everything again under AddressSanitizer and UndefinedBehaviorSanitizer; any report fails.
sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DKORVANE_SANITIZE=ON -DKORVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo"

# The fuzzers (clang's libFuzzer) on their checked-in corpora: the engine in every row
# layout against the literal engine for FUZZ_SECONDS, then against the state vector for
# ORACLE_FUZZ_SECONDS. `make fuzz-long` runs the first alone, for an hour unless told.
FUZZ_SECONDS ?= 60
ORACLE_FUZZ_SECONDS ?= 20
fuzz: fuzz-build
	cmake --build build-fuzz --target fuzz_differential
	cmake --build build-fuzz --target fuzz_engine

fuzz-long: FUZZ_SECONDS = 3600
fuzz-long: fuzz-build
	cmake --build build-fuzz --target fuzz_differential

fuzz-build:
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKORVANE_FUZZ=ON -DKORVANE_BUILD_BENCH=OFF -DKORVANE_FUZZ_SECONDS=$(FUZZ_SECONDS) \
	  -DKORVANE_ORACLE_FUZZ_SECONDS=$(ORACLE_FUZZ_SECONDS) -DPython3_EXECUTABLE=$$(command -v $(PYTHON))

# The source archive and the manylinux_2_28 wheels (x86_64 and aarch64 x CPython
# 3.11-3.15) into dist/, cross-built with Zig; `make test-wheels` installs and tests each.
wheels:
	tools/wheels/build.sh

test-wheels:
	tests/wheels/run.sh

clean:
	rm -rf build build-sanitize build-fuzz build-py* build-wheels
