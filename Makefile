# make run   : install what is missing, build the program and its data set, start it
# make test  : the same set-up, then build and run every test in a normal and a sanitizer build
# make bench : build and run the benchmarks
# make build : build everything (program, data set, tests, benchmarks, tools)
# make fuzz  : build the fuzz targets with clang and run each for FUZZ_SECONDS
# make coverage : run every test in a gcov build, then print line coverage per folder

JOBS         ?= $(shell nproc)
BUILD        ?= build
BUILD_ASAN   ?= build-asan
BUILD_FUZZ   ?= build-fuzz
BUILD_COV    ?= build-cov
FUZZ_SECONDS ?= 60
CMAKE_FLAGS  ?=

.PHONY: all deps build build-asan run test test-normal test-asan bench fuzz coverage clean format

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

$(BUILD_ASAN)/build.ninja: | deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(BUILD_ASAN)/build.ninja
	cmake --build $(BUILD_ASAN) -j $(JOBS)

# Each of these builds only its own target: the program with its data set, or
# the test programs (with the program and data they start), or the benchmarks.
run: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target program
	cd $(BUILD) && ./quorvel

test-normal: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target tests
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps $(BUILD_ASAN)/build.ninja
	cmake --build $(BUILD_ASAN) -j $(JOBS) --target tests
	cd $(BUILD_ASAN) && ctest --output-on-failure -j $(JOBS)

test: test-normal test-asan

# Without a display the drawing benchmarks run on the offscreen renderer.
HEADLESS_ENV = $(if $(DISPLAY)$(WAYLAND_DISPLAY),,SDL_VIDEODRIVER=offscreen) ALSOFT_DRIVERS=null QUORVEL_DIALOGS=script

bench: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@set -e; for s in bench/*.cpp; do b=$(BUILD)/bench/bench_$$(basename $$s .cpp); \
	  echo "== $$b"; $(HEADLESS_ENV) $$b; done

fuzz:
	@bash scripts/install-deps.sh fuzz
	cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DQUORVEL_FUZZ=ON -DQUORVEL_TESTS=OFF -DQUORVEL_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	@set -e; for f in $(BUILD_FUZZ)/fuzz/fuzz_*; do \
	  [ -x "$$f" ] || continue; echo "== $$f"; \
	  mkdir -p $(BUILD_FUZZ)/corpus/$$(basename $$f); \
	  $$f -max_total_time=$(FUZZ_SECONDS) $(BUILD_FUZZ)/corpus/$$(basename $$f); done

# Counters from an earlier run are removed first so the figures are this run's.
$(BUILD_COV)/build.ninja: | deps
	cmake -S . -B $(BUILD_COV) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_BENCH=OFF \
	  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
	  -DCMAKE_EXE_LINKER_FLAGS=--coverage $(CMAKE_FLAGS)

coverage: deps $(BUILD_COV)/build.ninja
	cmake --build $(BUILD_COV) -j $(JOBS)
	find $(BUILD_COV) -name '*.gcda' -delete
	-cd $(BUILD_COV) && ctest -j $(JOBS) --timeout 900 > ctest.log 2>&1; tail -3 ctest.log
	python3 scripts/coverage.py $(BUILD_COV)

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ) $(BUILD_COV)

# Formats every C++ file with the repository's .clang-format.
format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
