# Stratlyn: the two everyday commands are `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TYPE       ?= RelWithDebInfo
PREFIX     ?= /usr/local
CMAKE_GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps configure build run test test-asan bench install package clean

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

# Core tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@[ -f $(ASAN_BUILD)/CMakeCache.txt ] || cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) \
	  -DCMAKE_BUILD_TYPE=Debug -DSTRATLYN_SANITIZE=ON -DSTRATLYN_GUI=OFF -DSTRATLYN_BENCH=OFF
	cmake --build $(ASAN_BUILD) --parallel
	cd $(ASAN_BUILD) && ctest --output-on-failure --parallel 2 --timeout 900 -L core

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# $(BUILD)/stratlyn_<version>_amd64.deb; `sudo apt install ./$(BUILD)/stratlyn_*.deb` installs it.
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
