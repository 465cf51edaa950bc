# The two commands of the README. Each installs what is missing first.
PRESETS ?= default asan tsan

.PHONY: run test bench build deps format

deps:
	scripts/install-deps.sh build

build: deps
	cmake --preset default
	cmake --build --preset default

run: build
	scripts/run.sh

test:
	scripts/test-all.sh $(PRESETS)

bench:
	scripts/install-deps.sh build bench
	scripts/bench.sh

format:
	find net websocket json engine bridge app tests bench fuzz -name '*.h' -o -name '*.cpp' | xargs clang-format -i
