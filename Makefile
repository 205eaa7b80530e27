# A thin wrapper around the CMake build (CMakePresets.json); each target first
# installs whatever the machine lacks.
BUILD := build
DIST := dist
MAKEFLAGS += --no-print-directory
NULL_DEVICE := ALSA_CONFIG_PATH=$(CURDIR)/cmake/alsa-null.conf

.PHONY: all setup build test dist demo bench clean

all: build

setup:
	@scripts/setup-debian.sh

build: setup
	@cmake --preset release >/dev/null
	@cmake --build --preset release

test: build
	@ctest --preset release

dist: build
	@cmake --build --preset release --target dist
	@echo "dist: $$(ls $(DIST) | tr '\n' ' ')"

# A session on Wine's DirectSound with a null audio device.
demo: dist
	@$(NULL_DEVICE) $(BUILD)/wine-run $(DIST)/brq.exe init set -2500 mute unmute release set -1200

bench: build
	@$(NULL_DEVICE) $(BUILD)/wine-run $(BUILD)/bin/brq_bench.exe

clean:
	rm -rf $(BUILD) $(DIST)
