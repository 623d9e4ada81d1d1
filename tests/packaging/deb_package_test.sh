#!/usr/bin/env bash
# The Debian package: CPack builds it from the install rules, dpkg installs it into a
# scratch root, the saver runs from its installed path, and removing the package leaves
# nothing behind.
# Usage: deb_package_test.sh <build folder>
# Exit codes: 0 passed, 1 failed, 77 skipped (no dpkg, or not root and no fakeroot).
set -uo pipefail
build=$1
for tool in cpack dpkg dpkg-deb python3; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
# dpkg sets owners as it unpacks, which only root may do; fakeroot pretends well enough for
# a scratch root.
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v fakeroot >/dev/null || { echo "SKIPPED: dpkg needs root or fakeroot"; exit 77; }
  as_root=(fakeroot)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $*"
  exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(tail -n 30 "$work/cpack.log")"
deb=$(ls "$work"/out/*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "cpack made no .deb: $(tail -n 30 "$work/cpack.log")"
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"

# What the package holds: exactly these files, and the link in the user's path.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6, $7, $8}' | sort >"$work/contents"
cat >"$work/expected" <<LIST
./usr/bin/brassmoor -> ../libexec/xscreensaver/brassmoor
./usr/lib/brassmoor/brassmoor-dialogs.so  
./usr/libexec/xscreensaver/brassmoor  
./usr/share/applications/brassmoor-settings.desktop  
./usr/share/applications/screensavers/brassmoor.desktop  
./usr/share/doc/brassmoor/README.md  
./usr/share/doc/brassmoor/copyright  
./usr/share/icons/hicolor/128x128/apps/brassmoor.png  
./usr/share/icons/hicolor/16x16/apps/brassmoor.png  
./usr/share/icons/hicolor/22x22/apps/brassmoor.png  
./usr/share/icons/hicolor/24x24/apps/brassmoor.png  
./usr/share/icons/hicolor/32x32/apps/brassmoor.png  
./usr/share/icons/hicolor/48x48/apps/brassmoor.png  
./usr/share/icons/hicolor/64x64/apps/brassmoor.png  
./usr/share/man/man6/brassmoor.6.gz  
./usr/share/xscreensaver/config/brassmoor.xml  
LIST
diff <(sed 's/ *$//' "$work/expected") <(sed 's/ *$//' "$work/contents") >"$work/diff" ||
  fail "package contents differ from the install rules: $(cat "$work/diff")"
dpkg-deb -f "$deb" Package | grep -qx brassmoor || fail "package name"
# Every shared library the saver links is brought in by the package's dependencies, and so
# is the OpenGL library it opens at run time.
depends=$(dpkg-deb -f "$deb" Depends)
grep -qw libgl1 <<<"$depends" || fail "Depends lacks libgl1: $depends"
dpkg-deb -x "$deb" "$work/unpacked"
# The machine's own libraries, not those of another architecture that happen to be installed.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
for library in $(objdump -p "$work/unpacked/usr/libexec/xscreensaver/brassmoor" \
                   "$work/unpacked/usr/lib/brassmoor/brassmoor-dialogs.so" | awk '/NEEDED/ {print $2}' | sort -u); do
  owner=$(dpkg -S "*/$multiarch/$library" 2>/dev/null | head -1 | cut -d: -f1)
  [ -n "$owner" ] || fail "no installed package holds $library"
  tr ',|' '\n\n' <<<"$depends" | awk '{print $1}' | grep -qxF "$owner" || fail "Depends lacks $owner (for $library): $depends"
done

# A private dpkg database: nothing of the machine's own is touched.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg_root=("${as_root[@]}" dpkg --root="$root" --force-not-root --force-depends --force-script-chrootless
           --log="$work/dpkg.log")
"${dpkg_root[@]}" -i "$deb" >"$work/install.log" 2>&1 || fail "dpkg -i: $(cat "$work/install.log")"
"${as_root[@]}" dpkg --root="$root" -s brassmoor 2>/dev/null | grep -q "Status: install ok installed" ||
  fail "dpkg does not list the package as installed"

installed="$root/usr/libexec/xscreensaver/brassmoor"
[ -x "$installed" ] || fail "no executable at $installed"
[ "$(readlink "$root/usr/bin/brassmoor")" = "../libexec/xscreensaver/brassmoor" ] || fail "the link in /usr/bin"
python3 -c 'import sys, xml.etree.ElementTree as e; r = e.parse(sys.argv[1]).getroot(); assert r.tag == "screensaver" and r.get("name") == "brassmoor"' \
  "$root/usr/share/xscreensaver/config/brassmoor.xml" || fail "the host's description is not well-formed"
if command -v desktop-file-validate >/dev/null; then
  for entry in "$root"/usr/share/applications/brassmoor-settings.desktop; do
    desktop-file-validate "$entry" || fail "$entry"
  done
fi
grep -q "^Exec=/usr/libexec/xscreensaver/brassmoor -root$" "$root/usr/share/applications/screensavers/brassmoor.desktop" ||
  fail "the screensaver entry's Exec"
zcat "$root/usr/share/man/man6/brassmoor.6.gz" | grep -q "^.SH MULTIPLE MONITORS" || fail "the manual page"

# The saver runs from where it was installed, through the link as a user would start it.
version=$("$root/usr/bin/brassmoor" --version) || fail "--version from the installed path"
[ "$version" = "brassmoor $(dpkg-deb -f "$deb" Version)" ] || fail "installed version \"$version\""
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  XDG_CONFIG_HOME="$work/config" "$installed" --window 160x120 --frames 3 --screenshot "$work/shot.png"
  code=$?
  [ "$code" = 1 ] || fail "a run from the installed path ended with exit code $code"
  [ -s "$work/shot.png" ] || fail "a run from the installed path drew nothing"
  # The settings dialog finds its module where the package put it and stays up until ended.
  XDG_CONFIG_HOME="$work/config" timeout 8 "$installed" /c 2>"$work/dialog.err"
  code=$?
  [ "$code" = 124 ] || fail "the installed settings dialog ended by itself (code $code): $(cat "$work/dialog.err")"
  ! grep -q "cannot be shown" "$work/dialog.err" || fail "the installed dialogs: $(cat "$work/dialog.err")"
else
  echo "note: no display, so the installed saver was not run beyond --version"
fi

# Removing it leaves nothing but dpkg's own database.
"${dpkg_root[@]}" --purge brassmoor >"$work/remove.log" 2>&1 || fail "dpkg --purge: $(cat "$work/remove.log")"
leftovers=$(cd "$root" && find . -mindepth 1 -not -path './var' -not -path './var/lib' -not -path './var/lib/dpkg' \
  -not -path './var/lib/dpkg/*')
[ -z "$leftovers" ] || fail "left behind after removal: $leftovers"
echo "PASSED: the package installs, runs from /usr/libexec/xscreensaver and removes cleanly"
