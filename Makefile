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

# A session on Wine's DirectSound with a null audio device: open, set a level,
# mute, unmute, close, and reopen by setting a level.
DEMO_SESSION := init set -2500 mute wait 200 unmute release set -1200

demo: dist
	@echo "brq $(DEMO_SESSION)"
	@$(NULL_DEVICE) $(BUILD)/wine-run $(DIST)/brq.exe $(DEMO_SESSION)

bench: build
	@$(NULL_DEVICE) $(BUILD)/wine-run $(BUILD)/bin/brq_bench.exe

clean:
	rm -rf $(BUILD) $(DIST)
