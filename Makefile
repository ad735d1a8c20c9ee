# The two entry points of the README, and the sanitizer run that CI adds.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: setup build run test test-asan bench clean

setup:
	@scripts/setup

build: setup
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	scripts/run-demo $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-asan: setup
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DMONDREL_SANITIZE=ON -DMONDREL_BUILD_BENCHMARKS=OFF
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# Each program ends with `RATIO name value` and `TIME name microseconds` lines.
bench: build
	$(BUILD_DIR)/bench/store_bench
	$(BUILD_DIR)/bench/trigger_bench
	$(BUILD_DIR)/bench/page_bench
	$(BUILD_DIR)/bench/instances_bench

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
