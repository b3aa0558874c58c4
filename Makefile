PYTHON ?= python3
PIP := $(PYTHON) -m pip
CORE_BUILD := build/core
ASAN_BUILD := build/asan
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: test demo deps core-test py-test install asan-test bench clean

# Install what the build and the tests need when it is missing.
deps:
	@$(PYTHON) -c "import numpy, pyarrow, pytest, scikit_build_core, cmake, ninja; assert int(numpy.__version__.split('.')[0]) >= 2" 2>/dev/null \
	  || $(PIP) install -q "numpy>=2" "pyarrow>=14" pytest "scikit-build-core>=0.9" cmake ninja
	@[ -f /usr/include/gtest/gtest.h ] || { $(SUDO) apt-get update -q && $(SUDO) apt-get install -y -q libgtest-dev; }

core-test: deps
	cmake -S . -B $(CORE_BUILD) -G Ninja -DTAMRIX_PYTHON=OFF -DTAMRIX_TESTS=ON
	cmake --build $(CORE_BUILD)
	ctest --test-dir $(CORE_BUILD) --output-on-failure

install: deps
	$(PIP) install -q --no-build-isolation .

py-test: install
	$(PYTHON) -m pytest -q tests

test: core-test py-test

demo: install
	$(PYTHON) examples/run_all.py

# Core tests, then the Python tests against a sanitized extension, under
# AddressSanitizer and UBSan (leak checks off: the interpreter keeps its own
# allocations; memory tests off: the sanitizer keeps freed memory in quarantine and aborts on allocations it cannot serve).
asan-test: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DTAMRIX_PYTHON=ON -DTAMRIX_TESTS=ON -DTAMRIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure
	LD_PRELOAD="$$(g++ -print-file-name=libasan.so) $$(g++ -print-file-name=libubsan.so)" \
	  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  PYTHONPATH=$(ASAN_BUILD) $(PYTHON) -m pytest -q tests -k "not grow_memory and not too_large"

bench: install
	$(PYTHON) bench/run_all.py

clean:
	rm -rf build
