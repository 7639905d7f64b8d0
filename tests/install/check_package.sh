#!/usr/bin/env bash
# Builds the Debian package of a build (cpack -G DEB, into a temporary folder) and checks it as dpkg
# sees it: its Depends name the Qt 6 libraries the programs link, and it holds the programs, the desktop
# entry, the MIME type, the icons and the manual pages, and nothing that belongs to development; and
# lintian, when installed, finds nothing at its default level.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail

build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1 || {
    cat "$tmp/cpack.log" >&2
    echo "FAIL: cpack -G DEB" >&2
    exit 1
}
debs=("$tmp"/veltro_*.deb)
[ -f "${debs[0]}" ] || {
    cat "$tmp/cpack.log" >&2
    echo "FAIL: cpack made no veltro_*.deb" >&2
    exit 1
}
deb=${debs[0]}

dpkg-deb --info "$deb" >"$tmp/info"
field() { sed -n "s/^ $1: //p" "$tmp/info"; }
[ "$(field Package)" = veltro ] || fail "Package is '$(field Package)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6printsupport6 libc6; do
    [[ "$depends" =~ (^|, )$library( |,|$) ]] || fail "Depends lacks $library: '$depends'"
done
# The triggers of shared-mime-info, desktop-file-utils and hicolor-icon-theme rebuild the caches.
dpkg-deb --ctrl-tarfile "$deb" | tar -t >"$tmp/control-files"
! grep -qE 'postinst|postrm' "$tmp/control-files" || fail "maintainer scripts: $(cat "$tmp/control-files")"

dpkg-deb --contents "$deb" | awk '{ print $NF }' | sed 's|^\./|/|' >"$tmp/contents"
expected=(/usr/bin/veltro /usr/bin/px3tool /usr/share/applications/veltro.desktop
    /usr/share/mime/packages/veltro.xml /usr/share/icons/hicolor/scalable/apps/veltro.svg)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/veltro.png")
done
for page in veltro px3tool; do
    grep -qE "^/usr/share/man/man1/$page\.1(\.gz)?$" "$tmp/contents" || fail "no manual page $page.1"
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$tmp/contents" || fail "the package lacks $path"
done
stray=$(grep -E '/include/|/usr/lib|\.a$|\.so(\.|$)|\.cmake$|gtest|gmock|benchmark|_tests$' "$tmp/contents" || true)
[ -z "$stray" ] || fail "files that do not belong: $stray"

# Debian's own checker: no error and no warning at its default level.
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" >"$tmp/lintian" 2>&1 || fail "lintian: $(grep -E '^[EW]:' "$tmp/lintian")"
fi

if [ "$failures" -gt 0 ]; then
    cat "$tmp/info" >&2
    echo "$failures failures" >&2
    exit 1
fi
grep '^ Depends:' "$tmp/info"
echo "package: $(basename "$deb"), $(grep -vc '/$' "$tmp/contents") entries"
