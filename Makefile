# Thin wrapper over CMake presets (Ninja). Each target installs what is
# missing first, so that a fresh Debian machine needs nothing but make.

JOBS    ?= $(shell nproc)
SECONDS ?= 600
FUZZ_SECONDS ?= 20
DEPS    := scripts/install-deps.sh

.PHONY: all build deps test test-tsan demo bench fuzz soak clean format

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
	cmake --build --preset fuzz -j $(JOBS)
	@set -e; for f in build/fuzz/*_fuzz; do [ -x "$$f" ] || continue; \
	  echo "== $$f ($(FUZZ_SECONDS) s)"; mkdir -p build/fuzz/corpus-$$(basename $$f); \
	  "$$f" -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 build/fuzz/corpus-$$(basename $$f) \
	    $$(n=$$(basename $$f); ls -d fuzz/*/seeds/$$n fuzz/$${n%_fuzz}/seeds 2>/dev/null); done

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
