"""pytds (python3-tds) against the stand-in: log in, list the databases, write and read back a row
of the exclusive-control table with a NULL and a DATETIME, transactions, run backups; DECIMAL,
NCHAR and DATETIME2 values; logins over TLS (the login only, and the whole connection).

Usage: pytds_test.py SERVER_EXECUTABLE PRODUCT_SCHEMA
"""
import datetime
import decimal
import os
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

import pytds


def start_server(executable, schema, root, *extra):
    server = subprocess.Popen(
        [executable, "--listen", "127.0.0.1:0", "--data", os.path.join(root, "data"), "--user", "sa",
         "--password", "pw", "--init-sql", "PRODUCT=" + schema, "--fail-backup", "model", *extra],
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


def typed_values(port):
    """DECIMAL, NCHAR and DATETIME2 as pytds decodes them from the server's tokens."""
    conn = pytds.connect(server="127.0.0.1", port=port, user="sa", password="pw", autocommit=True,
                         login_timeout=10)
    cur = conn.cursor()
    cur.execute("CREATE TABLE typed (d DECIMAL(20,4), c NCHAR(4), t DATETIME2(3))")
    cur.execute("INSERT INTO typed VALUES (-12345678901.23456, N'ab', '2026-12-04 02:00:00.12345')")
    cur.execute("SELECT d, c, t, 7.0 / 2 FROM typed")
    row = cur.fetchone()
    expected = (decimal.Decimal("-12345678901.2346"), "ab  ",
                datetime.datetime(2026, 12, 4, 2, 0, 0, 123000), decimal.Decimal("3.500000"))
    check(row == expected, "typed values read back as %r" % (row,))
    conn.close()


def make_certificate(root):
    """A self-signed certificate and key for the server, and the file the client trusts."""
    from OpenSSL import crypto
    key = crypto.PKey()
    key.generate_key(crypto.TYPE_RSA, 2048)
    cert = crypto.X509()
    cert.get_subject().CN = "localhost"
    cert.set_serial_number(1)
    cert.gmtime_adj_notBefore(-60)
    cert.gmtime_adj_notAfter(3600)
    cert.set_issuer(cert.get_subject())
    cert.set_pubkey(key)
    cert.sign(key, "sha256")
    cert_file, key_file = os.path.join(root, "cert.pem"), os.path.join(root, "key.pem")
    with open(cert_file, "wb") as out:
        out.write(crypto.dump_certificate(crypto.FILETYPE_PEM, cert))
    with open(key_file, "wb") as out:
        out.write(crypto.dump_privatekey(crypto.FILETYPE_PEM, key))
    return cert_file, key_file


def encrypted(port, cert_file, login_only):
    conn = pytds.connect(server="127.0.0.1", port=port, user="sa", password="pw", cafile=cert_file,
                         validate_host=False, enc_login_only=login_only, login_timeout=10)
    cur = conn.cursor()
    # Without autocommit pytds begins a transaction at once.
    cur.execute("SELECT N'暗号', @@TRANCOUNT")
    row = cur.fetchone()
    check(row == ("暗号", 1), "answer over TLS (login only: %s): %r" % (login_only, row))
    conn.close()


def main():
    executable, schema = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as root:
        server, port = start_server(executable, schema, root)
        try:
            run(port, root)
            typed_values(port)
        finally:
            server.send_signal(signal.SIGTERM)
            status = server.wait(timeout=10)
        check(status == 0, "server exit status %d" % status)

        # TLS with a certificate pytds trusts: it asks for the login only or for everything.
        cert_file, key_file = make_certificate(root)
        server, port = start_server(executable, schema, root, "--tls-cert", cert_file, "--tls-key", key_file)
        try:
            encrypted(port, cert_file, login_only=True)
            encrypted(port, cert_file, login_only=False)
        finally:
            server.send_signal(signal.SIGTERM)
            status = server.wait(timeout=10)
        check(status == 0, "server exit status %d" % status)
    print("pytds test passed")


if __name__ == "__main__":
    main()
