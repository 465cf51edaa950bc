# The README's commands. Each installs what is missing first.
PRESETS ?= default asan tsan
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: run test bench build deps format package install

deps:
	scripts/install-deps.sh build

# Configured once; after that the build itself re-runs CMake when a CMake file changes.
build/default/build.ninja: | deps
	cmake --preset default

build: build/default/build.ninja
	cmake --build --preset default

# Builds the two programs only, not the tests.
run: build/default/build.ninja
	cmake --build --preset default --target tessiva tessiva-sensor
	scripts/run.sh

# build/default/tessiva_<version>_amd64.deb
package: build/default/build.ninja
	scripts/install-deps.sh package
	cmake --build --preset default --target tessiva tessiva-sensor tessiva-match
	cd build/default && cpack -G DEB

# The package's files under $(DESTDIR)$(PREFIX); the autostart entry under $(DESTDIR)/etc/xdg.
install: build/default/build.ninja
	cmake --build --preset default --target tessiva tessiva-sensor tessiva-match
	DESTDIR="$(DESTDIR)" cmake --install build/default --prefix "$(PREFIX)" --strip

test:
	scripts/test-all.sh $(PRESETS)

bench:
	scripts/install-deps.sh build bench
	scripts/bench.sh

format:
	find net websocket json command engine bridge app tests bench fuzz -name '*.h' -o -name '*.cpp' | xargs clang-format -i
