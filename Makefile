# Quick start: `make run` and `make test`. Both install what is missing first.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60

.PHONY: all deps build check test run install deb bench fuzz soak safety clean format

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

# The default suites, for the edit-build-test loop: all but the package's, which builds one.
check: build
	ctest --preset default --label-exclude package

# Every suite, in the default build and again under AddressSanitizer and UBSan.
test: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)
	ctest --preset default
	cmake --preset asan-ubsan
	cmake --build --preset asan-ubsan -j $(JOBS)
	ctest --preset asan-ubsan

# With a display: Vantor in its own window. Without: ten seconds rendered headless into out/.
run: build
	@if [ -n "$$DISPLAY" ]; then \
	  build/default/src/vantor; \
	else \
	  echo "make run: no DISPLAY, rendering 10 seconds at 1280x720 without one"; \
	  build/default/src/vantor --render out --frames 300 --size 1280x720 && \
	  echo "make run: the frames are in $(CURDIR)/out/ (frame-00001.png to frame-00300.png)"; \
	fi

# Honours DESTDIR and CMAKE_INSTALL_PREFIX (default /usr/local), e.g.
#   make install CMAKE_INSTALL_PREFIX=/usr DESTDIR=/tmp/stage
install: build
	DESTDIR="$(DESTDIR)" cmake --install build/default --strip $(if $(CMAKE_INSTALL_PREFIX),--prefix "$(CMAKE_INSTALL_PREFIX)")

# The Debian package, built from a clean copy of the tracked files and linted, into build/deb/.
deb: deps
	@scripts/build-deb build/deb

# The figures and their targets in one table, then the mirrored replay against redrawing. The
# table sets Vantor beside Debian's GL kaleidoscope hack, installed here for that alone.
PEER_PACKAGE = xscreensaver-gl

bench: build
	@dpkg-query -W -f='$${Status}' $(PEER_PACKAGE) 2>/dev/null | grep -q "install ok installed" || \
	  { echo "make bench: installing $(PEER_PACKAGE) to compare against" >&2; \
	    if [ "$$(id -u)" -eq 0 ]; then apt-get install -y $(PEER_PACKAGE); \
	    else sudo apt-get install -y $(PEER_PACKAGE); fi; }
	bench/table.py build/default/bench
	build/default/bench/reflection_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

# The JPEG loader, the command-line parser and the photo decoders under libFuzzer, each over its
# seed corpus.
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target jpeg_fuzzer commandline_fuzzer \
	  photo_fuzzer
	mkdir -p build/fuzz/corpus build/fuzz/commandline-corpus build/fuzz/photo-corpus
	build/fuzz/fuzz/jpeg_fuzzer -max_total_time=$(FUZZ_SECONDS) -close_fd_mask=2 \
	  -rss_limit_mb=6144 -timeout=20 -print_final_stats=1 build/fuzz/corpus fuzz/corpus
	build/fuzz/fuzz/commandline_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=5 \
	  -print_final_stats=1 build/fuzz/commandline-corpus fuzz/commandline-corpus
	build/fuzz/fuzz/photo_fuzzer -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -timeout=20 \
	  -print_final_stats=1 build/fuzz/photo-corpus fuzz/photo-corpus

# The flash analyser over renders at every speed (1 to 4), arrangement (random, 10, 22) and glow,
# SAFETY_SEEDS seeds of a simulated minute each at 512x384, two at a time: the worst share of a
# field that flashes, per setting; and the same at each speed with high-contrast photos the tool
# draws (--photos, the glow on). Fails on any flash past the thresholds.
SAFETY_SEEDS ?= 20

safety: build
	tools/make-sample-photos.py --high-contrast build/safety-photos
	tools/flash/safety.py --program build/default/src/vantor \
	  --analyser build/default/tools/vantor-flash --resources resources --seeds $(SAFETY_SEEDS) \
	  --photos build/safety-photos

# A simulated day of frames (make test runs an hour).
soak: build
	VANTOR_SOAK_SECONDS=86400 build/default/tests/scene_test --gtest_filter='Soak.*'

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build out
