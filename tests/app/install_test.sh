#!/bin/sh
# Installs the build into a scratch prefix and checks that the desktop can find everything:
# both programs, the help book, the menu entry, the icon and the .yyk file type.
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install: $*" >&2; exit 1; }
for file in bin/tovalen bin/tovalen-rec share/tovalen/help/Tovalen.hhp share/applications/tovalen.desktop \
            share/mime/packages/tovalen.xml share/icons/hicolor/32x32/apps/tovalen.png \
            share/icons/hicolor/32x32/mimetypes/application-x-tovalen-document.png; do
  [ -e "$prefix/$file" ] || fail "$file is missing"
done

desktop=$prefix/share/applications/tovalen.desktop
grep -qx 'Exec=tovalen %f' "$desktop" || fail "the menu entry does not pass the file to tovalen"
grep -qx 'MimeType=application/x-tovalen-document;' "$desktop" || fail "the menu entry does not open .yyk files"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "the menu entry is not valid"
fi

# The file type database that install refreshed maps *.yyk to the type the entry opens.
if command -v update-mime-database >/dev/null; then
  grep -q ':application/x-tovalen-document:\*\.yyk' "$prefix/share/mime/globs2" ||
    fail "*.yyk is not registered as application/x-tovalen-document"
fi

"$prefix/bin/tovalen-rec" --help >/dev/null || fail "the installed tovalen-rec does not run"
echo "install: all in place under a fresh prefix"
