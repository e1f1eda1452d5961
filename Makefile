# Stratlyn: the two everyday commands are `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
RELEASE_BUILD ?= build-release
FUZZ_SECONDS ?= 12
FUZZERS    := fuzz_numeric_entry fuzz_html_to_text fuzz_extract_table fuzz_quote_parser
TYPE       ?= RelWithDebInfo
LIVE_OFFICE := ^UnoLink\.ProcessesASheetOfARunningCalc$$
PREFIX     ?= /usr/local
CMAKE_GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
# Warnings are errors in every build made here (CMake's default is off, for
# distributions building with their own flags).
WERROR     := -DSTRATLYN_WERROR=ON

.PHONY: all deps configure build run test test-release test-asan fuzz bench install package clean

all: build

deps:
	@scripts/install-deps

# Each build folder is configured again when this Makefile changes, so that
# an existing folder picks up new options.
$(BUILD)/CMakeCache.txt: Makefile
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=$(TYPE) $(WERROR)
	@touch $@

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) --parallel

run: build
	@scripts/run-app $(BUILD)

test: build
	scripts/check-deps $(BUILD)
	cd $(BUILD) && ctest --output-on-failure --parallel 2 --timeout 600 -E '$(LIVE_OFFICE)'
	@# The live LibreOffice test starts a whole office: it runs alone, and once
	@# more if the office drops its connection (seen about once in ten runs).
	cd $(BUILD) && ctest --output-on-failure --timeout 600 -R '$(LIVE_OFFICE)' --repeat until-pass:2
	scripts/check-package $(BUILD)
	$(MAKE) --no-print-directory test-release
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory fuzz

# The core, the terminal tool and their tests as a distribution builds them
# (Release: -O3, whose extra analysis brings warnings of its own), and the
# core tests on that code.
$(RELEASE_BUILD)/CMakeCache.txt: Makefile
	cmake -S . -B $(RELEASE_BUILD) $(CMAKE_GEN) $(WERROR) \
	  -DCMAKE_BUILD_TYPE=Release -DSTRATLYN_GUI=OFF -DSTRATLYN_BENCH=OFF
	@touch $@

test-release: deps $(RELEASE_BUILD)/CMakeCache.txt
	cmake --build $(RELEASE_BUILD) --parallel
	cd $(RELEASE_BUILD) && ctest --output-on-failure --parallel 2 --timeout 600 -L core -E '$(LIVE_OFFICE)'
	cd $(RELEASE_BUILD) && ctest --output-on-failure --timeout 600 -L core -R '$(LIVE_OFFICE)' --repeat until-pass:2

# Core tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
# GCC 12's runtime takes a dynamic TLS block that happens to start 16 bytes
# into a page for the header of an old glibc and its leak checker then
# crashes at exit ("Tracer caught signal 11") after a passing test: it is
# told not to follow __tls_get_addr.
ASAN_ENV := ASAN_OPTIONS=intercept_tls_get_addr=0
$(ASAN_BUILD)/CMakeCache.txt: Makefile
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) $(WERROR) \
	  -DCMAKE_BUILD_TYPE=Debug -DSTRATLYN_SANITIZE=ON -DSTRATLYN_GUI=OFF -DSTRATLYN_BENCH=OFF
	@touch $@

test-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) --parallel
	cd $(ASAN_BUILD) && $(ASAN_ENV) ctest --output-on-failure --parallel 2 --timeout 900 -L core -E '$(LIVE_OFFICE)'
	cd $(ASAN_BUILD) && $(ASAN_ENV) ctest --output-on-failure --timeout 900 -L core -R '$(LIVE_OFFICE)' --repeat until-pass:2

# The parsers of typed and fetched text under libFuzzer (clang, ASan+UBSan),
# each for FUZZ_SECONDS; a crash, leak or hang fails and leaves its input in
# $(FUZZ_BUILD)/artifacts.
$(FUZZ_BUILD)/CMakeCache.txt: Makefile
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) $(WERROR) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTRATLYN_FUZZ=ON -DSTRATLYN_SANITIZE=ON \
	  -DSTRATLYN_GUI=OFF -DSTRATLYN_TESTS=OFF -DSTRATLYN_BENCH=OFF
	@touch $@

fuzz: deps $(FUZZ_BUILD)/CMakeCache.txt
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

# $(BUILD)/stratlyn_<version>-<revision>_amd64.deb; `sudo apt install ./$(BUILD)/stratlyn_*.deb` installs it.
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(RELEASE_BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
