#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those that are
# missing. Quick when everything is present. Runs apt-get as root, or through
# sudo when not root. Then makes sure 32-bit programs run (scripts/enable-32bit.sh)
# and that the Japanese locale the Windows checks use exists.
set -euo pipefail

packages=(
    # toolchain
    g++ make cmake ninja-build git pkg-config
    # libraries and test frameworks
    libboost-dev libgtest-dev libgmock-dev libbenchmark-dev
    libsndfile1-dev libsdl2-dev libcli11-dev nlohmann-json3-dev
    # gzip for the .vgz register logs
    zlib1g-dev
    # compiler cache for every preset
    ccache
    # Windows cross builds and running them
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64 wine32:i386
    # the Japanese locale of the Windows checks
    locales
    # fuzzing (libFuzzer and the sanitizer runtimes come with clang)
    clang libclang-rt-14-dev
    # audio checks in the tests
    sox
    # reading the MIDI files render writes, in the tests
    python3-mido
    # the web page: WebAssembly compiler, and the browser its tests drive
    emscripten chromium
    # packaging: the man page, the Debian package and its checks
    help2man dpkg-dev lintian
)

# The web page's packages come from npm (web/package-lock.json); npm comes with
# Node.js.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$p")
done

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages present"
else
    echo "install-deps: installing ${missing[*]}"
    # wine32 is an i386 package: dpkg must know that architecture first.
    if [[ " ${missing[*]} " == *":i386 "* ]] && ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q "${missing[@]}"
fi

# Only as root: registering an emulator is not worth a sudo prompt.
"$(dirname "$0")/enable-32bit.sh"

if ! grep -qx 'ja_JP.utf8' <<<"$(locale -a 2>/dev/null)"; then
    echo "install-deps: generating the ja_JP.UTF-8 locale"
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
        echo 'ja_JP.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo[@]}" locale-gen >/dev/null
fi
