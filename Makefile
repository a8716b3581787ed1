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

.PHONY: all setup configure build run test clean

all: build

setup:
	@scripts/setup

configure: setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@mkdir -p $(BUILD)/out
	@$(BUILD)/examples/testcard $(BUILD)/out

test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

clean:
	@rm -rf $(BUILD)
