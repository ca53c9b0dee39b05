#!/bin/sh
# Installs the build into a scratch prefix and checks that the desktop can find everything:
# both programs, the help book, the menu entry, the icon, the .yyk file type and the user unit,
# and the manual pages, the shell completion and the AppStream metadata.
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install: $*" >&2; exit 1; }
for file in bin/tovalen bin/tovalen-rec share/tovalen/help/Tovalen.hhp share/applications/tovalen.desktop \
            share/mime/packages/tovalen.xml share/icons/hicolor/32x32/apps/tovalen.png \
            share/icons/hicolor/32x32/mimetypes/application-x-tovalen-document.png \
            share/man/man1/tovalen.1.gz share/man/man1/tovalen-rec.1.gz share/bash-completion/completions/tovalen-rec \
            share/metainfo/org.tovalen.tovalen.metainfo.xml share/doc/tovalen/copyright; do
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

# The unit runs the installed recorder on the file its instance names, and systemd accepts it.
unit=$prefix/lib/systemd/user/tovalen-rec@.service
[ -e "$unit" ] || fail "lib/systemd/user/tovalen-rec@.service is missing"
grep -qx "ExecStart=$prefix/bin/tovalen-rec run --late %f" "$unit" || fail "the unit does not run the installed tovalen-rec"
grep -qx 'Restart=on-failure' "$unit" || fail "the unit is not restarted on failure"
if command -v systemd-analyze >/dev/null; then
  instance=$prefix/lib/systemd/user/tovalen-rec@home-user-tv.yyk.service
  ln -s tovalen-rec@.service "$instance"
  complaints=$(systemd-analyze verify "$instance" 2>&1) || fail "systemd refuses the unit: $complaints"
  [ -z "$complaints" ] || fail "systemd warns about the unit: $complaints"
  rm "$instance"
fi

"$prefix/bin/tovalen-rec" --help >/dev/null || fail "the installed tovalen-rec does not run"
echo "install: all in place under a fresh prefix"
