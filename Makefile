# The two commands of the README: `make run` and `make test`.
BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
TSAN_DIR  ?= build-tsan
JOBS      ?= $(shell nproc)
CMAKE_CFG  = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps build run package test test-release test-asan fuzz clean

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_CFG) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/src/app/quillpane

# The Debian package: $(BUILD_DIR)/quillpane_VERSION_ARCH.deb.
package: build
	@cmake --build $(BUILD_DIR) --target package

test: test-release test-asan test-tsan

test-release: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)
	@cat $(BUILD_DIR)/tests/cli/slurm-array-figures.txt

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer; any finding fails.
test-asan: deps
	@cmake -S . -B $(ASAN_DIR) $(CMAKE_CFG) -DQP_SANITIZE=address,undefined >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

# Each libFuzzer harness for FUZZ_SECONDS (default 600); findings land in fuzz/regressions/.
fuzz: deps
	fuzz/run-fuzzers

# The tests labelled "threaded" (the batch save's background thread) under ThreadSanitizer.
# Qt itself is not instrumented: tests/intake_saving/tsan.supp says what that hides.
test-tsan: deps
	@cmake -S . -B $(TSAN_DIR) $(CMAKE_CFG) -DQP_SANITIZE=thread >/dev/null
	@cmake --build $(TSAN_DIR) -j $(JOBS) --target qp_threaded_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/intake_saving/tsan.supp \
	  ctest --test-dir $(TSAN_DIR) -L threaded --output-on-failure

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR)
