# Two entry points: `make example` builds and runs the main example, `make test` builds
# and runs every test. Both configure a Release build in ./build on first use.
BUILD ?= build
PYTHON ?= python3
CMAKE_FLAGS ?=

.PHONY: all build example test sanitize fuzz clean

all: build

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) -DPython3_EXECUTABLE=$$(command -v $(PYTHON))

build: $(BUILD)/build.ninja
	cmake --build $(BUILD)

example: build
	PYTHONPATH=$(BUILD)/python $(PYTHON) examples/bell_pair.py

test: build
	ctest --test-dir $(BUILD) --output-on-failure

# Everything again under AddressSanitizer and UndefinedBehaviorSanitizer; any report fails.
sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DKORVANE_SANITIZE=ON -DKORVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo"

# The differential fuzzer (clang's libFuzzer) on the checked-in corpus, for FUZZ_SECONDS.
FUZZ_SECONDS ?= 60
fuzz:
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKORVANE_FUZZ=ON -DKORVANE_BUILD_BENCH=OFF -DKORVANE_FUZZ_SECONDS=$(FUZZ_SECONDS) \
	  -DPython3_EXECUTABLE=$$(command -v $(PYTHON))
	cmake --build build-fuzz --target fuzz_engine

clean:
	rm -rf build build-sanitize build-fuzz build-py*
