#!/usr/bin/env bash
# Builds the Debian package from this build tree, unpacks it into a temporary root with dpkg -x
# and runs the installed program from there: the help, and the test merge of the sample, which
# needs the reader helper in its installed place.
set -euo pipefail
build_dir="$1"
source_dir="$2"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
(cd "$build_dir" && cpack -G DEB -B "$root/out" > "$root/cpack.log" 2>&1) || {
    cat "$root/cpack.log"
    exit 1
}
dpkg -x "$root"/out/mergix_*_amd64.deb "$root/install"
mergix="$root/install/usr/bin/mergix"
test -x "$root/install/usr/libexec/mergix-dbreader"
for file in usr/share/applications/mergix.desktop usr/share/mime/packages/mergix.xml \
    usr/share/man/man1/mergix.1.gz usr/share/metainfo/io.corvane.Mergix.metainfo.xml \
    usr/share/icons/hicolor/48x48/apps/mergix.png usr/share/doc/mergix/copyright; do
    test -f "$root/install/$file" || { echo "missing from the package: $file"; exit 1; }
done
# Read whole: grep -q would stop reading early, and the help's writer die of SIGPIPE.
help="$("$mergix" --help)"
grep -q -- "--test-merge FILE.mgx" <<<"$help"
export XDG_CONFIG_HOME="$root/config" LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
out="$("$mergix" --test-merge "$source_dir/examples/sample.mgx" 2>"$root/err")"
test "$(grep -c '^To: ' <<<"$out")" -eq 12 || { cat "$root/err"; exit 1; }
echo "1 passed, 0 failed"
