# The two entry points of the README, and the sanitizer run that CI adds.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
TSAN_DIR ?= build-tsan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
# ON turns every compiler warning into an error (CI does).
WERROR ?= OFF
PREFIX ?= /usr/local

.PHONY: setup build run test test-asan test-tsan format-check fuzz bench install package clean

setup:
	@scripts/setup

build: setup
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMONDREL_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	scripts/run-demo $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-asan: setup
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DMONDREL_SANITIZE=ON -DMONDREL_BUILD_BENCHMARKS=OFF \
		-DMONDREL_WERROR=$(WERROR)
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# Every tracked C++ file as .clang-format wants it (CI).
format-check: setup
	scripts/check-format

# The host's tests under ThreadSanitizer: the MQTT bridge and the standard-error reader run
# threads of their own. Only what those tests need is built; ctest in their folder runs only them.
# libmosquitto, OpenSSL and Qt are not instrumented: their own locking is invisible, so the libc
# calls they make (write, free of their packets) are not checked (ignore_noninstrumented_modules);
# our code still is, and their mutexes still order our threads. QProcess forks and execs from a
# threaded test (die_after_fork=0). ASLR is off for the run (setarch -R): GCC 12's runtime cannot
# map its shadow memory under the wider address randomisation of newer kernels.
TSAN_ENV = TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 \
	ignore_noninstrumented_modules=1" $(shell setarch $$(uname -m) -R true 2>/dev/null && \
	echo setarch $$(uname -m) -R)
test-tsan: setup
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMONDREL_TSAN=ON \
		-DMONDREL_BUILD_BENCHMARKS=OFF -DMONDREL_WERROR=$(WERROR)
	cmake --build $(TSAN_DIR) -j $(JOBS) --target host_services_test host_program_test
	cd $(TSAN_DIR)/tests/host && $(TSAN_ENV) ctest --output-on-failure -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS with a fixed seed; a crash, leak or time-out fails the run
# and leaves the input that reproduces it in $(FUZZ_DIR)/findings/.
fuzz: setup
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMONDREL_FUZZ=ON \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMONDREL_BUILD_BENCHMARKS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target mondrel_fuzzers
	scripts/run-fuzz $(FUZZ_DIR) $(FUZZ_SECONDS)

# Each program ends with `RATIO name value` and `TIME name microseconds` lines.
bench: build
	$(BUILD_DIR)/bench/store_bench
	$(BUILD_DIR)/bench/trigger_bench
	$(BUILD_DIR)/bench/page_bench
	$(BUILD_DIR)/bench/instances_bench
	$(BUILD_DIR)/bench/ical_bench
	$(BUILD_DIR)/bench/refresh_bench
	$(BUILD_DIR)/bench/web_bench
	bench/web_page_load.py $${MONDREL_BENCH_CACHE:-/tmp/mondrel-bench}/dates-100000-v1.sdb $(BUILD_DIR)

# The programs, the module and the systemd units under $(DESTDIR)$(PREFIX) (README: "Running it
# as a service").
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# The Debian package of everything `make install` lays out, in $(BUILD_DIR)/mondrel_VERSION_ARCH.deb
# (docs/service.md).
package: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(FUZZ_DIR)
