# The two commands of a fresh machine: `make test` and `make run`.
# Both install what is missing (scripts/install-deps), configure and build.
PRESET ?= default
JOBS ?= $(shell nproc)
TEST_JOBS ?= $(JOBS)
CTEST_ARGS ?=
CMAKE_ARGS ?=

.PHONY: deps configure build test run clean

deps:
	scripts/install-deps

configure: deps
	cmake --preset $(PRESET) $(CMAKE_ARGS)

build: configure
	cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	ctest --preset $(PRESET) -j $(TEST_JOBS) --no-tests=error $(CTEST_ARGS)

run: build
	build/bin/quorvellant $(ARGS)

clean:
	rm -rf build build-dev build-asan build-tsan build-ci build-ci-asan
