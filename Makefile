# Two entry points: `make example` builds and runs the main example, `make test` builds
# and runs every test. Both configure a Release build in ./build on first use.
BUILD ?= build
PYTHON ?= python3
CMAKE_FLAGS ?=

.PHONY: all build example test sanitize clean

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

clean:
	rm -rf build build-sanitize
