# Set-up and everyday commands. Every target installs what it needs, so a fresh
# Debian 12 machine needs nothing but `make demo` or `make test`.

PYTHON      ?= python3
VENV        := .venv
VPY         := $(VENV)/bin/python
BUILD_DIR   := build/py
SUDO        := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS        ?= $(shell nproc)

SYSTEM_PACKAGES := g++ make git python3-venv zlib1g-dev libzstd-dev libgtest-dev libfast-float-dev libcoordgen-dev rapidjson-dev libinchi-dev gemmi-dev tao-pegtl-dev gzip
FUZZ_PACKAGES   := clang libclang-rt-14-dev
PY_BUILD_DEPS   := "scikit-build-core>=0.10" "swig>=4.3" "cmake>=3.26" ninja
# RDKit and Open Babel are the independent readers the oracle tests compare with.
PY_TEST_DEPS    := pytest numpy pandas rdkit openbabel-wheel gemmi "dask[bag,dataframe]" "distributed>=2026.1"
# Real files only (about 115 PDB files among them); the library they test is
# not needed, hence no dependencies.
PY_TEST_DATA    := MDAnalysisTests
# Type checking of the examples against the stubs, and the documentation site.
PY_DOC_DEPS     := mypy pandas-stubs sphinx myst-parser
PY_COV_DEPS     := gcovr
COV_DIR         := build/coverage
# Unoptimised so that lines and branches map one to one onto the source;
# atomic counters, because the thread tests would otherwise race on them and
# leave counts gcov cannot read.
COV_FLAGS       := --coverage -O0 -fprofile-update=atomic

export CMAKE_BUILD_PARALLEL_LEVEL := $(JOBS)

.PHONY: demo test test-cpp test-python typecheck test-types docs docs-build test-asan test-tsan stress coverage install system-deps venv bench bench-compare fuzz fuzz-long fuzz-build clean

demo: install
	$(VPY) -m nimbrel.velk formats
	mkdir -p build/demo
	$(VPY) -m nimbrel.velk info examples/caffeine.xyz
	$(VPY) -m nimbrel.velk convert examples/caffeine.xyz build/demo/caffeine.xyz.gz
	$(VPY) -m nimbrel.velk info build/demo/caffeine.xyz.gz

test: install
	$(MAKE) test-cpp test-python test-types docs-build

test-cpp:
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

test-python:
	$(VPY) -m pytest -q tests/python

# The examples under mypy's strict mode, which reads the package's stubs, and
# stubtest, which holds those stubs to what the built modules really offer.
typecheck: install
	$(MAKE) test-types

test-types:
	$(VPY) -m mypy --strict examples
	$(VPY) -m mypy.stubtest --mypy-config-file pyproject.toml --allowlist python/stubtest-allowlist.txt \
	  nimbrel.tamrin nimbrel.velgar nimbrel.velk nimbrel.searchdb nimbrel.search

# The documentation site, from the installed package, into build/docs; any
# warning fails the build.
docs: install
	$(MAKE) docs-build

docs-build:
	$(VPY) -m sphinx -E -W --keep-going -q -b html docs build/docs

# Builds the extension modules (and the C++ tests) into a persistent build
# folder, so a small change rebuilds only what it touches.
install: system-deps venv
	$(VPY) -m pip install --no-build-isolation --no-deps -q \
	  -Cbuild-dir=$(BUILD_DIR) -Ccmake.define.NIMBREL_TESTS=ON .

