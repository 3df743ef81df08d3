# A thin front over CMake. `make run ARGS="dict add Quokka"` builds and runs
# the tool; `make test` runs every test, also under ASan and UBSan.
BUILD ?= build
SAN_BUILD ?= build-sanitize
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
JOBS ?= $(shell nproc 2>/dev/null || sysctl -n hw.ncpu 2>/dev/null || echo 2)
ARGS ?=

.PHONY: all deps build run test test-plain test-sanitize fuzz format format-check clean

all: build

deps:
	@scripts/install-deps test

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Only the tool itself: the test targets take most of a full build's time.
run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target ostrel
	@$(BUILD)/ostrel $(ARGS)

test: test-plain test-sanitize

test-plain: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

$(SAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(SAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DOSTREL_SANITIZE=ON \
	  -DOSTREL_WERROR=ON

test-sanitize: deps $(SAN_BUILD)/CMakeCache.txt
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# `make fuzz FUZZ_SECONDS=600` runs each libFuzzer target that long (clang
# only). New inputs go to fuzz/corpus-run/; a crash is saved in $(FUZZ_BUILD).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZERS := decode_fuzzer edits_fuzzer text_fuzzer rule_table_fuzzer

$(FUZZ_BUILD)/CMakeCache.txt:
	@scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DOSTREL_BUILD_FUZZERS=ON -DOSTREL_BUILD_TESTS=OFF -DOSTREL_WERROR=ON

fuzz: $(FUZZ_BUILD)/CMakeCache.txt
	@scripts/install-deps fuzz
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZERS)
	@for f in $(FUZZERS); do \
	  mkdir -p fuzz/corpus-run/$$f; \
	  echo "fuzz: $$f for $(FUZZ_SECONDS) s (log: $(FUZZ_BUILD)/$$f.log)"; \
	  if $(FUZZ_BUILD)/$$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=4096 \
	      -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/ \
	      fuzz/corpus-run/$$f fuzz/corpus/$$f >$(FUZZ_BUILD)/$$f.log 2>&1; then \
	    grep -E '^(Done|stat::number_of_executed_units)' $(FUZZ_BUILD)/$$f.log; \
	  else \
	    tail -n 60 $(FUZZ_BUILD)/$$f.log; exit 1; \
	  fi; \
	done
	@echo "fuzz: $(words $(FUZZERS)) passed, 0 failed"

# The C++ sources in the layout .clang-format asks for; CI fails on a difference.
FORMATTED = $(shell git ls-files '*.cc' '*.h' '*.c')

format:
	clang-format -i $(FORMATTED)

format-check:
	clang-format --dry-run -Werror $(FORMATTED)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
