# Thin wrapper over CMake presets (Ninja). Each target installs what is
# missing first, so that a fresh Debian machine needs nothing but make.

JOBS    ?= $(shell nproc)
SECONDS ?= 600
FUZZ_SECONDS ?= 20
DEPS    := scripts/install-deps.sh

.PHONY: all build deps test test-tsan thread-safety coverage mutants demo bench fuzz soak tidy \
	clean format

all: build

deps:
	@bash $(DEPS)

build: deps
	cmake --preset debug >/dev/null
	cmake --build --preset debug -j $(JOBS)

test: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

test-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS) --target threaded_tests
	ctest --preset tsan -j $(JOBS)

# The plug-in built with clang, whose -Wthread-safety checks every member
# guarded by a lock (a touch without the lock fails the build).
thread-safety: deps
	cmake --preset clang-release >/dev/null
	cmake --build --preset clang-release -j $(JOBS) --target Nimbra

# Line and branch coverage of the whole suite (clang source-based), by folder.
coverage: deps
	@bash $(DEPS) --coverage
	bash scripts/coverage.sh

# A fixed sample of mutants of Src/ and regex/ against the suite (MUTANTS=N,
# SEED=S); each is built without sanitizers and run until its first failure.
mutants: deps
	python3 scripts/mutants.py --count $(or $(MUTANTS),40) --seed $(or $(SEED),1)

# The harness, the plug-in and the simulator only; then the built-in fleet.
demo: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target nimbra-host Nimbra isdct
	@echo
	./build/release/nimbra-host --simulate show

bench: deps
	@bash $(DEPS) --bench
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)
	@for b in build/release/*_bench; do [ -x "$$b" ] && { echo "== $$b"; "$$b"; }; done; true

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS) --target fuzz_targets
	@set -e; for f in build/fuzz/*_fuzz; do [ -x "$$f" ] || continue; \
	  echo "== $$f ($(FUZZ_SECONDS) s)"; mkdir -p build/fuzz/corpus-$$(basename $$f); \
	  "$$f" -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 build/fuzz/corpus-$$(basename $$f) \
	    $$(n=$$(basename $$f); ls -d fuzz/*/seeds/$$n fuzz/$${n%_fuzz}/seeds 2>/dev/null); done

# The stress test for SECONDS seconds (release build); prints its figures line.
soak: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target stress_test
	NIMBRA_STRESS_SECONDS=$(SECONDS) ./build/release/stress_test

# clang-tidy over the plug-in, the pattern matcher, the host stand-in, the
# harness and the simulator (.clang-tidy, tools/.clang-tidy).
tidy: deps
	cmake --preset debug >/dev/null
	run-clang-tidy -p build/debug -j $(JOBS) -quiet '$(CURDIR)/(Src|regex|host/src|tools)/' >build/tidy.log 2>&1 \
	  || { grep -E 'warning:|error:' build/tidy.log | sort -u; exit 1; }
	@echo "clang-tidy: no warnings"

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
