#!/usr/bin/env bash
# Builds the Debian package as scripts/package does and checks what dpkg gets: lintian without a
# warning or a hardening tag, programs that hardening-check passes, the control data with its
# dependencies, the file list with the documentation laid out as Debian policy asks, the
# conffiles, and maintainer scripts that register the FreeTDS ODBC driver only when it is missing
# and remove only their own entry (run against a private odbcinst.ini through ODBCSYSINI).
#
#   package_test.sh PACKAGE_BUILD_DIR VERSION TMP_DIR
#
# ENCRT_PACKAGE_BUILD_DIR, when set, names the build folder instead (one scripts/package has built).
set -euo pipefail

build=$1 version=$2 tmp_root=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "$tmp_root/package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

deb=$(ENCRT_PACKAGE_BUILD_DIR=${ENCRT_PACKAGE_BUILD_DIR:-$build} "$source_dir/scripts/package" | tail -n1)
[ -f "$deb" ] || { echo "FAIL: scripts/package made no package" >&2; exit 1; }

# ---- lintian and hardening-check ----------------------------------------------------------------
if ! command -v lintian >/dev/null || ! command -v hardening-check >/dev/null; then
    fail "lintian or hardening-check is missing (scripts/setup installs lintian and devscripts)"
else
    lintian --display-info --pedantic "$deb" >"$work/lintian" 2>&1 || true
    if grep -E '^[EW]: | hardening-' "$work/lintian" >"$work/lintian-bad"; then
        fail "lintian: $(cat "$work/lintian-bad")"
    fi
fi

# ---- Control data -------------------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = encrt-schedule-backup ] || fail "Package is \"$(field Package)\""
[ "$(field Version)" = "$version" ] || fail "Version is \"$(field Version)\", not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is \"$(field Architecture)\""
depends=$(field Depends)
for dep in libqt6widgets6 libqt6gui6 libqt6core6 libodbc2 libsodium23 tdsodbc odbcinst qt6-translations-l10n; do
    [[ ", $depends," == *", $dep"[\ ,]* ]] || fail "Depends lacks $dep: $depends"
done

# ---- Files --------------------------------------------------------------------------------------
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\.||' >"$work/files"
for f in /usr/bin/encrt-schedule-backup /usr/bin/encrt-password \
    /usr/share/man/man1/encrt-schedule-backup.1.gz /usr/share/man/man1/encrt-password.1.gz \
    /usr/share/applications/encrt-schedule-backup.desktop /etc/xdg/autostart/encrt-schedule-backup.desktop \
    /usr/lib/systemd/user/encrt-schedule-backup.service /usr/share/encrt-schedule-backup/SSP_BackUPDB.sql \
    /usr/lib/systemd/user/encrt-restore-check.service /usr/lib/systemd/user/encrt-restore-check.timer \
    /usr/share/icons/hicolor/48x48/apps/encrt-schedule-backup.png \
    /usr/share/doc/encrt-schedule-backup/copyright /usr/share/doc/encrt-schedule-backup/changelog.gz; do
    grep -qx "$f" "$work/files" || fail "the package lacks $f"
done
grep -q '^/usr/local/' "$work/files" && fail "files below /usr/local: $(grep '^/usr/local/' "$work/files")"
dpkg-deb -e "$deb" "$work/control"
grep -qx /etc/xdg/autostart/encrt-schedule-backup.desktop "$work/control/conffiles" ||
    fail "the autostart entry is no conffile"
dpkg-deb -x "$deb" "$work/root"
# Control-flow protection is not asked for: an executable has it only when every object linked in
# does, and the C library's start files on Debian 12 are built without it (its own odbcinst and ls
# lack it too). The programs are compiled with it all the same.
if command -v hardening-check >/dev/null; then
    for exe in encrt-schedule-backup encrt-password; do
        hardening-check --nocfprotection "$work/root/usr/bin/$exe" >"$work/hardening" 2>&1 ||
            fail "hardening-check $exe: $(grep -v ': yes' "$work/hardening" | tr '\n' ' ')"
    done
fi

# The documentation: every page and example once, compressed exactly when it is over 4 KiB.
doc=/usr/share/doc/encrt-schedule-backup
for page in README.md docs/command-line.md docs/daily-log.md docs/files.md docs/restore.md docs/sql-server.md \
    docs/troubleshooting.md examples/MSDE_DBTOOL.INI examples/ZUZOR.INI; do
    if [ -f "$work/root$doc/$page.gz" ]; then
        size=$(gzip -dc "$work/root$doc/$page.gz" | wc -c)
        [ "$size" -gt 4096 ] || fail "$doc/$page.gz is compressed at $size bytes"
    elif [ -f "$work/root$doc/$page" ]; then
        size=$(wc -c <"$work/root$doc/$page")
        [ "$size" -le 4096 ] || fail "$doc/$page is not compressed at $size bytes"
    else
        fail "the package lacks $doc/$page"
    fi
done
cmp -s "$work/root$doc/examples/SSP_BackUPDB.sql" "$source_dir/sql/SSP_BackUPDB.sql" ||
    fail "$doc/examples/SSP_BackUPDB.sql does not lead to the server procedure"
grep -q '^Exec=.*/usr/bin/encrt-schedule-backup' "$work/root/etc/xdg/autostart/encrt-schedule-backup.desktop" ||
    fail "the autostart entry does not start /usr/bin/encrt-schedule-backup"

# ---- Maintainer scripts -------------------------------------------------------------------------
export ODBCSYSINI=$work/odbc
mkdir -p "$ODBCSYSINI"
other=$'[Other]\nDescription=another driver\nDriver=/opt/other/libother.so\nUsageCount=1\n'
printf '%s' "$other" >"$ODBCSYSINI/odbcinst.ini"
"$work/control/postinst" configure || fail "postinst configure failed"
"$work/control/postinst" configure || fail "postinst configure failed the second time"
odbcinst -q -d -n FreeTDS | grep -q '^Driver=/.*/libtdsodbc\.so$' || fail "postinst did not register FreeTDS"
[ "$(grep -c '^\[FreeTDS\]' "$ODBCSYSINI/odbcinst.ini")" = 1 ] || fail "FreeTDS registered twice"
grep -q '^UsageCount=1$' <(odbcinst -q -d -n FreeTDS) || fail "a second configure counted FreeTDS again"
"$work/control/postrm" remove || fail "postrm remove failed"
odbcinst -q -d -n FreeTDS >/dev/null 2>&1 && fail "postrm left the FreeTDS entry it made"
odbcinst -q -d -n Other | grep -q '^Driver=/opt/other/libother.so$' || fail "postrm touched another entry"

# A FreeTDS entry that was there before the package is the administrator's: kept on removal.
mine=$'[FreeTDS]\nDescription=set up by hand\nDriver=/usr/local/lib/libtdsodbc.so\nUsageCount=1\n'
printf '%s%s' "$other" "$mine" >"$ODBCSYSINI/odbcinst.ini"
"$work/control/postinst" configure && "$work/control/postrm" remove || fail "maintainer scripts failed"
odbcinst -q -d -n FreeTDS | grep -q '^Driver=/usr/local/lib/libtdsodbc.so$' || fail "an existing FreeTDS entry was changed"

[ "$failures" -eq 0 ] || exit 1
echo "package: $deb is sound"
