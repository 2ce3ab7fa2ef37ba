# The two commands of the README: `make run` and `make test`.
BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
JOBS      ?= $(shell nproc)
CMAKE_CFG  = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps build run test test-release test-asan fuzz clean

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_CFG) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/src/app/quillpane

test: test-release test-asan

test-release: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer; any finding fails.
test-asan: deps
	@cmake -S . -B $(ASAN_DIR) $(CMAKE_CFG) -DQP_SANITIZE=address,undefined >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

# Each libFuzzer harness for FUZZ_SECONDS (default 600); findings land in fuzz/regressions/.
fuzz: deps
	fuzz/run-fuzzers

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
