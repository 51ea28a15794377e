# Wraps CMake: every target installs the Debian packages it needs first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps build run test fuzz clean

all: build

deps:
	scripts/install-deps test

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/tonvara

test: build
	scripts/audio-server run -- ctest --test-dir $(BUILD) --output-on-failure -j 1

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

clean:
	rm -rf $(BUILD) build-*
