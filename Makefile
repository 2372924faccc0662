# The two commands of README.md: `make run` and `make test`. Both set the machine up first.
.PHONY: run test setup build fuzz-build test-fuzz test-asan bench format

run: build
	./build/tessel-wave types examples/values.txt

test: build test-fuzz
	ctest --preset dev

setup:
	./scripts/setup

build: setup
	cmake --preset dev >/dev/null
	cmake --build --preset dev

# Short libFuzzer runs of every fuzz target (clang build in build-fuzz/).
test-fuzz: setup
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	ctest --preset fuzz

# The whole suite under address and undefined-behaviour sanitizers (build-asan/).
test-asan: setup
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

bench: setup
	cmake --preset release >/dev/null
	cmake --build --preset release
	./build-release/bench/storage_bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
