#!/usr/bin/env bash
# Builds the Debian package from the build and checks it: the files of the
# installation, and dependencies dpkg-shlibdeps found from what is linked.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FEHLER: $*" >&2; exit 1; }

command -v dpkg-shlibdeps >/dev/null || fail "dpkg-shlibdeps fehlt (Paket dpkg-dev)"
command -v file >/dev/null || fail "file fehlt (Paket file)"
(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" >cpack.log 2>&1) \
  || { cat "$scratch/cpack.log" >&2; fail "cpack ist gescheitert"; }
deb=$(ls "$scratch"/*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "kein .deb entstanden"

[ "$(dpkg-deb -f "$deb" Package)" = brisvel-ostrel ] || fail "Paketname"
# The package carries the version the programs report.
version=$(dpkg-deb -f "$deb" Version)
[ "$("$build/brisvel-cli" --version)" = "brisvel ostrel $version" ] \
  || fail "Paketversion $version ist nicht die der Programme"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Linked libraries, found by dpkg-shlibdeps (none of them named by hand).
for package in libqt6widgets6 libqt6printsupport6 libqt6core6 libgsf-1-114 libgumbo1 libmdb3 libc6 libstdc++6; do
  echo "$depends" | grep -q "\b$package\b" || fail "Abhängigkeit $package fehlt"
done
for package in qt6-qpa-plugins qt6-translations-l10n fonts-liberation2; do
  echo "$depends" | grep -q "\b$package\b" || fail "Abhängigkeit $package fehlt"
done
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/brisvel ./usr/bin/brisvel-cli ./usr/libexec/brisvel/brisvel-print ./usr/share/applications/brisvel.desktop \
            ./usr/share/icons/hicolor/48x48/apps/brisvel.png ./usr/share/man/man1/brisvel-cli.1.gz; do
  echo "$contents" | grep -q " $path\$" || fail "$path fehlt im Paket"
done
echo "Paket $(basename "$deb") in Ordnung"
