#!/usr/bin/env bash
# Installs a build into a fresh prefix and checks what a desktop reads from it: the desktop entry, the
# MIME type of recordings (against our RELAX NG rules, then through update-mime-database), the icon in
# every size, the manual pages (every command of the programs' own help included) and that nothing
# else came along.
# Usage: check_install.sh BUILD_DIR SCHEMA.rng
set -euo pipefail

build=$1
schema=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

prefix=$tmp/usr
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || {
    cat "$tmp/install.log" >&2
    echo "FAIL: cmake --install" >&2
    exit 1
}
share=$prefix/share

# Only the two programs and their data: no test programs, libraries, headers or CMake files.
bins=$(cd "$prefix/bin" && ls | tr '\n' ' ')
[ "$bins" = "px3tool veltro " ] || fail "bin/ holds '$bins', not px3tool and veltro"
stray=$(cd "$prefix" && find . -type f | grep -E '/include/|/lib(64)?/|\.a$|\.so(\.|$)|\.cmake$|gtest|gmock|benchmark' || true)
[ -z "$stray" ] || fail "installed files that do not belong: $stray"

# The desktop entry.
entry=$share/applications/veltro.desktop
if [ -f "$entry" ]; then
    desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
    for line in 'Name=Veltro' 'Exec=veltro %f' 'Icon=veltro' 'Terminal=false' 'MimeType=application/x-px3_ext;'; do
        grep -qxF "$line" "$entry" || fail "$entry lacks the line '$line'"
    done
    grep -q '^Comment=.' "$entry" || fail "$entry has no Comment"
    grep -q '^Categories=.' "$entry" || fail "$entry has no Categories"
else
    fail "no $entry"
fi

# The MIME type: our rules of the format, then the database the desktop builds from it.
xml=$share/mime/packages/veltro.xml
if [ -f "$xml" ]; then
    xmllint --noout --relaxng "$schema" "$xml" 2>"$tmp/xmllint.log" ||
        fail "$xml does not follow the shared-mime-info rules: $(cat "$tmp/xmllint.log")"
    mkdir -p "$tmp/mime"
    cp -r "$share/mime/packages" "$tmp/mime/"
    update-mime-database "$tmp/mime" >"$tmp/update.log" 2>&1 || fail "update-mime-database: $(cat "$tmp/update.log")"
    grep -qxF '50:application/x-px3_ext:*.px3' "$tmp/mime/globs2" ||
        fail "globs2 does not map *.px3 to application/x-px3_ext: $(cat "$tmp/mime/globs2")"
    # The magic file: a section [priority:type], then ">offset=", the value's length (two bytes, big
    # endian) and the value. NUL bytes become @ so that text tools can read it.
    tr '\0' '@' <"$tmp/mime/magic" | awk '
        prev == "[50:application/x-px3_ext]" && $0 == ">0=@\004PXV3" { found = 1 }
        { prev = $0 }
        END { exit !found }' || fail "magic has no match of \"PXV3\" at offset 0 for application/x-px3_ext"
    grep -qF 'Veltro data file' "$tmp/mime/application/x-px3_ext.xml" ||
        fail "the type's comment is not \"Veltro data file\""
else
    fail "no $xml"
fi

# The icon: every fixed size of the hicolor theme at its own pixel size, and the scalable one.
for size in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/veltro.png
    if [ ! -f "$png" ]; then
        fail "no $png"
        continue
    fi
    # The signature, then the IHDR chunk's width and height (four bytes each, big endian).
    signature=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
    [ "$signature" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
    read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
    width=$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))
    height=$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$png is ${width}x${height}"
done
svg=$share/icons/hicolor/scalable/apps/veltro.svg
xmllint --noout "$svg" 2>"$tmp/xmllint.log" || fail "$svg is not well-formed: $(cat "$tmp/xmllint.log")"

# The manual pages: no groff warning, and every command and option the programs' help names.
for page in veltro px3tool; do
    if [ ! -f "$share/man/man1/$page.1.gz" ]; then
        fail "no $share/man/man1/$page.1.gz"
        continue
    fi
    man=$tmp/$page.1
    gzip -dc "$share/man/man1/$page.1.gz" >"$man"
    LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$man" 2>"$tmp/groff.err" || fail "groff $man"
    [ ! -s "$tmp/groff.err" ] || fail "groff warns about $man: $(cat "$tmp/groff.err")"
    LC_ALL=C.UTF-8 groff -man -Tutf8 -P-cbou "$man" >"$tmp/$page.txt" 2>/dev/null
done
if [ -f "$tmp/px3tool.txt" ]; then
    "$prefix/bin/px3tool" --help | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p' >"$tmp/commands"
    [ -s "$tmp/commands" ] || fail "px3tool --help names no command"
    # Each command heads an entry of the COMMANDS section.
    sed -n '/^COMMANDS/,/^[A-Z]/p' "$tmp/px3tool.txt" >"$tmp/px3tool-commands.txt"
    while read -r command; do
        grep -qE "^ {7}$command( |$)" "$tmp/px3tool-commands.txt" || fail "px3tool.1 does not describe '$command'"
    done <"$tmp/commands"
fi
if [ -f "$tmp/veltro.txt" ]; then
    "$prefix/bin/veltro" --help | grep -oE -- '--[a-z-]+' | sort -u >"$tmp/options"
    while read -r option; do
        grep -qF -- "$option" "$tmp/veltro.txt" || fail "veltro.1 does not describe '$option'"
    done <"$tmp/options"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures failures" >&2
    exit 1
fi
echo "installed files: $(cd "$prefix" && find . -type f | sort | tr '\n' ' ')"
