# Loftwick — the two everyday commands are `make run` and `make test`.
# Each first installs the Debian packages it needs that are missing.

SHELL := /bin/bash
JOBS  ?= $(shell nproc)

RUN_DIR   := build/run
TEST_DIR  := build/test
FUZZ_DIR  := build/fuzz
BENCH_DIR := build/bench

BUILD_PKGS := cmake ninja-build g++ pkg-config qt6-base-dev libgtest-dev libgmock-dev \
              libcli11-dev zlib1g-dev libbrotli-dev libcurl4-openssl-dev help2man
FUZZ_PKGS  := clang libfuzzer-14-dev libclang-rt-14-dev
BENCH_PKGS := libbenchmark-dev
# The Squid test starts a real Squid of its own on a free localhost port.
TEST_PKGS  := squid

.PHONY: run test fuzz fuzz-smoke bench deps deps-fuzz deps-bench deps-test build-run build-test build-fuzz clean \
        mutants coverage format format-check

define ensure_packages
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    export DEBIAN_FRONTEND=noninteractive; \
	    apt-get update -qq && apt-get install -y -qq --no-install-recommends $$missing >/dev/null; \
	  else \
	    echo "Missing packages. Run:"; echo "  sudo apt-get install -y$$missing"; exit 1; \
	  fi; \
	fi
endef

deps:
	$(call ensure_packages,$(BUILD_PKGS))

deps-fuzz: deps
	$(call ensure_packages,$(FUZZ_PKGS))

deps-bench: deps
	$(call ensure_packages,$(BENCH_PKGS))

deps-test: deps-fuzz
	$(call ensure_packages,$(TEST_PKGS))

build-run: deps
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOFTWICK_TESTS=OFF >/dev/null
	cmake --build $(RUN_DIR) -j $(JOBS) --target loftwick loftwick-scan loftwick-mkcache man

DEMO_DIR := build/demo
RUN_INI  := $(RUN_DIR)/src/qt/loftwick.ini

# With no settings yet, the window starts on the demo WinProxy cache made by the cache builder.
run: build-run
	@if [ ! -f $(RUN_INI) ]; then \
	  $(RUN_DIR)/tools/loftwick-mkcache --demo $(DEMO_DIR) && \
	  printf '[Common]\nProxyType=1\nCacheDir=%s/\n' "$$(cd $(DEMO_DIR)/winproxy && pwd)" > $(RUN_INI) && \
	  echo "Settings written to $(RUN_INI): the demo WinProxy cache in $(DEMO_DIR)/winproxy"; \
	fi
	$(RUN_DIR)/src/qt/loftwick

build-test: deps-test
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	      -DLOFTWICK_SANITIZE=ON -DLOFTWICK_WERROR=ON >/dev/null
	cmake --build $(TEST_DIR) -j $(JOBS)

# After the tests, the fuzz smoke run: kept crash inputs replayed, then every target for a few seconds.
test: build-test
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz-smoke

# Seconds each fuzz target runs: `make fuzz FUZZ_SECONDS=600` for a longer run.
FUZZ_SECONDS       ?= 60
FUZZ_SMOKE_SECONDS ?= 5

# The fuzzers need clang; only the core, the cache builder and the targets are built here.
build-fuzz: deps-fuzz
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLOFTWICK_FUZZ=ON \
	      -DLOFTWICK_TESTS=OFF -DLOFTWICK_BENCH=OFF \
	      -DLOFTWICK_FUZZ_SECONDS=$(FUZZ_SECONDS) -DLOFTWICK_FUZZ_SMOKE_SECONDS=$(FUZZ_SMOKE_SECONDS) >/dev/null
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers

fuzz-smoke: build-fuzz
	cmake --build $(FUZZ_DIR) --target fuzz-smoke

fuzz: build-fuzz
	cmake --build $(FUZZ_DIR) --target fuzz-long

bench: deps-bench
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BENCH_DIR) -j $(JOBS) --target scan_bench
	$(BENCH_DIR)/bench/scan_bench

# The mutation check: each mutant of tools/mutants.txt built and tested on a copy of the tree, compared
# with tools/mutants-baseline.txt. `make mutants MUTANTS_ARGS="--only name1,name2"` for a few,
# `MUTANTS_ARGS=--write-baseline` to record the results, `MUTANTS_ARGS=--stale` to check the list only.
MUTANTS_ARGS ?=
mutants: deps
	python3 tools/mutants.py -j $(JOBS) $(MUTANTS_ARGS)

# Line and branch coverage of src/ by folder, from a plain build with --coverage (its own folder).
COVERAGE_DIR := build/coverage
coverage: deps
	$(call ensure_packages,gcovr)
	cmake -S . -B $(COVERAGE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLOFTWICK_BENCH=OFF \
	      -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
	cmake --build $(COVERAGE_DIR) -j $(JOBS)
	find $(COVERAGE_DIR) -name '*.gcda' -delete
	cd $(COVERAGE_DIR) && QT_QPA_PLATFORM=offscreen ctest -j $(JOBS) --output-on-failure >ctest.log || \
	  echo "Some tests failed (exit $$?, $(COVERAGE_DIR)/ctest.log): the figures below are of a failing suite"
	gcovr -r . --object-directory $(COVERAGE_DIR) --filter 'src/' -j $(JOBS) \
	      --exclude-throw-branches --exclude-unreachable-branches \
	      --json-summary $(COVERAGE_DIR)/summary.json --txt $(COVERAGE_DIR)/files.txt
	tools/coverage-summary $(COVERAGE_DIR)/summary.json

# clang-format with the repository's .clang-format over every C++ file that git knows.
FORMATTED = git ls-files -z -- '*.cpp' '*.h'
format:
	$(call ensure_packages,clang-format)
	$(FORMATTED) | xargs -0r clang-format -i

format-check:
	$(call ensure_packages,clang-format)
	@bad=$$($(FORMATTED) | xargs -0r -n1 sh -c 'clang-format --dry-run --Werror "$$0" 2>/dev/null >&2 || echo "$$0"'); \
	if [ -n "$$bad" ]; then \
	  echo "$$bad"; echo "$$(echo "$$bad" | wc -l) files are not formatted: \`make format\` formats them"; exit 1; \
	fi; echo "Every file is formatted"

clean:
	rm -rf build
