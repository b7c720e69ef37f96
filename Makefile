# Quick start: `make test` and `make demo` set everything up on a fresh machine.
VENV      := .venv
PY        := $(VENV)/bin/python
DEPS_STAMP := $(VENV)/.deps-installed
APT_STAMP := build/.apt-checked
# ISA-L inflates gzip input; ncompress makes the .Z files of the tests.
APT_PACKAGES := libeigen3-dev libisal-dev pkg-config ncompress
# The tests load the HTML reports in headless Chromium (only `make test` needs it); the
# DejaVu fonts give its screenshots text without recommended packages.
BROWSER_STAMP := build/.browser-checked
BROWSER_PACKAGES := chromium fonts-dejavu-core
SOURCES   := $(shell find src -name '*.cpp' -o -name '*.hpp') CMakeLists.txt pyproject.toml $(shell find python -name '*.py' -o -name '*.j2' -o -name '*.css' 2>/dev/null) $(wildcard stubs/*)
BUILD_STAMP := $(VENV)/.skyrift-built

.PHONY: all build test cpp-tests demo bench bench-peers sanitize fuzz fuzz-build fuzz-smoke clean

all: build

$(APT_STAMP):
	@mkdir -p build
	@if ! dpkg -s $(APT_PACKAGES) >/dev/null 2>&1; then \
	  echo "Installing $(APT_PACKAGES)"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && $$SUDO apt-get install -y -qq $(APT_PACKAGES); \
	fi
	@touch $@

$(BROWSER_STAMP):
	@mkdir -p build
	@if ! dpkg -s $(BROWSER_PACKAGES) >/dev/null 2>&1; then \
	  echo "Installing $(BROWSER_PACKAGES)"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && $$SUDO apt-get install -y -qq --no-install-recommends $(BROWSER_PACKAGES); \
	fi
	@touch $@

$(PY):
	python3 -m venv $(VENV)

$(DEPS_STAMP): requirements-dev.txt | $(PY)
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q -r requirements-dev.txt
	@touch $@

$(BUILD_STAMP): $(APT_STAMP) $(DEPS_STAMP) $(SOURCES)
	$(PY) -m pip install -q --no-build-isolation --no-deps .
	@touch $@

build: $(BUILD_STAMP)

cpp-tests: $(APT_STAMP) $(DEPS_STAMP)
	$(VENV)/bin/cmake -S . -B build/cpp-tests -G Ninja -DSKYRIFT_CPP_TESTS=ON -DCMAKE_MAKE_PROGRAM=$(CURDIR)/$(VENV)/bin/ninja >/dev/null
	$(VENV)/bin/cmake --build build/cpp-tests
	cd build/cpp-tests && ../../$(VENV)/bin/ctest --output-on-failure

test: build cpp-tests $(BROWSER_STAMP)
	$(PY) -m pytest -q

# matplotlib for the demo's figures comes with requirements-dev.txt
demo: build
	$(VENV)/bin/skyrift-mp demo

# Peer tools for the benchmarks live in their own venv, never in the project's deps.
PEERS_STAMP := bench/.venv-peers/.installed
$(PEERS_STAMP): bench/peers.txt
	python3 -m venv bench/.venv-peers
	bench/.venv-peers/bin/pip install -q -r bench/peers.txt
	@touch $@

bench-peers: $(PEERS_STAMP)

# Prints the figures quoted in the issues: reader, orbits, multipath, quality control, SNR.
bench: build bench-peers
	$(PY) bench/performance_table.py
	$(PY) bench/read_obs.py
	$(PY) bench/orbits.py
	$(PY) bench/multipath.py
	$(PY) bench/quality.py
	$(PY) bench/snr.py
	$(PY) bench/reflector_heights.py
	$(PY) bench/batch.py
	$(PY) bench/cli_figures.py
	$(PY) bench/crinex_crosscheck.py

# The C++ tests and the Python suite against a module built with ASan and UBSan (a
# build tree, not an installed package: the stub files are not beside it).
SAN_DIR := build/sanitize
sanitize: $(APT_STAMP) $(DEPS_STAMP)
	$(VENV)/bin/cmake -S . -B $(SAN_DIR) -G Ninja -DCMAKE_MAKE_PROGRAM=$(CURDIR)/$(VENV)/bin/ninja \
	  -DSKYRIFT_SANITIZE=ON -DSKYRIFT_CPP_TESTS=ON -DSKYRIFT_PYTHON=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPython_EXECUTABLE=$(CURDIR)/$(PY) -Dpybind11_DIR=$$($(PY) -m pybind11 --cmakedir) >/dev/null
	$(VENV)/bin/cmake --build $(SAN_DIR)
	cd $(SAN_DIR) && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ../../$(VENV)/bin/ctest --output-on-failure
	PYTHONPATH=$(SAN_DIR) LD_PRELOAD=$$(g++ -print-file-name=libasan.so):$$(g++ -print-file-name=libubsan.so) \
	  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  $(PY) -m pytest -q -p no:cacheprovider tests --ignore=tests/cli \
	  --deselect tests/test_type_stubs.py::test_stubs_are_installed_beside_the_module

# libFuzzer targets (fuzz/fuzz_*.cpp) with ASan and UBSan, built by clang in their own
# tree; seed corpora are cut from ../shared/data. `make fuzz` builds them,
# `FUZZ_SECONDS=N make fuzz` also runs each for N seconds (one after the other),
# `make fuzz-smoke` runs each for 30 s (or FUZZ_SECONDS) and fails on any finding.
FUZZ_DIR := build/fuzz
CLANG_STAMP := build/.clang-checked
$(CLANG_STAMP):
	@mkdir -p build
	@if ! command -v clang++ >/dev/null 2>&1 || ! dpkg -s libclang-rt-14-dev >/dev/null 2>&1; then \
	  echo "Installing clang and libclang-rt-14-dev"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && $$SUDO apt-get install -y -qq clang libclang-rt-14-dev; \
	fi
	@touch $@

fuzz-build: $(APT_STAMP) $(DEPS_STAMP) $(CLANG_STAMP)
	$(VENV)/bin/cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_MAKE_PROGRAM=$(CURDIR)/$(VENV)/bin/ninja \
	  -DCMAKE_CXX_COMPILER=clang++ -DSKYRIFT_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	$(VENV)/bin/cmake --build $(FUZZ_DIR)
	$(PY) fuzz/make_corpus.py $(FUZZ_DIR)/corpus

fuzz: fuzz-build
	@if [ -n "$(FUZZ_SECONDS)" ]; then $(PY) fuzz/run_targets.py $(FUZZ_DIR) $(FUZZ_SECONDS); \
	else echo "fuzz targets built in $(FUZZ_DIR); FUZZ_SECONDS=N make fuzz runs each for N seconds"; fi

fuzz-smoke: fuzz-build
	$(PY) fuzz/run_targets.py $(FUZZ_DIR) $(or $(FUZZ_SECONDS),30)

clean:
	rm -rf build $(VENV)
