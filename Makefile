# Stratlyn: the two everyday commands are `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 12
FUZZERS    := fuzz_numeric_entry fuzz_html_to_text fuzz_extract_table fuzz_quote_parser
TYPE       ?= RelWithDebInfo
PREFIX     ?= /usr/local
CMAKE_GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps configure build run test test-asan fuzz bench install package clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=$(TYPE)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) --parallel

run: build
	@scripts/run-app $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure --parallel 2 --timeout 600
	scripts/check-package $(BUILD)
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory fuzz

# Core tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@[ -f $(ASAN_BUILD)/CMakeCache.txt ] || cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) \
	  -DCMAKE_BUILD_TYPE=Debug -DSTRATLYN_SANITIZE=ON -DSTRATLYN_GUI=OFF -DSTRATLYN_BENCH=OFF
	cmake --build $(ASAN_BUILD) --parallel
	cd $(ASAN_BUILD) && ctest --output-on-failure --parallel 2 --timeout 900 -L core

# The parsers of typed and fetched text under libFuzzer (clang, ASan+UBSan),
# each for FUZZ_SECONDS; a crash, leak or hang fails and leaves its input in
# $(FUZZ_BUILD)/artifacts.
fuzz: deps
	@[ -f $(FUZZ_BUILD)/CMakeCache.txt ] || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTRATLYN_FUZZ=ON -DSTRATLYN_SANITIZE=ON \
	  -DSTRATLYN_GUI=OFF -DSTRATLYN_TESTS=OFF -DSTRATLYN_BENCH=OFF
	cmake --build $(FUZZ_BUILD) --target fuzzers --parallel
	@mkdir -p $(FUZZ_BUILD)/artifacts
	@for f in $(FUZZERS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$f; \
	  printf '== %s (%s s) ' $$f $(FUZZ_SECONDS); \
	  if $(FUZZ_BUILD)/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	       -artifact_prefix=$(FUZZ_BUILD)/artifacts/ $(FUZZ_BUILD)/corpus/$$f fuzz/corpus tests/data/marketdata \
	       > $(FUZZ_BUILD)/$$f.log 2>&1; then \
	    grep -o 'Done [0-9]* runs' $(FUZZ_BUILD)/$$f.log; \
	  else echo FAILED; tail -40 $(FUZZ_BUILD)/$$f.log; exit 1; fi; \
	done

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# $(BUILD)/stratlyn_<version>_amd64.deb; `sudo apt install ./$(BUILD)/stratlyn_*.deb` installs it.
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
