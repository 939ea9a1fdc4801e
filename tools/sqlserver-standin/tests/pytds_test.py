"""pytds (python3-tds) against the stand-in: log in, list the databases, write and read back a row
of the exclusive-control table with a NULL and a DATETIME, transactions, run backups.

Usage: pytds_test.py SERVER_EXECUTABLE PRODUCT_SCHEMA
"""
import datetime
import os
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

import pytds


def start_server(executable, schema, root):
    server = subprocess.Popen(
        [executable, "--listen", "127.0.0.1:0", "--data", os.path.join(root, "data"), "--user", "sa",
         "--password", "pw", "--init-sql", "PRODUCT=" + schema, "--fail-backup", "model"],
        stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline().strip()
    if not line.startswith("ready "):
        server.kill()
        raise SystemExit("server did not report ready: " + repr(line))
    return server, int(line.split()[1])


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def run(port, root):
    conn = pytds.connect(server="127.0.0.1", port=port, user="sa", password="pw", database="PRODUCT",
                         autocommit=False, login_timeout=10)
    cur = conn.cursor()
    cur.execute("SELECT name FROM master..sysdatabases  Where  LTrim(RTrim(name)) <> 'master' "
                "AND LTrim(RTrim(name)) <> 'tempdb' AND LTrim(RTrim(name)) <> 'msdb' "
                "AND LTrim(RTrim(name)) <> 'model' ORDER BY name;")
    check(cur.fetchall() == [("PRODUCT",)], "database list")

    when = datetime.datetime(2026, 12, 3, 2, 0, 0, 500000)
    cur.execute("INSERT INTO 排他管理 (更新日, 更新操作者, 更新カウンタ, テーブル名称) "
                "VALUES ('2026-12-03 02:00:00.500', NULL, 3, N'バックアップ')")
    check(cur.rowcount == 1, "insert row count")
    conn.rollback()
    cur.execute("SELECT COUNT(*) FROM 排他管理")
    check(cur.fetchone() == (0,), "rollback kept the row")

    cur.execute("INSERT INTO 排他管理 (更新日, 更新操作者, 更新カウンタ, テーブル名称) "
                "VALUES ('2026-12-03 02:00:00.500', NULL, 3, N'バックアップ')")
    conn.commit()
    cur.execute("SELECT 更新日, 更新操作者, 更新カウンタ, テーブル名称 FROM 排他管理")
    row = cur.fetchone()
    check(row == (when, None, 3, "バックアップ"), "row read back as %r" % (row,))

    # BACKUP is refused inside a transaction, as SQL Server refuses it.
    conn.autocommit = True
    target = os.path.join(root, "PRODUCT_INIT.DAT")
    cur.execute("master..SSP_BackUPDB 'PRODUCT', '%s', 'INIT', '完全バックアップ', '2026/12/03 02:00:00'" % target)
    # The database image follows the backup file's header and its blank line.
    with open(target, "rb") as backup, open(target + ".sqlite", "wb") as image:
        image.write(backup.read().split(b"\n\n", 1)[1])
    copy = sqlite3.connect(target + ".sqlite")
    check(copy.execute("SELECT テーブル名称 FROM 排他管理").fetchall() == [("バックアップ",)], "backup content")
    copy.close()
    expected = time.mktime((2026, 12, 3, 2, 0, 0, 0, 0, -1))
    check(os.stat(target).st_mtime == expected, "backup file time")

    try:
        cur.execute("master..SSP_BackUPDB 'model', '%s/m.DAT', 'INIT', 'x', '2026/12/03 02:00:00'" % root)
        raise AssertionError("a backup named by --fail-backup succeeded")
    except pytds.Error as error:
        check("Backup of database 'model' failed" in str(error), "failure message: %s" % error)
    try:
        cur.callproc("sp_who")
        raise AssertionError("an RPC request succeeded")
    except pytds.Error as error:
        check("RPC requests are not supported" in str(error), "RPC refusal: %s" % error)
    cur.execute("SELECT 1")
    check(cur.fetchone() == (1,), "connection usable after errors")
    conn.close()

    # Larger packets than the login's, and a value that needs NVARCHAR(MAX) across several of them.
    big = pytds.connect(server="127.0.0.1", port=port, user="sa", password="pw", autocommit=True,
                        blocksize=16384, login_timeout=10)
    cur = big.cursor()
    cur.execute("SELECT hex(zeroblob(30000)) AS v")
    check(cur.fetchone() == ("00" * 30000,), "a 60000-character value")
    big.close()


def main():
    executable, schema = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as root:
        server, port = start_server(executable, schema, root)
        try:
            run(port, root)
        finally:
            server.send_signal(signal.SIGTERM)
            status = server.wait(timeout=10)
        check(status == 0, "server exit status %d" % status)
    print("pytds test passed")


if __name__ == "__main__":
    main()
