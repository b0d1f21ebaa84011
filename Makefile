# The two commands: `make run` and `make test`. Both install what is missing, then build.
PRESET ?= default
BUILD  := build/$(PRESET)

.PHONY: run test build deps asan bench format clean
.DEFAULT_GOAL := build

deps:
	@scripts/install-deps.sh build

build: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

run: build
	@scripts/install-deps.sh run
	@scripts/run-window.sh $(BUILD)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

# Benchmarks: kernels with Google Benchmark, whole jobs against peers in the same run.
bench: build
	@scripts/install-deps.sh bench
	$(BUILD)/bench/cleaning/clean_bench
	$(BUILD)/bench/watch/watch_latency
	$(BUILD)/bench/search/scan_bench
	bash bench/clean_vs_perl.sh
	python3 bench/watch_clean.py --cli $(BUILD)/cli/pagewarden-cli
	bash bench/search_vs_rg.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
