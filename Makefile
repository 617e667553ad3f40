# The two commands of the README. Both install what the project needs first.
BUILD ?= build
JOBS ?= $(shell nproc)

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30

.PHONY: deps build demo test fuzz fuzz-run clean

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	scripts/demo $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# libFuzzer targets, built with clang in a tree of their own.
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DKELPU_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_json fuzz_tar fuzz_firmware_package

# Each target for FUZZ_SECONDS from its seed corpus.
fuzz-run: fuzz
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
