# Wraps CMake: every target installs the Debian packages it needs first, and only those
# (scripts/install-deps; DEPS names the groups).
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps build run test package sanitize screenshots bench timing fuzz fresh-check clean

all: build

DEPS = run
test sanitize: DEPS = test
package: DEPS = package
screenshots: DEPS = screenshots

deps:
	scripts/install-deps $(DEPS)

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/tonvara

# The tests labelled audio run once on every kind of test sound server installed here.
test: build
	scripts/audio-server run -- ctest --test-dir $(BUILD) --output-on-failure -j 1 -LE audio
	scripts/audio-server each -- ctest --test-dir $(BUILD) --output-on-failure -j 1 -L audio

# The Debian package $(BUILD)/tonvara_<version>_<architecture>.deb, for `apt install ./...`.
package: build
	cmake --build $(BUILD) --target package

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer, audio tests included.
sanitize: deps
	cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONVARA_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-sanitize -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	scripts/audio-server run -- ctest --test-dir build-sanitize --output-on-failure -j 1

screenshots: build
	scripts/screenshots $(BUILD)

# Benchmarks need Google Benchmark and FFTW; the program and the tests never link them.
bench:
	scripts/install-deps bench
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONVARA_BENCH=ON
	cmake --build build-bench -j $(JOBS) --target bench_fft
	build-bench/bench/bench_fft

# Fuzzes the WAV reader for FUZZ_SECONDS. Inputs up to 64 KiB decode to at most 512 KiB of
# samples, so a single allocation of 1 MiB or more can only come from trusting a header's size.
# The corpus grows in $(FUZZ_BUILD)/corpus, seeded from fuzz/corpus; crashes land in
# $(FUZZ_BUILD)/artifacts.
fuzz:
	scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONVARA_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_wavfile
	mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/artifacts
	cp fuzz/corpus/*.wav $(FUZZ_BUILD)/corpus/
	$(FUZZ_BUILD)/fuzz/fuzz_wavfile -max_total_time=$(FUZZ_SECONDS) -max_len=65536 \
		-malloc_limit_mb=1 -timeout=10 -print_final_stats=1 -dict=fuzz/wav.dict \
		-artifact_prefix=$(FUZZ_BUILD)/artifacts/ $(FUZZ_BUILD)/corpus

# Onset timing of the real trial loop on every kind of test sound server installed here (a SUMMARY
# line per server and capture latency), start-up time and peak memory.
timing:
	scripts/install-deps bench screenshots
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONVARA_BENCH=ON
	cmake --build build-bench -j $(JOBS) --target bench_timing
	scripts/audio-server each -- xvfb-run -a -s "-screen 0 1600x1000x24" build-bench/bench/bench_timing

# The README's two commands on fresh Debian 12 roots, as root; too slow for CI.
fresh-check:
	scripts/fresh-check

clean:
	rm -rf $(BUILD) build-*
