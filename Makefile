# The entry points: `make demo` (the first result), `make install`, `make package`, `make test` (what CI runs).
#
# demo, install and package use the release tree (build/release: no tests, no
# benchmarks) and only the packages building and running norvex needs; the
# tests' packages come with `make test`.
.PHONY: deps-build deps-test deps-bench release demo demo-forkyard install uninstall package \
        configure build test test-default test-asan test-package fuzz-smoke \
        bench bench-pyast bench-scan bench-screenshot bench-astprobe bench-crewhall clean

JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

deps-build:
	bash scripts/install-deps.sh build

deps-test:
	bash scripts/install-deps.sh build test

deps-bench:
	bash scripts/install-deps.sh build bench

release: deps-build
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

# The main job: the analysis tool, end to end, on an example file. Builds only
# the program and what it runs.
demo: deps-build
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target norvex
	./build/release/bin/norvex analyze examples/inventory.py

# Stripped programs and libraries under PREFIX; `make uninstall` removes exactly those.
install: release
	bash scripts/install.sh build/release "$(PREFIX)"

uninstall:
	bash scripts/uninstall.sh build/release/install-record.txt

# build/release/package/norvex_<version>_amd64.deb
package: release
	cd build/release && cpack -G DEB

# The default tree, with the tests (RelWithDebInfo).
configure: deps-test
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS)

test-default: build
	ctest --preset default

test-asan: deps-test
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

# The Debian package as a user gets it: lintian, then run from an unpacked root.
test-package: deps-test package
	bash tests/package/check_deb.sh build/release/package

# A short libFuzzer run of every target (fuzz/); longer runs by hand.
fuzz-smoke: deps-test
	bash fuzz/run-smoke.sh 30

test: test-default test-asan test-package fuzz-smoke

# A tour of the worker manager with an example worker program.
demo-forkyard: build
	./build/default/bin/forkyard_demo

# Benchmarks build in the default tree with NORVEX_BUILD_BENCH switched on.
bench-build: deps-bench configure
	cmake --preset default -DNORVEX_BUILD_BENCH=ON
	cmake --build --preset default -j $(JOBS)

bench: bench-build
	bash bench/run.sh

bench-pyast: bench-build
	bash bench/run_pyast.sh

bench-astprobe: bench-build
	bash bench/run_astprobe.sh

bench-crewhall: bench-build
	bash bench/run_crewhall.sh

# `norvex scan` over the system's Python library, --jobs 2.
bench-scan: bench-build
	bash bench/run_scan.sh

# The computer-use executor's screenshot action on a busy Xvfb, against Pillow.
bench-screenshot: bench-build
	bash bench/run_screenshot.sh

clean:
	rm -rf build
