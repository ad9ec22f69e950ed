# The two everyday commands; each installs what it needs first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

# make run installs and builds only what the main job uses, without the test suite; make test, or
# any other target, everything.
JOB ?= $(if $(filter run,$(MAKECMDGOALS)),$(if $(filter test,$(MAKECMDGOALS)),test,run),test)

.PHONY: deps configure build run test clean

deps:
	./scripts/install-deps.sh $(JOB)

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLFX_WERROR=ON \
	      -DGLFX_BUILD_TESTS=$(if $(filter run,$(JOB)),OFF,ON) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./scripts/run-main.sh $(BUILD)

# The Windows build first: the Linux build's CTest runs its tests under Wine. Then the whole suite
# again under the sanitizers, with every fuzz target run for GLFX_FUZZ_SECONDS.
test: build
	./scripts/build-windows.sh $(BUILD)/windows $(BUILD)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	JOBS=$(JOBS) ./scripts/test-sanitized.sh $(BUILD)/sanitize

clean:
	rm -rf $(BUILD)
