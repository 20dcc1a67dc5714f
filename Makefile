# Front door: `make demo`, `make test`, `make bench`, `make install PREFIX=...`.
BUILD   ?= build
PREFIX  ?= /usr/local
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# The build's own progress lines are what matter; not every sub-make's folder changes.
MAKEFLAGS += --no-print-directory

.PHONY: all bootstrap configure build demo test test-wheel test-interop test-asan test-tsan fuzz fuzz-ci bench install clean

all: build

bootstrap:
	@scripts/bootstrap.sh

$(BUILD)/CMakeCache.txt: | bootstrap
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: bootstrap $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The Python package built as a wheel, installed into a fresh virtual environment, and its tests
# run against that installed copy.
test-wheel: bootstrap
	scripts/test_wheel.sh $(BUILD)

# Other programs read what the tool writes as it was meant, and it reads theirs: every sample in
# tests/data against Biopython, EMBOSS seqret, io_lib's own tools, samtools and bgzip (Debian's, installed when
# missing, so Debian's python3 runs the check).
INTEROP_PACKAGES = python3 python3-biopython emboss staden-io-lib-utils seqkit samtools tabix
test-interop: build
	@scripts/bootstrap.sh $(INTEROP_PACKAGES)
	/usr/bin/python3 tests/interop/interop.py $(BUILD)/tools/modelfactory

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
SAN_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
          LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0 \
          UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
test-asan: bootstrap
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMF_SANITIZE="address;undefined" $(CMAKE_FLAGS)
	$(SAN_ENV) cmake --build build-asan -j $(JOBS)
	cd build-asan && $(SAN_ENV) ctest --output-on-failure -j $(JOBS) -LE install

# The concurrency tests under ThreadSanitizer.
TSAN_TARGETS = mf_common_thread_tests mf_trace_tests mf_factory_thread_tests mf_hardening_soak_tests
test-tsan: bootstrap
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMF_SANITIZE=thread -DMF_BUILD_TOOLS=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target $(TSAN_TARGETS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L threads

# Fuzz targets with clang's libFuzzer (+ASan+UBSan) in build-fuzz: `make fuzz` builds them,
# `make fuzz-ci` also replays fuzz/regressions and runs each target for FUZZ_SECONDS (5) seconds.
fuzz:
	fuzz/run.sh build build-fuzz

fuzz-ci:
	fuzz/run.sh ci build-fuzz

bench: bootstrap
	@scripts/bench.sh

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)
