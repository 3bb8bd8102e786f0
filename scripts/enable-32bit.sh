#!/usr/bin/env bash
# Makes sure this machine can run 32-bit x86 programs, which the 32-bit Wine
# loader (wine32, from wine32:i386) needs to run the 32-bit plug-in.
#
# Most machines run them natively, and then nothing is done. Some cannot (the
# hypervisor refuses 32-bit code); there, when run as root, this registers the
# user-mode emulator qemu-i386 for 32-bit x86 ELF programs through
# binfmt_misc. The emulator is Debian 13's (package qemu-user; Debian 12's is
# too old for Wine), fetched with apt through a sources list of its own, so the
# machine's package sources stay as they are. The registration lasts until the
# machine restarts; the emulator is kept in /usr/local/libexec/velnari/ so a
# later run registers it again without a download.
#
#   enable-32bit.sh            register the emulator only where it is needed
#   enable-32bit.sh --emulate  register it even where 32-bit programs run
#                              natively (to try the emulator path)
#   enable-32bit.sh --remove   remove the registration
#   enable-32bit.sh --status   say how 32-bit programs run here; exit 0 when they do
#
# Never fails the set-up: where nothing can be done it says why and exits 0,
# and scripts/windows-check.sh then reports the 32-bit checks as skipped.
set -uo pipefail

mode=${1:-auto}
loader=/usr/lib/wine/wine  # wine32's loader, a 32-bit ELF program
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386
emulator=/usr/local/libexec/velnari/qemu-i386
suite=trixie

say() { echo "enable-32bit: $*"; }

# 32-bit ELF: class 1, little-endian, version 1, machine 3 (i386), an
# executable or a shared object (type 2 or 3). The magic and mask are those of
# Debian's own qemu-i386 binfmt entry. O: the kernel hands over the opened
# program; P: its argv[0] is kept; F: the emulator is opened now, so the entry
# works whatever happens to the file later.
magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

runs_32bit() { grep -q '^wine-' <<<"$(timeout 60 "$loader" --version 2>/dev/null)"; }
registered() { [ -e "$entry" ]; }

binfmt_ready() {
    [ -e "$binfmt/register" ] && return 0
    grep -qw binfmt_misc /proc/filesystems 2>/dev/null || return 1
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null
    [ -e "$binfmt/register" ]
}

# The mirror this machine already uses for Debian, so a local mirror serves
# the download too.
debian_mirror() {
    local uri
    uri=$(apt-get indextargets --format '$(REPO_URI)' 2>/dev/null |
        grep -m1 -E '/debian/?$' || true)
    echo "${uri:-http://deb.debian.org/debian/}"
}

fetch_emulator() {
    local work version
    work=$(mktemp -d) || return 1
    mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/parts"
    echo "deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
        "$(debian_mirror) $suite main" >"$work/sources.list"
    local apt_options=(
        -q -o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work/parts"
        -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work" -o "Dir::Cache::archives=$work/archives"
        -o "APT::Architectures::=amd64" -o "APT::Sandbox::User=root"
    )
    if ! apt-get "${apt_options[@]}" update >"$work/apt.log" 2>&1 ||
        ! (cd "$work" && apt-get "${apt_options[@]}" download qemu-user >>"$work/apt.log" 2>&1); then
        tail -5 "$work/apt.log"
        rm -rf "$work"
        return 1
    fi
    version=$(dpkg-deb -f "$work"/qemu-user_*.deb Version)
    mkdir -p "$work/x" "$(dirname "$emulator")" &&
        dpkg-deb -x "$work"/qemu-user_*.deb "$work/x" &&
        install -m 755 "$work/x/usr/bin/qemu-i386" "$emulator"
    local ok=$?
    rm -rf "$work"
    [ "$ok" -eq 0 ] && say "fetched qemu-user $version from Debian 13 ($suite) into $emulator"
    return $ok
}

register() {
    if [ "$(dpkg --print-architecture)" != amd64 ]; then
        say "the emulator is only set up on amd64 machines; nothing registered"
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        say "registering an emulator needs root; nothing registered"
        return 0
    fi
    if ! binfmt_ready; then
        say "the kernel offers no binfmt_misc; nothing registered"
        return 0
    fi
    if registered; then
        local which; which=$(sed -n 's/^interpreter //p' "$entry")
        if runs_32bit; then say "an i386 emulator is already registered ($which)"
        else say "an i386 emulator is registered ($which), but wine32 does not run through it"; fi
        return 0
    fi
    if [ ! -x "$emulator" ]; then
        fetch_emulator || { say "could not fetch qemu-user; nothing registered"; return 0; }
    fi
    if ! echo ":qemu-i386:M::$magic:$mask:$emulator:OPF" >"$binfmt/register"; then
        say "binfmt_misc refused the entry; nothing registered"
        return 0
    fi
    say "registered $emulator ($("$emulator" --version | head -1)) for 32-bit x86 programs" \
        "through binfmt_misc, until the machine restarts"
    if runs_32bit; then
        say "wine32 now runs through the emulator"
    else
        say "wine32 still does not run; removing the entry again"
        echo -1 >"$entry"
    fi
}

if [ ! -x "$loader" ]; then
    say "wine32 is not installed ($loader); nothing to do"
    [ "$mode" = --status ] && exit 1
    exit 0
fi

case $mode in
    auto)
        if runs_32bit; then
            if registered; then
                say "32-bit programs run through the registered emulator"
            else
                say "32-bit programs run natively; nothing registered"
            fi
        else
            register
        fi
        ;;
    --emulate) register ;;
    --remove)
        if registered; then
            echo -1 >"$entry" && say "removed the qemu-i386 entry"
        else
            say "no qemu-i386 entry to remove"
        fi
        ;;
    --status)
        if ! runs_32bit; then
            say "32-bit programs do not run here"
            exit 1
        fi
        if registered; then say "32-bit programs run through the registered emulator"
        else say "32-bit programs run natively"; fi
        ;;
    *)
        echo "usage: $0 [--emulate | --remove | --status]" >&2
        exit 2
        ;;
esac
exit 0
