# Thin wrapper over CMake so that one command does everything on a fresh machine.
# pipefail: a failing ltide in `ltide ... | tee` must fail the target.
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c
BUILD ?= build
JOBS ?= $(shell nproc)
# The pictures need numpy and matplotlib: Debian's interpreter has them (tools/install-deps).
# CMake chooses the same one for the Python package (LTIDE_PYTHON3).
PYTHON ?= $(firstword $(wildcard /usr/bin/python3) python3)

.PHONY: deps build example check check-sanitize check-cross fuzz bench clean

# Each target installs only the Debian packages it needs, and only when one is missing
# (tools/install-deps; without root it prints the apt-get line to run and stops).
deps:
	tools/install-deps check

# The program and libraries (and, for check, the tests; benchmarks only with make bench).
CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DLTIDE_BUILD_BENCH=OFF -DLTIDE_PYTHON3=$(PYTHON)

build:
	tools/install-deps build
	$(CONFIGURE) -DLTIDE_BUILD_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target ltide

# A real run: m = 2, k = 0, amplitude 1, nu from -20 to 20.
example:
	tools/install-deps example
	$(CONFIGURE) -DLTIDE_BUILD_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target ltide ltide_python
	mkdir -p out
	$(BUILD)/src/ltide/ltide out/example 2 0 1.0 -20 20 81 201 100 | tee out/example.txt
	@if $(PYTHON) -c 'import numpy, matplotlib' 2>/dev/null; then \
	  PYTHONPATH=$(BUILD)/python $(PYTHON) -m ltide.plot out/example --m 2 --k 0 --n 100; \
	  if [ -n "$$(ls $(BUILD)/python/ltide/_ltide*.so 2>/dev/null)" ]; then \
	    PYTHONPATH=$(BUILD)/python $(PYTHON) examples/eigenvalues.py out/example-modes.png; \
	  fi; \
	fi

check:
	tools/install-deps check
	$(CONFIGURE) -DLTIDE_BUILD_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The whole test suite again with AddressSanitizer and UndefinedBehaviorSanitizer. A
# sanitizer report ends its process with status 86 (or a signal), never with 1, so that
# it cannot pass for one of the program's own fatal stops. Huge allocations return
# null (std::bad_alloc) as they would without the sanitizer.
SANITIZE_BUILD ?= build-sanitize
SANITIZE_ENV = ASAN_OPTIONS=exitcode=86:allocator_may_return_null=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=exitcode=86:print_stacktrace=1:halt_on_error=1

check-sanitize:
	tools/install-deps sanitize
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLTIDE_SANITIZE=ON -DLTIDE_BUILD_BENCH=OFF
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	$(SANITIZE_ENV) ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS)

# libFuzzer targets (clang), each run for FUZZ_SECONDS from its committed seed corpus.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	tools/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLTIDE_FUZZ=ON \
		-DLTIDE_BUILD_TESTS=OFF -DLTIDE_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	fuzz/run-all $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Performance measurements against the column-pair loop, LAPACK and the previous driver,
# as docs/performance.md reports them (about 15 minutes; QUICK=1 for a rough look).
bench:
	tools/install-deps bench
	bench/run.sh

# The libraries compiled (not linked) for 64-bit ARM with Debian's cross compiler.
CROSS_BUILD ?= build-aarch64
check-cross:
	tools/install-deps cross
	cmake -S . -B $(CROSS_BUILD) --toolchain cmake/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release \
		-DLTIDE_LIBRARIES_ONLY=ON
	cmake --build $(CROSS_BUILD) -j $(JOBS) --target ltide_libraries

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(CROSS_BUILD) out
