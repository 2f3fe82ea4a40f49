#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks what a desktop expects:
# both programs where PATH finds them, a valid desktop entry, the icon in the
# hicolor theme, the man page, the MIME type for Paradox tables.
# Usage: check_install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FEHLER: $*" >&2; exit 1; }

command -v desktop-file-validate >/dev/null || fail "desktop-file-validate fehlt (Paket desktop-file-utils)"
DESTDIR="$scratch" cmake --install "$build" --prefix /usr >/dev/null

root=$scratch/usr
for f in bin/brisvel bin/brisvel-cli; do
  [ -x "$root/$f" ] || fail "$f fehlt oder ist nicht ausführbar"
done
entry=$root/share/applications/brisvel.desktop
[ -f "$entry" ] || fail "Desktop-Eintrag fehlt"
desktop-file-validate "$entry" || fail "desktop-file-validate lehnt den Eintrag ab"
grep -qx 'Exec=brisvel %f' "$entry" || fail "Exec ist nicht 'brisvel %f'"
grep -qx 'Categories=Office;Database;' "$entry" || fail "Kategorien fehlen"
grep -q '^Comment=.*Datenbanktabellen' "$entry" || fail "deutscher Kommentar fehlt"
for type in application/x-dbf application/x-paradox application/vnd.ms-access application/vnd.ms-excel text/csv text/html; do
  grep -q "^MimeType=.*$type;" "$entry" || fail "MimeType $type fehlt"
done
icon=$(sed -n 's/^Icon=//p' "$entry")
for size in 16 32 48 256; do
  png=$root/share/icons/hicolor/${size}x${size}/apps/$icon.png
  [ -f "$png" ] || fail "Symbol $size fehlt"
  file "$png" | grep -q "PNG image data, $size x $size" || fail "Symbol $size hat nicht die Größe $size"
done
[ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "skalierbares Symbol fehlt"
grep -q 'type="application/x-paradox"' "$root/share/mime/packages/brisvel-paradox.xml" || fail "MIME-Typ Paradox fehlt"
man=$root/share/man/man1/brisvel-cli.1.gz
[ -f "$man" ] || fail "Handbuchseite fehlt"
gzip -dc "$man" | grep -q '^\.TH BRISVEL-CLI 1' || fail "Handbuchseite unlesbar"

# The installed program runs from its new place.
"$root/bin/brisvel-cli" --version | grep -q '^brisvel ostrel [0-9]*\.[0-9]*\.[0-9]*\.[0-9]*$' \
  || fail "installiertes brisvel-cli meldet keine Version"
# Its print command runs in brisvel-print, found from the installed place.
[ -x "$root/libexec/brisvel/brisvel-print" ] || fail "libexec/brisvel/brisvel-print fehlt"
samples=$(cd "$(dirname "$0")/../../samples" && pwd)
"$root/bin/brisvel-cli" print "$samples/kunden.dbf" "$scratch/kunden.pdf" 2>/dev/null | grep -q '^1 Seite gedruckt\|Seiten gedruckt' \
  || fail "installiertes brisvel-cli findet brisvel-print nicht"
[ -s "$scratch/kunden.pdf" ] || fail "installiertes brisvel-cli druckt keine PDF-Datei"
# The Excel and HTML libraries are opened only when such a table is used: the
# installed program writes and reads both kinds.
for kind in xls htm; do
  "$root/bin/brisvel-cli" export "$samples/kunden.dbf" "$scratch/kunden.$kind" >/dev/null 2>&1 \
    || fail "installiertes brisvel-cli exportiert nicht nach .$kind"
  "$root/bin/brisvel-cli" tables "$scratch/kunden.$kind" | grep -q . \
    || fail "installiertes brisvel-cli liest die .$kind-Datei nicht"
done
echo "Installation vollständig"
