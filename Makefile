# The two commands of the README:
#   make demo   - install what is missing, build, render the bundled example song
#   make check  - install what is missing, build every preset, run every test
.PHONY: all deps demo check build-release build-asan build-tsan build-mingw32 build-mingw64 \
        test-release test-asan test-tsan soak test-windows bench fuzz fuzz-smoke format clean web \
        web-serve web-bench test-web dist

SHELL := /bin/bash
CMAKE ?= cmake
CTEST ?= ctest

all: build-release

deps:
	@scripts/install-deps.sh

# Phony targets get no pattern rules, so each preset's build is spelt out.
build-release build-asan build-tsan build-mingw32 build-mingw64: build-%: deps
	$(CMAKE) --preset $*
	$(CMAKE) --build --preset $*

test-release: build-release
	$(CTEST) --preset release

test-asan: build-asan
	$(CTEST) --preset asan

# The thread test under ThreadSanitizer; the preset builds that test alone.
test-tsan: build-tsan
	$(CTEST) --preset tsan

# The Windows builds and their tests under Wine; see scripts/windows-check.sh.
test-windows: deps
	@if [ -x scripts/windows-check.sh ]; then scripts/windows-check.sh; \
	 else echo "windows: no checks yet"; fi

# Short libFuzzer runs from the seed corpus; see scripts/fuzz.sh.
fuzz-smoke: deps
	@if [ -x scripts/fuzz.sh ]; then scripts/fuzz.sh smoke; else echo "fuzz: no targets yet"; fi

fuzz: deps
	scripts/fuzz.sh long

# The web page (docs/web.md): the WebAssembly module (preset "wasm"), the npm
# packages pinned by web/package-lock.json, and the bundle in build/web/.
WEB_PORT ?= 8080

web/node_modules/.installed: web/package-lock.json | deps
	cd web && npm ci --no-audit --no-fund
	touch $@

web: deps web/node_modules/.installed
	$(CMAKE) --preset wasm
	$(CMAKE) --build --preset wasm
	node web/build.mjs build/wasm build/web

web-serve: web
	node web/serve.mjs build/web $(WEB_PORT)

# Render speed in Chromium and download size, as docs/web.md reports them.
web-bench: web
	node web/measure.mjs build/web

# The page in headless Chromium, against the command line's renders.
test-web: web build-release
	node --test --test-concurrency=1 tests/web/

# 28 hours of audio through the plug-in's entry points (about two minutes of
# CPU), one request of 4 GiB among them; docs/robustness.md has the result.
soak: build-release
	build/release/soak examples/demo.mml 28 --huge

check: test-release test-asan test-tsan test-windows fuzz-smoke test-web
	@echo "check: all presets built and all tests passed"

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
	find src cli tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