system-deps:
	@missing=$$(for p in $(SYSTEM_PACKAGES) $(EXTRA_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing system packages:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

venv: $(VENV)/.deps-stamp

$(VENV)/.deps-stamp: Makefile
	test -x $(VPY) || $(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q $(PY_BUILD_DEPS) $(PY_TEST_DEPS) $(PY_DOC_DEPS)
	$(VPY) -m pip install -q --no-deps $(PY_TEST_DATA)
	touch $@

# C++ tests under AddressSanitizer, LeakSanitizer and UBSan, in a build of their own.
test-asan: system-deps venv
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH cmake -S . -B build/asan -G Ninja \
	  -DCMAKE_BUILD_TYPE=Debug -DNIMBREL_SANITIZE=ON -DNIMBREL_TESTS=ON -DNIMBREL_PYTHON=OFF
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH cmake --build build/asan
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j $(JOBS)

# C++ tests under ThreadSanitizer, in a build of their own (optimised, since
# TSan slows code down several times). halt_on_error turns any report into a
# failing test. The suppressions cover uninstrumented third-party code only.
TSAN_OPTIONS_ALL := halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp
# How long `make stress` runs the many-thread test, in seconds.
STRESS_SECONDS ?= 60

tsan-build: system-deps venv
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH cmake -S . -B build/tsan -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBREL_SANITIZE=thread -DNIMBREL_TESTS=ON -DNIMBREL_PYTHON=OFF
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH cmake --build build/tsan

test-tsan: tsan-build
	TSAN_OPTIONS="$(TSAN_OPTIONS_ALL)" ctest --test-dir build/tsan --output-on-failure -j $(JOBS)

# The many-thread conversion and registry test alone, for STRESS_SECONDS.
stress: tsan-build
	NIMBREL_STRESS_SECONDS=$(STRESS_SECONDS) TSAN_OPTIONS="$(TSAN_OPTIONS_ALL)" \
	  build/tsan/tests/cpp/test_velk --gtest_filter='Threads*'

# The Python package under AddressSanitizer and UBSan, built into a folder and
# a virtual environment of its own, and the Python suite run on it. The
# interpreter is not instrumented, so the sanitizer runtimes are preloaded;
# Python objects come from malloc so that the sanitizer sees them too; leaks
# are not reported, since CPython keeps much of its memory until exit.
ASAN_PY_DIR := build/asan-py
ASAN_PY     := $(ASAN_PY_DIR)/venv/bin/python

.PHONY: test-asan-python tsan-build
test-asan-python: system-deps $(ASAN_PY_DIR)/.deps-stamp
	$(ASAN_PY) -m pip install --no-build-isolation --no-deps -q -Cbuild-dir=$(ASAN_PY_DIR)/build \
	  -Ccmake.build-type=Debug -Ccmake.define.NIMBREL_SANITIZE=ON .
	LD_PRELOAD="$$(gcc -print-file-name=libasan.so) $$(gcc -print-file-name=libubsan.so)" \
	  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 PYTHONMALLOC=malloc \
	  $(ASAN_PY) -m pytest -q tests/python

$(ASAN_PY_DIR)/.deps-stamp: Makefile
	test -x $(ASAN_PY) || $(PYTHON) -m venv $(ASAN_PY_DIR)/venv
	$(ASAN_PY) -m pip install -q $(PY_BUILD_DEPS) $(PY_TEST_DEPS)
	$(ASAN_PY) -m pip install -q --no-deps $(PY_TEST_DATA)
	touch $@

# Line and branch coverage of src/ by the whole suite (ctest and pytest), from an
# instrumented build of its own: the extension goes into $(COV_DIR)/site, which
# the Python suite imports ahead of the package in .venv. Counted: src/ only, so
# tests/, fuzz/, bench/ and the SWIG wrappers generated into $(COV_DIR) are not
# (nor the code of src/binding/*.swg, which lives in those wrappers). Branches
# that only exception unwinding takes are left out of the count. Per-line
# detail: $(COV_DIR)/coverage.txt and coverage.json.
# No ccache here: its cached objects would write their counts to another tree.
coverage: system-deps venv
	$(VPY) -m pip install -q $(PY_COV_DEPS)
	CCACHE_DISABLE=1 $(VPY) -m pip install --no-build-isolation --no-deps -q --upgrade \
	  --target $(COV_DIR)/site -Cbuild-dir=$(COV_DIR) -Ccmake.build-type=Debug \
	  -Ccmake.define.NIMBREL_TESTS=ON -Ccmake.define.CMAKE_C_FLAGS="$(COV_FLAGS)" \
	  -Ccmake.define.CMAKE_CXX_FLAGS="$(COV_FLAGS)" .
	find $(COV_DIR) -name '*.gcda' -delete
	ctest --test-dir $(COV_DIR) --output-on-failure -j $(JOBS)
	PYTHONPATH=$(CURDIR)/$(COV_DIR)/site $(VPY) -c 'import nimbrel.tamrin, sys; \
	  sys.exit(0 if "/$(COV_DIR)/site/" in nimbrel.tamrin.__file__ else "pytest would not run the instrumented build")'
	PYTHONPATH=$(CURDIR)/$(COV_DIR)/site $(VPY) -m pytest -q tests/python
	# Every test object that is linked ran and left counts: one without them
	# belongs to a test file since deleted, whose source gcov cannot find.
	find $(COV_DIR)/tests -name '*.gcno' | while read -r f; do \
	  test -f "$${f%.gcno}.gcda" || rm -f "$$f"; done
	$(VPY) -m gcovr --root . --object-directory $(COV_DIR) --filter 'src/' \
	  --exclude-directories '$(COV_DIR)/CMakeFiles' \
	  --exclude-throw-branches --exclude-unreachable-branches -j $(JOBS) \
	  --txt $(COV_DIR)/coverage.txt --json $(COV_DIR)/coverage.json --print-summary

# Every fuzz target under ASan and UBSan for FUZZ_SECONDS each (fuzz: 30 s,
# fuzz-long: 10 minutes); the table of executions, coverage and findings goes
# to build/fuzz-report.txt. Findings join the seed corpus and fail the run.
FUZZ_SECONDS ?= 30
FUZZ_REPORT  ?= build/fuzz-report.txt

fuzz: fuzz-build
	bash fuzz/run_all.sh build/fuzz $(FUZZ_SECONDS) $(FUZZ_REPORT)

fuzz-long: fuzz-build
	bash fuzz/run_all.sh build/fuzz $(if $(filter command line environment,$(origin FUZZ_SECONDS)),$(FUZZ_SECONDS),600) $(FUZZ_REPORT)

fuzz-build: venv
	$(MAKE) system-deps EXTRA_PACKAGES="$(FUZZ_PACKAGES)"
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBREL_FUZZ=ON -DNIMBREL_PYTHON=OFF
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH cmake --build build/fuzz

bench: install
	bash bench/setup.sh
	bench/.venv/bin/python bench/run.py

# Our speed against an older revision (BASE=<rev>, default the previous
# commit), side by side in one run: BASE is built once into
# $(BASE_BENCH_DIR), then bench/compare.py alternates the two builds.
BASE ?= HEAD~1
ROUNDS ?= 3
BASE_BENCH_DIR := build/bench-base
bench-compare: install
	bash bench/setup.sh
	rm -rf $(BASE_BENCH_DIR)/src && mkdir -p $(BASE_BENCH_DIR)/src
	git archive $(BASE) | tar -x -C $(BASE_BENCH_DIR)/src
	bench/.venv/bin/python -m pip install -q --no-build-isolation --no-deps --upgrade \
	  --target $(BASE_BENCH_DIR)/site -Cbuild-dir=$(CURDIR)/$(BASE_BENCH_DIR)/build $(BASE_BENCH_DIR)/src
	bench/.venv/bin/python bench/compare.py $(BASE_BENCH_DIR)/site $(ROUNDS)

clean:
	rm -rf build
