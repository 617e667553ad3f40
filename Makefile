# The two commands of the README, plus installation and the Debian package.
# Both install what the project needs first.
BUILD ?= build
JOBS ?= $(shell nproc)
# make install: the kit goes to KITDIR, commands, manual pages and the menu
# entry below PREFIX; DESTDIR stages the whole tree elsewhere.
PREFIX ?= /usr/local
KITDIR ?= /opt/kelpkit
DESTDIR ?=

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30

.PHONY: deps build demo test install package fuzz fuzz-run clean

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	scripts/demo $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

install: build
	cmake -S . -B $(BUILD) -DKELPKIT_KIT_DIR="$(KITDIR)"
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The package always holds the kit in /opt/kelpkit and the rest below /usr.
package: build
	cmake -S . -B $(BUILD) -DKELPKIT_KIT_DIR=/opt/kelpkit
	cd $(BUILD) && cpack -G DEB

# libFuzzer targets, built with clang in a tree of their own.
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DKELPU_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_json fuzz_tar fuzz_firmware_package fuzz_csv_import fuzz_convert_config

# Each target for FUZZ_SECONDS from its seed corpus.
fuzz-run: fuzz
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
