#!/usr/bin/env bash
# The Debian package as `make dist` builds it: its name, what it declares
# and holds, the program and the plug-in run from a throw-away root it is
# unpacked into (dpkg -x), and lintian's verdict (no errors, no warnings).
#   debian-package.sh BUILD_DIR VERSION HOST_PROGRAM
set -euo pipefail
build=$1 version=$2 host=$3
work=$(mktemp -d /tmp/velnari-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/dist" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb=$work/dist/velnari_${version}_amd64.deb
[ -f "$deb" ] || fail "no $deb: $(ls "$work/dist")"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libsdl2 libsndfile1; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
# Output is searched from a string, not a pipe: under pipefail, grep -q
# leaving early can kill the writer with SIGPIPE and fail a passing check.
grep -q 'register logs (VGM, VGZ, S98)' <<<"$(dpkg-deb -f "$deb" Description)" ||
    fail "the description does not mention register logs"
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in usr/bin/velnari usr/lib/velnari/plugin/velnari.so usr/share/man/man1/velnari.1.gz \
            usr/share/bash-completion/completions/velnari usr/share/doc/velnari/copyright \
            usr/share/doc/velnari/changelog.gz usr/share/doc/velnari/velnari.ini \
            usr/share/velnari/examples/demo.mml; do
    grep -qx "./$file" <<<"$contents" || fail "the package lacks /$file"
done
if grep -E '\.(h|a|pc)$' <<<"$contents"; then fail "development files in the package"; fi

root=$work/root
dpkg -x "$deb" "$root"
mkdir "$work/elsewhere" && cd "$work/elsewhere"
export XDG_CONFIG_HOME=$work/config
grep -q '^Usage: velnari' <<<"$("$root/usr/bin/velnari" --help)" || fail "velnari --help"
[ "$("$root/usr/bin/velnari" --version)" = "velnari $version" ] || fail "velnari --version"
"$root/usr/bin/velnari" render "$root/usr/share/velnari/examples/demo.mml" --seconds 1 -o demo.wav ||
    fail "render from the unpacked package"
[ "$(stat -c %s demo.wav)" -eq $((44 + 44100 * 4)) ] || fail "demo.wav is not one second long"
"$host" "$root/usr/lib/velnari/plugin/velnari.so" "$root/usr/share/velnari/examples/demo.mml" \
    --seconds 1 --out plugin.wav >host.log || fail "the packaged plug-in does not play"
grep -q "^description: velnari $version:" host.log || fail "module record: $(grep description host.log)"
man=$(zcat "$root/usr/share/man/man1/velnari.1.gz")
grep -q "^\.TH VELNARI \"1\" .*\"velnari $version\"" <<<"$man" ||
    fail "the man page does not carry version $version"
grep -q '^\.B 128+N$' <<<"$man" ||
    fail "the man page's EXIT STATUS lacks 128+N"

if ! lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1; then
    cat "$work/lintian.log"
    fail "lintian"
fi
echo "PASS $(basename "$deb"): contents, unpacked run, lintian"
