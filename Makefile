# Thin wrapper over CMake. Every target first makes sure the build
# dependencies are installed (apt-get, only when something is missing).

JOBS      ?= 2
BUILD     ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
DEB_PACKAGES := cmake g++ make libgtest-dev libgmock-dev qt6-base-dev libbenchmark-dev \
	pybind11-dev python3-dev python3-numpy python3-pytest python3-distributed libcli11-dev \
	pkg-config libsndfile1-dev libsoxr-dev libfftw3-dev python3-torchaudio help2man python3-pandas

.PHONY: all deps build demo test test-sanitize test-thread format format-check clean

all: build

# Installs those of the Debian packages $(1) that are missing.
install_missing = missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	fi

deps:
	@$(call install_missing,$(DEB_PACKAGES))

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	./tools/demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	@if [ "$${CI:-}" = "true" ]; then $(MAKE) --no-print-directory format-check && $(MAKE) --no-print-directory test-package && $(MAKE) --no-print-directory fuzz-short && $(MAKE) --no-print-directory test-sanitize && $(MAKE) --no-print-directory test-thread && $(MAKE) --no-print-directory test-windows; fi

test-sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZORTAN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j$(JOBS)

# The core tests under ThreadSanitizer: the fvs reading thread and what it
# hands over to the coding run.
test-thread: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORTAN_BENCH=OFF \
	  -DZORTAN_THREAD_SANITIZE=ON
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target zortan_engine_tests zortan_tests
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/zortan_engine_tests
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/zortan_tests

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails when a source is not as clang-format writes it (run under CI).
format-check:
	@$(call install_missing,clang-format)
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(WIN_BUILD) build-fuzz

# The Debian package of the release build, $(BUILD)/zortan_<version>_<arch>.deb
# (CPack, cmake/ZortanPackage.cmake; dpkg-shlibdeps names the libraries).
# test-package (run under CI) checks it extracted with dpkg -x, then pip
# install of the checkout into a virtual environment (tests/install).
PACKAGE_PACKAGES := dpkg-dev python3-venv python3-pip python3-setuptools python3-wheel
.PHONY: package test-package

package: build
	@$(call install_missing,$(PACKAGE_PACKAGES))
	cd $(BUILD) && cpack -G DEB

test-package: package
	sh tests/install/test-package.sh $(BUILD)
	CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) sh tests/install/test-pip.sh $(BUILD)

# The Windows build, cross-compiled with MinGW-w64 (cmake/MinGW-w64.cmake):
# the core libraries and every command-line program, with the Qt window
# off; then the tests that run on Windows, under Wine (tests/windows).
WIN_BUILD ?= build-windows
WIN_PACKAGES := g++-mingw-w64-x86-64 wine64 wine googletest
.PHONY: deps-windows test-windows

deps-windows:
	@$(call install_missing,$(WIN_PACKAGES))

test-windows: deps deps-windows
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DZORTAN_DESKTOP=OFF -DZORTAN_BENCH=OFF
	cmake --build $(WIN_BUILD) -j$(JOBS)
	cd $(WIN_BUILD) && ctest --output-on-failure -j$(JOBS)

# Regenerates the bundled samples (see samples/README.md).
.PHONY: samples
samples: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS) --target zortan-samplegen
	$(BUILD)/zortan-samplegen samples

# Builds and runs the benchmarks: the microbenchmarks (medians of 5), the
# whole-run throughput of the console, then the desktop window with pictures
# on, offscreen (see docs/performance.md). The
# configure step runs again so that a build folder made before Google
# Benchmark was installed picks it up.
.PHONY: bench
bench: deps $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j$(JOBS) --target zortan-bench zortan-benchtool zortan-console \
	    zortan-desktop-bench
	$(BUILD)/bench/zortan-bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
	bench/whole_run.sh $(BUILD)
	$(BUILD)/bench/zortan-desktop-bench

# Fuzzing the readers (tools/fuzz.sh; clang with libFuzzer, in build-fuzz).
# fuzz-short is the CI pass: about a minute per target, at low priority.
FUZZ_PACKAGES := clang libclang-rt-14-dev
FUZZ_SECONDS ?= 60
.PHONY: fuzz-deps fuzz-short fuzz soak

fuzz-deps:
	@$(call install_missing,$(FUZZ_PACKAGES))

fuzz-short: deps fuzz-deps
	JOBS=$(JOBS) nice -n 10 ./tools/fuzz.sh all $(FUZZ_SECONDS)

# A longer pass: make fuzz FUZZ_TARGET=tree FUZZ_SECONDS=1800
FUZZ_TARGET ?= all
fuzz: deps fuzz-deps
	JOBS=$(JOBS) nice -n 10 ./tools/fuzz.sh $(FUZZ_TARGET) $(FUZZ_SECONDS)

# The soak run: a million events through the console (label soak).
soak: build
	cd $(BUILD) && ZORTAN_SOAK=1 ctest --output-on-failure -L soak
