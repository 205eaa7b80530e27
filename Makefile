# A thin wrapper around the CMake build (CMakePresets.json, one preset per
# architecture); each target first installs whatever the machine lacks.
BUILD := build
DIST := dist
ALL_ARCHS := win32 win64
MAKEFLAGS += --no-print-directory
NULL_DEVICE := ALSA_CONFIG_PATH=$(CURDIR)/cmake/alsa-null.conf

# The architectures whose programs tests, demo and bench run (make test
# ARCHS=win64); by default all that this machine can run.  Both are always built
# and checked statically; the runtime tests of one left out show as skipped.
ARCHS ?=
export BRENQUISAT_ARCHS := $(ARCHS)
# $(shell) does not see exported variables in GNU make 4.3, hence ARCHS passed here.
RUNNABLE = $(shell for arch in $(ALL_ARCHS); do BRENQUISAT_ARCHS="$(ARCHS)" $(BUILD)/$$arch/wine-run --check >/dev/null && echo $$arch; done)

.PHONY: all setup build test dist demo bench clean

all: build

setup:
	@scripts/setup-debian.sh

build: setup
	@for arch in $(ALL_ARCHS); do \
	    cmake --preset $$arch >/dev/null && cmake --build --preset $$arch || exit 1; \
	done

# One CTest run over both build trees; each test is labelled with its architecture.
test: build
	@printf 'subdirs($(ALL_ARCHS))\n' >$(BUILD)/CTestTestfile.cmake
	@for arch in $(ALL_ARCHS); do $(BUILD)/$$arch/wine-run --check || true; done
	@ctest --test-dir $(BUILD) --output-on-failure -j2

dist: build
	@rm -rf $(DIST) && mkdir -p $(DIST)
	@for arch in $(ALL_ARCHS); do \
	    cp -a $(BUILD)/$$arch/Brenquisat-*-$$arch $(DIST)/$$arch && cp -a $(BUILD)/$$arch/Brenquisat-*-$$arch.zip $(DIST)/ || exit 1; \
	done
	@cd $(DIST) && sha256sum Brenquisat-*.zip >SHA256SUMS
	@echo "dist: $$(ls $(DIST) | tr '\n' ' ')"

# A session on Wine's DirectSound with a null audio device: open, set a level,
# mute, unmute, close, and reopen by setting a level.  The 32-bit brq where this
# machine runs 32-bit programs, the 64-bit one where it does not.
DEMO_SESSION := init set -2500 mute wait 200 unmute release set -1200

demo: dist
	@arch=$(firstword $(RUNNABLE)); \
	for other in $(ALL_ARCHS); do [ "$$other" = "$$arch" ] && break; $(BUILD)/$$other/wine-run --check; done; \
	[ -n "$$arch" ] || exit 1; \
	echo "demo: $(DIST)/$$arch/brq.exe under $$arch Wine"; \
	echo "brq $(DEMO_SESSION)"; \
	$(NULL_DEVICE) $(BUILD)/$$arch/wine-run $(DIST)/$$arch/brq.exe $(DEMO_SESSION)

bench: build
	@[ -n "$(RUNNABLE)" ] || { $(BUILD)/win64/wine-run --check; exit 1; }
	@for arch in $(RUNNABLE); do \
	    echo "$$arch:"; $(NULL_DEVICE) $(BUILD)/$$arch/wine-run $(BUILD)/$$arch/bin/brq_bench.exe || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(DIST)
