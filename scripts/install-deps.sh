#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those that are
# missing. Quick when everything is present. Runs apt-get as root, or through
# sudo when not root.
set -euo pipefail

packages=(
    # toolchain
    g++ make cmake ninja-build git pkg-config
    # libraries and test frameworks
    libboost-dev libgtest-dev libgmock-dev libbenchmark-dev
    libsndfile1-dev libsdl2-dev libcli11-dev nlohmann-json3-dev
    # Windows cross builds and running them
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64
    # fuzzing (libFuzzer and the sanitizer runtimes come with clang)
    clang libclang-rt-14-dev
    # audio checks in the tests
    sox
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages present"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q "${missing[@]}"
