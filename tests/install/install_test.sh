#!/usr/bin/env bash
# Installs the build into a staging prefix and checks what a user's machine gets: programs that
# run, the icon at every offered size, desktop entries that validate and whose commands start the
# installed program on the user's configuration folder, the systemd user unit doing the same
# headless, the server procedure, and the documentation with its example settings.
#
#   install_test.sh BUILD_DIR CONFIGURED_BINDIR AUTOSTART_DIR TMP_DIR
#
# CONFIGURED_BINDIR is the absolute program folder the entries were configured with; the staged
# copies replace it by the staging prefix's bin/ when their commands are run.
set -euo pipefail

build=$1 configured_bindir=$2 autostart_dir=$3 tmp_root=$4
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
program=encrt-schedule-backup

work=$(mktemp -d "$tmp_root/install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log" >&2
    exit 1
}

# ---- Programs -----------------------------------------------------------------------------------
for exe in "$program" encrt-password; do
    if [ ! -x "$prefix/bin/$exe" ]; then
        fail "bin/$exe is not installed as an executable"
    elif ! version=$("$prefix/bin/$exe" --version) || [[ $version != "$exe "[0-9]* ]]; then
        fail "installed bin/$exe --version printed \"$version\""
    fi
done

# ---- Icon ---------------------------------------------------------------------------------------
# PNG signature, then the IHDR chunk: width and height as 32-bit big-endian numbers.
png_size() { python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" and d[12:16]==b"IHDR" else "not a PNG")' "$1"; }
for size in 16 22 24 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x$size/apps/$program.png
    if [ ! -f "$icon" ]; then
        fail "no icon of ${size}x$size"
    elif [ "$(png_size "$icon")" != "${size}x$size" ]; then
        fail "icon of ${size}x$size is $(png_size "$icon")"
    fi
done

# ---- Manual pages -------------------------------------------------------------------------------
for page in "$program" encrt-password; do
    man_file=$prefix/share/man/man1/$page.1.gz
    if [ ! -f "$man_file" ]; then
        fail "no manual page share/man/man1/$page.1.gz"
    elif command -v man >/dev/null; then
        warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$man_file" 2>&1 >/dev/null ||
            echo "man failed")
        [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
        LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$man_file" 2>/dev/null | grep -q -- '--config-dir' ||
            fail "$page(1) does not describe --config-dir"
    fi
done

# ---- Server procedure ---------------------------------------------------------------------------
cmp -s "$source_dir/sql/SSP_BackUPDB.sql" "$prefix/share/$program/SSP_BackUPDB.sql" ||
    fail "share/$program/SSP_BackUPDB.sql differs from sql/SSP_BackUPDB.sql or is missing"

# ---- Documentation ------------------------------------------------------------------------------
doc=$prefix/share/doc/$program
for page in README.md docs/files.md docs/sql-server.md docs/restore.md docs/troubleshooting.md \
    examples/MSDE_DBTOOL.INI examples/ZUZOR.INI; do
    [ -f "$doc/$page" ] || [ -f "$doc/$page.gz" ] || fail "share/doc/$program/$page is not installed"
done
cmp -s "$source_dir/sql/SSP_BackUPDB.sql" "$doc/examples/SSP_BackUPDB.sql" ||
    fail "share/doc/$program/examples/SSP_BackUPDB.sql does not lead to the server procedure"
for page in "$program" encrt-password; do
    if [ -f "$prefix/share/man/man1/$page.1.gz" ] && ! zcat "$prefix/share/man/man1/$page.1.gz" | grep -q "share/doc/$program"; then
        fail "$page(1) does not point to the documentation"
    fi
done

# ---- Commands of the entries --------------------------------------------------------------------
# A stand-in for the installed program that records the arguments it was started with.
stub_dir=$work/stub
mkdir -p "$stub_dir"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s/args"\n' "$stub_dir" >"$stub_dir/$program"
chmod +x "$stub_dir/$program"

# Runs an argument vector with the configured program replaced by the stub; prints its arguments.
run_with_stub() {
    local args=() arg
    for arg in "$@"; do
        args+=("${arg//"$configured_bindir/$program"/"$stub_dir/$program"}")
    done
    rm -f "$stub_dir/args"
    "${args[@]}" >/dev/null 2>&1 || true
    if [ -f "$stub_dir/args" ]; then cat "$stub_dir/args"; else echo "(the program was not started)"; fi
}

# An entry's command started with XDG_CONFIG_HOME naming a folder with a space, and without it.
check_entry_command() { # file group expected-extra-argument...
    local file=$1 group=$2 argv=() got want home config
    shift 2
    mapfile -d '' argv < <(python3 "$here/desktop_exec.py" "$file" "$group" Exec) ||
        fail "$file [$group]: Exec cannot be parsed"
    [ ${#argv[@]} -gt 0 ] || return 0

    config="$work/xdg config"
    rm -rf "$config"
    got=$(XDG_CONFIG_HOME=$config run_with_stub "${argv[@]}")
    want=$(printf '%s\n' --config-dir "$config/$program" "$@")
    [ "$got" = "$want" ] || fail "$file [$group] with XDG_CONFIG_HOME: started with \"$got\", not \"$want\""
    [ -d "$config/$program" ] || fail "$file [$group]: the configuration folder was not created"

    home=$work/home
    rm -rf "$home"
    mkdir -p "$home"
    got=$(
        unset XDG_CONFIG_HOME
        export HOME=$home
        run_with_stub "${argv[@]}"
    )
    want=$(printf '%s\n' --config-dir "$home/.config/$program" "$@")
    [ "$got" = "$want" ] || fail "$file [$group] without XDG_CONFIG_HOME: started with \"$got\", not \"$want\""
}

# ---- Desktop entries ----------------------------------------------------------------------------
menu_entry=$prefix/share/applications/$program.desktop
autostart_entry=$prefix/$autostart_dir/$program.desktop
if ! command -v desktop-file-validate >/dev/null; then
    fail "desktop-file-validate is missing (scripts/setup installs desktop-file-utils)"
fi
for entry in "$menu_entry" "$autostart_entry"; do
    if [ ! -f "$entry" ]; then
        fail "${entry#"$prefix/"} is not installed"
        continue
    fi
    if command -v desktop-file-validate >/dev/null && ! out=$(desktop-file-validate "$entry" 2>&1); then
        fail "${entry#"$prefix/"} does not validate: $out"
    fi
    check_entry_command "$entry" "Desktop Entry"
done
[ -f "$menu_entry" ] && check_entry_command "$menu_entry" "Desktop Action settings" --settings
if [ -f "$autostart_entry" ]; then
    # The program looks for the notification area once, at start: the entry waits for the panel.
    for key in X-GNOME-Autostart-Delay= X-KDE-autostart-after=panel X-LXQt-Need-Tray=true; do
        grep -q "^$key" "$autostart_entry" || fail "the autostart entry lacks $key"
    done
fi

# ---- systemd user unit --------------------------------------------------------------------------
unit=$prefix/lib/systemd/user/$program.service
if [ ! -f "$unit" ]; then
    fail "lib/systemd/user/$program.service is not installed"
else
    unit_value() { sed -n "s/^$1=//p" "$unit" | tail -n1; }
    # %E is the user's configuration folder; the unit has systemd create the folder it names.
    config=$work/unit-config
    read -r -a argv <<<"$(unit_value ExecStart | sed "s|%E|$config|g")"
    got=$(run_with_stub "${argv[@]}")
    want=$(printf '%s\n' --headless --config-dir "$config/$program")
    [ "$got" = "$want" ] || fail "the unit starts the program with \"$got\", not \"$want\""
    [ "$(unit_value ConfigurationDirectory)" = "$program" ] ||
        fail "the unit has systemd create %E/$(unit_value ConfigurationDirectory), not the folder it passes"
    [ "$(unit_value ExecReload)" = "/bin/kill -HUP \$MAINPID" ] || fail "the unit's reload does not send SIGHUP"
    [ "$(unit_value Restart)" = on-failure ] || fail "the unit is not restarted on failure"
    # Only where a user manager runs; its complaint that the configured program is not installed
    # yet is expected here.
    if [ -d /run/systemd/system ] && [ -n "${XDG_RUNTIME_DIR:-}" ] && command -v systemd-analyze >/dev/null; then
        out=$(systemd-analyze --user verify "$unit" 2>&1 | grep -v "Command $configured_bindir/$program is not executable" || true)
        [ -z "$out" ] || fail "systemd-analyze verify: $out"
    fi
fi

# ---- restore check: a weekly timer, installed but not enabled -----------------------------------
check_unit=$prefix/lib/systemd/user/encrt-restore-check.service
timer=$prefix/lib/systemd/user/encrt-restore-check.timer
if [ ! -f "$check_unit" ] || [ ! -f "$timer" ]; then
    fail "lib/systemd/user/encrt-restore-check.service and .timer are not both installed"
else
    config=$work/unit-config
    read -r -a argv <<<"$(sed -n 's/^ExecStart=//p' "$check_unit" | sed "s|%E|$config|g")"
    got=$(run_with_stub "${argv[@]}")
    want=$(printf '%s\n' --restore-check --config-dir "$config/$program")
    [ "$got" = "$want" ] || fail "the restore check unit starts the program with \"$got\", not \"$want\""
    grep -qx 'Type=oneshot' "$check_unit" || fail "the restore check unit is not a oneshot service"
    for key in 'Persistent=true' 'RandomizedDelaySec=' 'OnCalendar=Sun '; do
        grep -q "^$key" "$timer" || fail "the timer lacks $key"
    done
    [ -e "$prefix/lib/systemd/user/timers.target.wants/encrt-restore-check.timer" ] &&
        fail "the installation enabled the restore check timer"
    if [ -d /run/systemd/system ] && [ -n "${XDG_RUNTIME_DIR:-}" ] && command -v systemd-analyze >/dev/null; then
        out=$(systemd-analyze --user verify "$check_unit" "$timer" 2>&1 |
            grep -v "Command $configured_bindir/$program is not executable" || true)
        [ -z "$out" ] || fail "systemd-analyze verify: $out"
    fi
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "installation checks passed"
