# The two commands of the README, plus installation and the Debian package.
# Both install what the project needs first.
BUILD ?= build
JOBS ?= $(shell nproc)
# make install: the kit goes to KITDIR, commands, manual pages and the menu
# entry below PREFIX; DESTDIR stages the whole tree elsewhere.
PREFIX ?= /usr/local
KITDIR ?= /opt/kelpkit
DESTDIR ?=

.PHONY: deps build demo test install package clean

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

clean:
	rm -rf $(BUILD)
