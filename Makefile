# Quick start: `make run` and `make test`. Both install what is missing first.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build test run bench clean format

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

test: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)
	ctest --preset default
	cmake --preset asan-ubsan
	cmake --build --preset asan-ubsan -j $(JOBS)
	ctest --preset asan-ubsan

run: build
	build/default/src/vantor

bench: build
	build/default/bench/reflection_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build out
