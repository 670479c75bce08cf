# The two entry points: `make demo` (the main job) and `make test` (what CI runs).
.PHONY: deps configure build test test-default test-asan fuzz-smoke demo demo-forkyard bench bench-pyast bench-scan bench-screenshot bench-astprobe bench-crewhall install clean

JOBS ?= $(shell nproc)

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS)

test-default: build
	ctest --preset default

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

# A short libFuzzer run of every target (fuzz/); longer runs by hand.
fuzz-smoke: deps
	bash fuzz/run-smoke.sh 30

test: test-default test-asan fuzz-smoke

# The main job: the analysis tool, end to end, on an example file.
demo: build
	./build/default/bin/norvex analyze examples/inventory.py

# A tour of the worker manager with an example worker program.
demo-forkyard: build
	./build/default/bin/forkyard_demo

bench: build
	bash bench/run.sh

bench-pyast: build
	bash bench/run_pyast.sh

bench-astprobe: build
	bash bench/run_astprobe.sh

bench-crewhall: build
	bash bench/run_crewhall.sh

# `norvex scan` over the system's Python library, --jobs 2.
bench-scan: build
	bash bench/run_scan.sh

# The computer-use executor's screenshot action on a busy Xvfb, against Pillow.
bench-screenshot: build
	bash bench/run_screenshot.sh

install: build
	cmake --install build/default --prefix $(or $(PREFIX),$(CURDIR)/build/install)

clean:
	rm -rf build
