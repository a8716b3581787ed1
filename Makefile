# The two set-up commands of the README:
#   make run    build, then run the main job on the project's own sample
#   make test   build, then run every test
# Both start with scripts/setup, which installs missing build dependencies.
# Variables: BUILD (build folder), JOBS (parallel jobs), WERROR=1 (warnings are errors).

MAKEFLAGS += --no-print-directory

BUILD ?= build
JOBS ?= 2
WERROR ?= 0
BUILD_TYPE ?= Release

CMAKE_FLAGS = -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCORVEX_WERROR=$(if $(filter 1 ON on yes,$(WERROR)),ON,OFF)

.PHONY: all setup configure build run test clean bench bench-report fuzz fuzz-run test-asan conformance screenshots

all: build

setup:
	@scripts/setup

configure: setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

# The main job: the sample (the test card examples/testcard draws) saved in every format and
# variant and loaded back, with a table of sizes, times and round-trip results; then, with a
# display and the Qt host, the viewer on the sample; without one, the headless tour
# (scripts/demo): processing with a selection, annotations, the view, the viewer window, a dialog
# and the thumbnail grid drawn into $(BUILD)/out, a page scanned from SANE's virtual scanner and
# frames captured from the synthetic camera, with a table of what it made.
run: build
	@mkdir -p $(BUILD)/out
	@$(BUILD)/bin/corvex roundtrip samples/testcard.png samples/testcard-1bit.png --out $(BUILD)/out/roundtrip
	@if [ -n "$$DISPLAY" ] && [ -e $(BUILD)/host/qt/libcorvexqt.so ]; then \
	  echo "The sample in the viewer (wheel or +/- zoom, arrows scroll, 1-7 mouse modes, F fits, Escape closes)"; \
	  $(BUILD)/bin/corvex view samples/testcard.png --fit; \
	else \
	  scripts/demo $(BUILD)/bin/corvex $(BUILD)/out; \
	fi

test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Pictures of the components as they draw themselves, headless, into $(BUILD)/screenshots: the
# viewer window of `corvex view`, the open and save dialogs, the format-parameters dialog, the
# palette dialog, the processing preview dialog, the widget set and the auxiliary controls.
screenshots: build
	@mkdir -p $(BUILD)/screenshots
	@$(BUILD)/bin/corvex view samples/testcard.png --fit --snapshot-window $(BUILD)/screenshots/viewer.png
	@$(BUILD)/examples/dialog_screens $(BUILD)/screenshots > /dev/null
	@$(BUILD)/examples/format_dialog_screens samples/testcard.png $(BUILD)/screenshots > /dev/null
	@$(BUILD)/examples/widget_gallery $(BUILD)/screenshots/widgets.png > /dev/null
	@$(BUILD)/examples/controls_screens $(BUILD)/screenshots samples/testcard.png > /dev/null
	@$(BUILD)/examples/previews_screens samples/testcard.png $(BUILD)/screenshots > /dev/null
	@$(BUILD)/bin/corvex convert samples/testcard.png $(BUILD)/screenshots/testcard.gif
	@$(BUILD)/bin/corvex palette $(BUILD)/screenshots/testcard.gif --snapshot $(BUILD)/screenshots/palette_dialog.png
	@ls $(BUILD)/screenshots/*.png

clean:
	@rm -rf $(BUILD)

# Benchmarks: a Release build of bench/ in its own folder, then every benchmark program.
bench: setup
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DCORVEX_BUILD_BENCH=ON -DCORVEX_BUILD_TESTS=OFF > /dev/null
	@cmake --build $(BUILD)-bench -j$(JOBS)
	@set -e; for b in $(BUILD)-bench/bench/*_bench; do \
	  if [ -x "$$b" ]; then echo "== $$b"; "$$b" $(BENCH_ARGS); fi; \
	done

# The benchmark report: our operations and the installed peer programs on the same images, in
# one run, into $(BUILD)/bench/report.md (scripts/setup bench installs the peers). Not part of
# `make test`. REPORT_ARGS passes options to scripts/bench-report (--reps N, --scale S, --only OP,
# --quick for a one-minute check, --readme README.md to copy a full run's table into the README).
PYTHON ?= $(shell test -x /usr/bin/python3 && echo /usr/bin/python3 || echo python3)
bench-report: setup
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DCORVEX_BUILD_BENCH=ON -DCORVEX_BUILD_TESTS=OFF > /dev/null
	@cmake --build $(BUILD)-bench -j$(JOBS) --target corvex_bench_report
	@mkdir -p $(BUILD)/bench
	@$(PYTHON) scripts/bench-report --driver $(BUILD)-bench/bench/corvex_bench_report --out $(BUILD)/bench/report.md $(REPORT_ARGS)

# Fuzzing: clang, the library and the harnesses under AddressSanitizer and UBSan.
SANITIZE = -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g
SECONDS ?= 60

fuzz:
	@scripts/setup fuzz
	@cmake -S . -B $(BUILD)-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEX_BUILD_FUZZ=ON -DCORVEX_BUILD_TESTS=OFF \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE) -fsanitize=fuzzer-no-link" > /dev/null
	@cmake --build $(BUILD)-fuzz -j$(JOBS)

fuzz-run: fuzz
	@FUZZ_BUILD=$(BUILD)-fuzz scripts/fuzz-run $(SECONDS)

# The whole test suite under AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer (but
# the install test, whose consumer is built without the sanitizer runtime).
test-asan: setup
	@cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEX_WERROR=$(if $(filter 1 ON on yes,$(WERROR)),ON,OFF) \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE)" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
	  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" > /dev/null
	@cmake --build $(BUILD)-asan -j$(JOBS)
	@cd $(BUILD)-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/lsan.supp ctest --output-on-failure -j$(JOBS) -E '^install_consumer$$'

# Every reader over the corpus beside the references, per format, with the reason for each
# difference.
conformance: build
	@$(BUILD)/bin/corvex conformance $(or $(CORPUS),../shared/corpus)
