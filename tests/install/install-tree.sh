#!/usr/bin/env bash
# An installation as a user makes one, and someone else's project built
# against it:
#   - `cmake --install` into a scratch prefix, and the same under DESTDIR;
#   - the installed program renders an installed example from a folder
#     outside the source tree;
#   - tests/consumer, configured with find_package against the prefix, and the
#     same source compiled with pkg-config's flags, each render one second of
#     that song byte for byte as the installed program does;
#   - the public headers pull in no Boost header.
#   install-tree.sh BUILD_DIR SOURCE_DIR CXX [COMPILER_LAUNCHER]
# (the launcher as CMake holds it: a command and its arguments, separated by
# semicolons)
set -euo pipefail
build=$1 source=$2 cxx=$3 launcher=${4:-}
IFS=';' read -ra launch <<<"$launcher"
work=$(mktemp -d /tmp/velnari-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
DESTDIR=$work/root cmake --install "$build" --prefix /opt/velnari >/dev/null
[ ! -e /opt/velnari ] || fail "DESTDIR not honoured: /opt/velnari exists"
diff <(cd "$prefix" && find . | sort) <(cd "$work/root/opt/velnari" && find . | sort) ||
    fail "the DESTDIR installation differs from the --prefix one"

# No settings of the tester's reach the program.
export XDG_CONFIG_HOME=$work/config
mkdir -p "$work/elsewhere"
cd "$work/elsewhere"
song=$prefix/share/velnari/examples/demo.mml
"$prefix/bin/velnari" render "$song" -o demo.wav --seconds 1 || fail "installed program cannot render"
[ "$(stat -c %s demo.wav)" -eq $((44 + 44100 * 4)) ] || fail "demo.wav is not one second long"
"$prefix/bin/velnari" render "$song" -o - --seconds 1 >program.raw

# The consumer through the CMake package.
configure=(cmake -S "$source/tests/consumer" -B consumer -G Ninja -DCMAKE_PREFIX_PATH="$prefix"
           -DCMAKE_CXX_COMPILER="$cxx")
[ -z "$launcher" ] || configure+=(-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")
"${configure[@]}" >consumer.log 2>&1 || { cat consumer.log; fail "consumer does not configure"; }
grep -qx "velnari_DIR:PATH=$prefix/lib/cmake/velnari" consumer/CMakeCache.txt ||
    fail "consumer found another velnari: $(grep velnari_DIR consumer/CMakeCache.txt)"
cmake --build consumer >>consumer.log 2>&1 || { cat consumer.log; fail "consumer does not build"; }
consumer/render_second <"$song" >consumer.raw || fail "consumer failed"
cmp program.raw consumer.raw || fail "the consumer's second differs from the program's"
cmp -s consumer.raw <(head -c "$(stat -c %s consumer.raw)" /dev/zero) && fail "silent render"

# The consumer through pkg-config, which sees only this installation.
flags=$(PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig pkg-config --cflags --libs velnari)
# shellcheck disable=SC2086  # the flags are words
"${launch[@]}" "$cxx" -std=c++20 "$source/tests/consumer/render_second.cpp" $flags -o pc_render_second ||
    fail "consumer does not build with pkg-config's flags: $flags"
./pc_render_second <"$song" | cmp program.raw - || fail "pkg-config build renders differently"

# The public headers, and everything they include.
headers=$(cd "$prefix/include" && find velnari -name '*.h' | sed 's/.*/#include <&>/')
deps=$(echo "$headers" | "$cxx" -std=c++20 -M -I"$prefix/include" -I"$prefix/include/velnari" -x c++ -)
if grep -o '[^ ]*boost/[^ ]*' <<<"$deps"; then fail "a public header includes Boost"; fi
echo "PASS install tree, consumer (CMake and pkg-config), header closure"
