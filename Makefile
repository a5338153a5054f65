# Thin wrapper over CMake so that one command does everything on a fresh machine.
BUILD ?= build
JOBS ?= $(shell nproc)
# The pictures need numpy and matplotlib: Debian's interpreter has them (tools/install-deps).
PYTHON ?= $(firstword $(wildcard /usr/bin/python3) python3)

.PHONY: deps build example check clean

deps:
	tools/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# A real run: m = 2, k = 0, amplitude 1, nu from -20 to 20.
example: build
	mkdir -p out
	$(BUILD)/src/ltide/ltide out/example 2 0 1.0 -20 20 81 201 100 | tee out/example.txt
	@if $(PYTHON) -c 'import numpy, matplotlib' 2>/dev/null; then \
	  $(PYTHON) tools/ltide-plot out/example --m 2 --k 0 --n 100; \
	fi

check: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) out
