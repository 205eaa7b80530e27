# A thin wrapper around the CMake build (CMakePresets.json, one preset per
# architecture); each target first installs whatever the machine lacks.
BUILD := build
DIST := dist
ALL_ARCHS := win32 win64 arm64
# brq, which the demo and the bench run, needs a C runtime: not on arm64.
BRQ_ARCHS := win32 win64
MAKEFLAGS += --no-print-directory
NULL_DEVICE := ALSA_CONFIG_PATH=$(CURDIR)/cmake/alsa-null.conf

# The architectures whose programs tests, demo and bench run (make test
# ARCHS=win64); by default all that this machine can run.  All three are always
# built and checked statically; the runtime tests of one left out show as skipped.
ARCHS ?=
export BRENQUISAT_ARCHS := $(ARCHS)
# make test WIN32_QEMU=1 runs the win32 programs through qemu-user, as on a
# machine that cannot execute 32-bit programs, even where this one can: in a
# binfmt_misc instance of the tests' own, which nothing else sees.
WIN32_QEMU ?=
THROUGH_QEMU := $(if $(WIN32_QEMU),scripts/qemu-i386 run)
# $(shell) does not see exported variables in GNU make 4.3, hence ARCHS passed here.
RUNNABLE = $(shell for arch in $(BRQ_ARCHS); do BRENQUISAT_ARCHS="$(ARCHS)" $(BUILD)/$$arch/wine-run --check >/dev/null && echo $$arch; done)

.PHONY: all setup build test dist demo readme-picture bench clean

all: build

setup:
	@scripts/setup-debian.sh

# All three architectures, then the archives made of them (build/archives).
build: setup
	@for arch in $(ALL_ARCHS); do \
	    cmake --preset $$arch >/dev/null && cmake --build --preset $$arch --parallel $$(nproc) || exit 1; \
	done
	@scripts/archives $(BUILD)

# One CTest run over all build trees, with one Wine session a prefix
# (scripts/run-tests); each test is labelled with its architecture.  Most tests
# wait on Wine more than they compute: two at a time per processor.  Where win32
# programs run through qemu-user they compute, and one a processor: with two a processor,
# Wine's output dropped audio under the load and the heard levels came late.
TEST_JOBS ?= $(shell n=$$(nproc); if [ -n "$(WIN32_QEMU)" ] || scripts/qemu-i386 routed; then echo $$n; else echo $$((n * 2)); fi)
test: build
	@printf 'subdirs($(ALL_ARCHS))\n' >$(BUILD)/CTestTestfile.cmake
	@scripts/wine-arm64-root make || true
	@[ -z "$(WIN32_QEMU)" ] || scripts/qemu-i386 make
	@command -v dotnet >/dev/null || echo "test: the C# hosts are skipped: the .NET SDK (dotnet) is not installed here"
	@$(THROUGH_QEMU) scripts/run-tests $(BUILD) $(TEST_JOBS)

dist: build
	@rm -rf $(DIST) && mkdir -p $(DIST)
	@for arch in $(ALL_ARCHS); do cp -a $(BUILD)/archives/Brenquisat-*-$$arch $(DIST)/$$arch || exit 1; done
	@cp -a $(BUILD)/archives/Brenquisat-*.zip $(BUILD)/archives/Brenquisat-*.tar.gz $(BUILD)/archives/brenquisat-*.tgz $(DIST)/
	@cp -a $(BUILD)/archives/Brenquisat.*.nupkg $(DIST)/ 2>/dev/null || \
	    echo "dist: no NuGet package (Brenquisat.<version>.nupkg): the .NET SDK (dotnet) is not installed here"
	@cd $(DIST) && sha256sum $$(ls Brenquisat-*.zip Brenquisat-*.tar.gz brenquisat-*.tgz Brenquisat.*.nupkg 2>/dev/null) >SHA256SUMS
	@echo "dist: $$(ls $(DIST) | tr '\n' ' ')"

# A session on Wine's DirectSound: brq plays a test tone through its own device
# while it calls the exports, Wine's output is captured to a WAV file, and SoX
# measures the level heard after each call.  The 32-bit brq where this machine
# runs 32-bit programs, the 64-bit one where it does not.
DEMO_SESSION := tone wait 400 init wait 400 set -600 wait 400 set -2000 wait 400 mute wait 400 \
	unmute wait 400 set -1200 wait 400 get wait 400 release wait 400 set -2500 wait 400
CAPTURE := ALSA_CONFIG_PATH=$(CURDIR)/cmake/alsa-capture.conf

demo: dist
	@arch=$(firstword $(RUNNABLE)); \
	for other in $(BRQ_ARCHS); do [ "$$other" = "$$arch" ] && break; $(BUILD)/$$other/wine-run --check; done; \
	[ -n "$$arch" ] || exit 1; \
	wav=$(CURDIR)/$(BUILD)/$$arch/demo.wav log=$(BUILD)/$$arch/demo.log; \
	echo "demo: $(DIST)/$$arch/brq.exe under $$arch Wine, its output captured to $(BUILD)/$$arch/demo.wav"; \
	echo "brq $(DEMO_SESSION)"; \
	BRENQUISAT_HEARD_WAV=$$wav $(CAPTURE) $(BUILD)/$$arch/wine-run $(DIST)/$$arch/brq.exe $(DEMO_SESSION) >$$log 2>&1; \
	status=$$?; scripts/heard-levels $$wav $(BUILD)/$$arch/demo <$$log || exit 1; \
	echo "heard: the level of Wine's output over the middle of the 400 ms of tone after each call,"; \
	echo "       against the tone before any call (SoX; Wine's scale is 2^(volume/600) in amplitude)"; \
	scripts/plot-heard $(BUILD)/$$arch/demo $(BUILD)/$$arch/demo.png \
	    "What a host hears: brq under $$arch Wine, a 1 kHz tone, the level set by each call" || exit 1; \
	echo "demo: the level over time is drawn in $(BUILD)/$$arch/demo.png"; \
	exit $$status

# The README's copy of the demo's picture.
readme-picture: demo
	@cp $(BUILD)/$(firstword $(RUNNABLE))/demo.png docs/demo.png && echo "readme-picture: docs/demo.png"

# brq_bench on each x86 architecture this machine runs; on arm64, which has no C
# runtime for it, the cost of a volume call against Sleep(1) (system_host bench).
bench: build
	@[ -n "$(RUNNABLE)" ] || { $(BUILD)/win64/wine-run --check; exit 1; }
	@[ -z "$(WIN32_QEMU)" ] || scripts/qemu-i386 make
	@for arch in $(RUNNABLE); do \
	    how=""; [ $$arch = win32 ] && { [ -n "$(WIN32_QEMU)" ] || scripts/qemu-i386 routed; } && how=", under qemu-user"; \
	    echo "$$arch$$how:"; $(NULL_DEVICE) $(THROUGH_QEMU) $(BUILD)/$$arch/wine-run $(BUILD)/$$arch/bin/brq_bench.exe || exit 1; \
	done
	@scripts/wine-arm64-root make || true
	@if $(BUILD)/arm64/wine-run --check; then \
	    echo "arm64, under qemu-user:"; \
	    $(NULL_DEVICE) $(BUILD)/arm64/wine-run $(CURDIR)/$(BUILD)/arm64/bin/system_host.exe bench || exit 1; \
	fi

clean:
	rm -rf $(BUILD) $(DIST)
