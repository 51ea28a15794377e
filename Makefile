# Wraps CMake: every target installs the Debian packages it needs first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run test bench clean

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

bench: ; scripts/install-deps bench && cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONVARA_BENCH=ON && cmake --build build-bench --target bench_fft && build-bench/bench/bench_fft

clean:
	rm -rf $(BUILD) build-*
