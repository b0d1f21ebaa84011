# The two commands: `make run` and `make test`. Both install what is missing, then build.
PRESET ?= default
BUILD  := build/$(PRESET)

.PHONY: run test build deps asan bench format clean package translations
.DEFAULT_GOAL := build

deps:
	@scripts/install-deps.sh build

build: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET)

# The threaded modules run once more under the address and undefined-behaviour sanitizers.
SANITIZED := threads_tests watch_tests search_tests cleaning_tests app_tests

test: build
	@scripts/install-deps.sh package
	ctest --preset $(PRESET)
	cmake --preset asan >/dev/null
	cmake --build --preset asan --target $(SANITIZED)
	ctest --preset asan -L '^($(subst $(eval) ,|,$(SANITIZED)))$$'

# The two Debian packages, pagewarden-cli and pagewarden, in $(BUILD)/.
package: build
	@scripts/install-deps.sh package
	cmake --build --preset $(PRESET) --target package

# Takes new translatable texts of the code into translations/pagewarden_en.ts.
translations: build
	cmake --build --preset $(PRESET) --target update_translations

run: build
	@scripts/install-deps.sh run
	@scripts/run-window.sh $(BUILD)

# Every test under the sanitizers.
asan: deps
	cmake --workflow --preset asan

# Benchmarks: kernels with Google Benchmark, whole jobs against peers in the same run.
bench: build
	@scripts/install-deps.sh bench
	$(BUILD)/bench/cleaning/clean_bench
	$(BUILD)/bench/watch/watch_latency
	$(BUILD)/bench/search/scan_bench
	bash bench/clean_vs_perl.sh
	python3 bench/watch_clean.py --cli $(BUILD)/cli/pagewarden-cli
	bash bench/search_vs_rg.sh
	bash bench/window_vs_cli.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
