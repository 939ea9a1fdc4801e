#!/usr/bin/env bash
# FreeTDS's tsql against the stand-in forcing encryption (every byte after PRELOGIN is TLS): log in,
# list the databases, write and read back a row of the exclusive-control table (a NULL and a
# DATETIME among its values), run a backup.
# Usage: tsql_test.sh SERVER_EXECUTABLE PRODUCT_SCHEMA
set -euo pipefail
server=$1
schema=$2
root=$(mktemp -d)
pid=
cleanup() {
    if [ -n "$pid" ]; then kill -TERM "$pid" 2>/dev/null || true; fi
    rm -rf "$root"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- tsql output:" >&2
    cat "$root/tsql.out" >&2 || true
    exit 1
}

if "$server" --listen 0.0.0.0:0 --data "$root/data" --user sa --password pw >"$root/ready" 2>/dev/null; then
    fail "the server accepted a non-loopback address"
fi

"$server" --listen 127.0.0.1:0 --data "$root/data" --user sa --password 'Pass;word' --encrypt required \
    --init-sql "PRODUCT=$schema" >"$root/ready" 2>"$root/server.log" &
pid=$!
for _ in $(seq 100); do
    grep -q '^ready ' "$root/ready" 2>/dev/null && break
    sleep 0.1
done
port=$(sed -n 's/^ready \([0-9]*\)$/\1/p' "$root/ready")
[ -n "$port" ] || { cat "$root/server.log" >&2; fail "the server did not report ready"; }

mkdir "$root/backup"
tsql -H 127.0.0.1 -p "$port" -U sa -P 'Pass;word' -D PRODUCT >"$root/tsql.out" 2>&1 <<SQL || fail "tsql failed"
SELECT name FROM master..sysdatabases  Where  LTrim(RTrim(name)) <> 'master' AND LTrim(RTrim(name)) <> 'tempdb' AND LTrim(RTrim(name)) <> 'msdb' AND LTrim(RTrim(name)) <> 'model' ORDER BY name;
go
INSERT INTO 排他管理 (更新日, 更新操作者, テーブル名称, ロックＩＤ番号) VALUES ('2026/12/03 02:00:00', NULL, N'スケジュールバックアップ', 7)
go
SELECT 'row', 更新日, ISNULL(更新操作者, 'null'), テーブル名称, ロックＩＤ番号 FROM 排他管理
go
master..SSP_BackUPDB 'PRODUCT', '$root/backup/PRODUCT_INIT.DAT', 'INIT', '完全バックアップ', '2026/12/03 02:00:00'
go
SELECT 'after backup'
go
SQL

grep -qx 'PRODUCT' "$root/tsql.out" || fail "PRODUCT is not in the database list"
grep -q 'master$' "$root/tsql.out" && fail "the list holds a system database"
row=$(grep '^row' "$root/tsql.out") || fail "the inserted row was not read back"
[[ "$row" == *"Dec  3 2026 02:00"* ]] || fail "DATETIME read back as: $row"
[[ "$row" == *$'\t'null$'\t'スケジュールバックアップ$'\t'7 ]] || fail "row read back as: $row"
grep -q '^after backup' "$root/tsql.out" || fail "the session did not go on after the backup"
grep -q 'encryption full' "$root/server.log" || fail "the connection was not encrypted"
[ -f "$root/backup/PRODUCT_INIT.DAT" ] || fail "no backup file"
[ "$(date -r "$root/backup/PRODUCT_INIT.DAT" '+%Y/%m/%d %H:%M:%S')" = "2026/12/03 02:00:00" ] ||
    fail "the backup file is not dated with the run time"

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "the server exited with status $status on SIGTERM"
echo "tsql test passed"
