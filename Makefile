# The two commands of the README:
#   make demo   - install what is missing, build, render the bundled example song
#   make check  - install what is missing, build every preset, run every test
.PHONY: all deps demo check build-release build-asan build-tsan build-mingw32 build-mingw64 \
        test-release test-asan test-tsan check-layers check-stages soak test-windows bench fuzz fuzz-smoke format clean web \
        web-serve web-bench test-web dist

SHELL := /bin/bash
CMAKE ?= cmake
CTEST ?= ctest
# Each stage's commands run under STAGE, which notes their time for the table
# that `make check` prints at its end (scripts/stage-time.sh).
STAGE := scripts/stage-time.sh

all: build-release

# (make check installs once, before its lanes start; they skip this.)
deps:
	@[ -n "$(VELNARI_DEPS_DONE)" ] || $(STAGE) deps scripts/install-deps.sh

# Phony targets get no pattern rules, so each preset's build is spelt out.
build-release build-asan build-tsan build-mingw32 build-mingw64: build-%: deps
	$(STAGE) build-$* $(CMAKE) --preset $*
	$(STAGE) build-$* $(CMAKE) --build --preset $*

test-release: build-release
	$(STAGE) test-release $(CTEST) --preset release

# The layers' boundaries alone (tests/layers, a few seconds): an include across
# one must fail to build. make check runs them with the rest.
check-layers: build-release
	$(CTEST) --preset release -R '^layer_'

test-asan: build-asan
	$(STAGE) test-asan $(CTEST) --preset asan

# The thread test under ThreadSanitizer; the preset builds that test alone.
test-tsan: build-tsan
	$(STAGE) test-tsan $(CTEST) --preset tsan

# The Windows builds and their tests under Wine; see scripts/windows-check.sh.
test-windows: deps
	@$(STAGE) windows scripts/windows-check.sh

# Short libFuzzer runs from the seed corpus; see scripts/fuzz.sh.
fuzz-smoke: deps
	@$(STAGE) fuzz-smoke scripts/fuzz.sh smoke

fuzz: deps
	scripts/fuzz.sh long

# The web page (docs/web.md): the WebAssembly module (preset "wasm"), the npm
# packages pinned by web/package-lock.json, and the bundle in build/web/.
WEB_PORT ?= 8080

web/node_modules/.installed: web/package-lock.json | deps
	cd web && ../$(STAGE) web npm ci --no-audit --no-fund
	touch $@

web: deps web/node_modules/.installed
	$(STAGE) web $(CMAKE) --preset wasm
	$(STAGE) web $(CMAKE) --build --preset wasm
	$(STAGE) web node web/build.mjs build/wasm build/web

web-serve: web
	node web/serve.mjs build/web $(WEB_PORT)

# Render speed in Chromium and download size, as docs/web.md reports them.
web-bench: web
	node web/measure.mjs build/web

# The page in headless Chromium, against the command line's renders.
test-web: web build-release
	$(STAGE) test-web node --test --test-concurrency=1 tests/web/

# 28 hours of audio through the plug-in's entry points (about two minutes of
# CPU), one request of 4 GiB among them; docs/robustness.md has the result.
soak: build-release
	build/release/soak examples/demo.mml 28 --huge

# Every stage, then the time each took (also on failure; the table is kept in
# build/check-times.txt). The stages run in two lanes at once, each lane in
# order, their output lines marked with the lane's name: much of a stage's
# time leaves a core idle (configuring, linking, the last test, Wine and the
# browser starting, one fuzz target alone), which the other lane then uses.
# Lanes share no build folder, and each runs one stage at a time even under
# make -j. The native lane builds, and tests, what the other stages do not
# touch: the release build (which the Windows and the browser checks compare
# against), Windows and the web page.
CHECK_NATIVE := test-release test-windows test-web
CHECK_SANITIZERS := test-asan test-tsan fuzz-smoke

check:
	@mkdir -p build && rm -f build/check-times.txt
	@export VELNARI_STAGE_TIMES=$(CURDIR)/build/check-times.txt; \
	 $(STAGE) check $(MAKE) --no-print-directory check-stages; \
	 status=$$?; $(STAGE) --report build/check-times.txt; exit $$status

check-stages: deps
	@set -o pipefail; export VELNARI_DEPS_DONE=1; \
	 $(MAKE) -j1 --no-print-directory $(CHECK_NATIVE) 2>&1 | sed -u 's/^/[native] /' & native=$$!; \
	 $(MAKE) -j1 --no-print-directory $(CHECK_SANITIZERS) 2>&1 | sed -u 's/^/[sanitizers] /' & \
	 sanitizers=$$!; status=0; \
	 wait $$native || { status=1; echo "check: the native lane failed"; }; \
	 wait $$sanitizers || { status=1; echo "check: the sanitizers lane failed"; }; \
	 [ $$status -eq 0 ] && echo "check: all presets built and all tests passed"; exit $$status

# The packages, in build/dist/: velnari_<version>_amd64.deb from the release
# build and velnari-<version>-win32.zip from both Windows builds (see the
# README's "Packages"), then lintian's verdict on the .deb.
dist: build-release build-mingw32 build-mingw64
	cpack --config build/release/CPackConfig.cmake -B build/dist
	cpack --config build/mingw32/CPackConfig.cmake -B build/dist
	lintian --fail-on error,warning build/dist/velnari_*_amd64.deb
	@ls -l build/dist/*.deb build/dist/*.zip

demo: build-release
	build/release/velnari render examples/demo.mml -o build/demo.wav
	@bytes=$$(stat -c %s build/demo.wav) && \
	 awk -v b="$$bytes" -v f="$(CURDIR)/build/demo.wav" 'BEGIN { \
	     s = (b - 44) / 4 / 44100; \
	     printf "demo: wrote %s, %d:%04.1f long (play it with: build/release/velnari play examples/demo.mml)\n", \
	            f, int(s / 60), s - 60 * int(s / 60) }'

bench: build-release
	@for b in build/release/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	find src cli tools tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
