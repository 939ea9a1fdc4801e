#include "options.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace standin {
namespace {

std::uint16_t parsePort(const std::string& text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value > 65535) {
        throw std::invalid_argument("bad port '" + text + "'");
    }
    return static_cast<std::uint16_t>(value);
}

void parseListen(const std::string& value, ServerConfig& config) {
    const std::size_t colon = value.rfind(':');
    if (colon == std::string::npos) {
        throw std::invalid_argument("--listen needs ADDRESS:PORT, got '" + value + "'");
    }
    config.address = value.substr(0, colon);
    if (config.address == "localhost") {
        config.address = "127.0.0.1";
    }
    config.port = parsePort(value.substr(colon + 1));
}

unsigned parseCount(const std::string& option, const std::string& text, unsigned minimum) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < minimum) {
        throw std::invalid_argument(option + " needs a whole number of at least " + std::to_string(minimum) +
                                    ", got '" + text + "'");
    }
    return value;
}

// The first line of the file, without its line end: a password kept out of the command line,
// where every user of the machine can read it.
std::string readPasswordFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
        throw std::invalid_argument("cannot read a password from '" + file + "'");
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

EncryptionMode parseEncryption(const std::string& value) {
    if (value == "off") {
        return EncryptionMode::Off;
    }
    if (value == "login") {
        return EncryptionMode::Login;
    }
    if (value == "required") {
        return EncryptionMode::Required;
    }
    throw std::invalid_argument("--encrypt needs off, login or required, got '" + value + "'");
}

InitScript parseInitScript(const std::string& value) {
    const std::size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == value.size()) {
        throw std::invalid_argument("--init-sql needs DB=FILE, got '" + value + "'");
    }
    return {value.substr(0, equals), value.substr(equals + 1)};
}

} // namespace

Options parseOptions(const std::vector<std::string>& args) {
    Options options;
    bool listen = false, data = false, user = false, password = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        }
        if (arg == "--without-backup-procedure") {
            options.server.backupProcedureInstalled = false;
            continue;
        }
        if (i + 1 >= args.size()) {
            throw std::invalid_argument(arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg);
        }
        const std::string& value = args[++i];
        if (arg == "--listen") {
            parseListen(value, options.server);
            listen = true;
        } else if (arg == "--data") {
            options.server.dataDir = value;
            data = true;
        } else if (arg == "--user") {
            options.server.credentials.user = value;
            user = true;
        } else if (arg == "--password") {
            options.server.credentials.password = value;
            password = true;
        } else if (arg == "--password-file") {
            options.server.credentials.password = readPasswordFile(value);
            password = true;
        } else if (arg == "--max-connections") {
            options.server.maxConnections = parseCount(arg, value, 1);
        } else if (arg == "--backup-delay") {
            options.server.backupDelay = std::chrono::milliseconds(parseCount(arg, value, 0));
        } else if (arg == "--fail-backup") {
            options.server.failingBackups.push_back(value);
        } else if (arg == "--collation") {
            const auto collation = findCollation(value);
            if (!collation) {
                throw std::invalid_argument(
                    "unknown collation '" + value +
                    "': Japanese, Latin1_General and SQL_Latin1_General_CP1 collations are known");
            }
            options.server.collation = *collation;
        } else if (arg == "--encrypt") {
            options.server.encryption = parseEncryption(value);
        } else if (arg == "--tls-cert") {
            options.server.tlsCertificate = value;
        } else if (arg == "--tls-key") {
            options.server.tlsKey = value;
        } else if (arg == "--init-sql") {
            options.initScripts.push_back(parseInitScript(value));
        } else {
            throw std::invalid_argument("unknown argument " + arg);
        }
    }
    if (const char* fromEnv = std::getenv(kPasswordVariable); !password && fromEnv) {
        options.server.credentials.password = fromEnv;
        password = true;
    }
    if (options.server.tlsCertificate.empty() != options.server.tlsKey.empty()) {
        throw std::invalid_argument("--tls-cert and --tls-key go together");
    }
    if (!listen || !data || !user || !password) {
        throw std::invalid_argument(std::string("--listen, --data, --user and a password (--password, --password-file "
                                                "or ") +
                                    kPasswordVariable + ") are required");
    }
    return options;
}

std::string usageText() {
    return R"(Usage: sqlserver-standin --listen 127.0.0.1:PORT --data DIR --user USER
                         (--password PASS | --password-file FILE) [--max-connections N]
                         [--fail-backup NAME]... [--backup-delay MS] [--init-sql DB=FILE]...
                         [--encrypt off|login|required] [--tls-cert FILE --tls-key FILE]
                         [--collation NAME] [--without-backup-procedure]

A small stand-in for SQL Server, for tests and the demo. It speaks TDS 7.0-7.4 on a loopback
address and keeps each database in DIR/<name>.sqlite; master, msdb, model and tempdb are created
when missing.

  --listen ADDR:PORT    loopback address to listen on; PORT 0 picks a free port
  --data DIR            folder of the database files (created when missing)
  --user, --password    the one login the server accepts
  --password-file FILE  the password as the first line of FILE, kept out of the process list;
                        without either option, the variable SQLSERVER_STANDIN_PASSWORD holds it
  --max-connections N   connections served at once (default 64); more are closed at once
  --fail-backup NAME    master..SSP_BackUPDB refuses database NAME with an error (repeatable)
  --backup-delay MS     master..SSP_BackUPDB, BACKUP and RESTORE DATABASE/LOG wait MS
                        milliseconds first (slow backups and restores for tests; a cancel from
                        the client ends the wait)
  --without-backup-procedure
                        master holds no SSP_BackUPDB, as a server where it was never installed:
                        calls fail with error 2812 and OBJECT_ID finds nothing
  --init-sql DB=FILE    when database DB does not exist yet, create it and run the T-SQL in FILE
                        there (repeatable); for example the product schema:
                        --init-sql PRODUCT=tools/sqlserver-standin/product-schema.sql
  --collation NAME      the server's collation (default Japanese_CI_AS): that of the system
                        databases when they are made and of new databases without COLLATE
  --encrypt MODE        TLS as SQL Server offers it: "login" (the default) encrypts the login of
                        every client that can, and whole connections of clients that ask;
                        "required" encrypts whole connections and refuses clients without TLS
                        (Force Encryption); "off" plays a server without a certificate
  --tls-cert FILE, --tls-key FILE
                        the PEM certificate and key to offer; without them the server makes a
                        self-signed certificate at start
  --help                this text

Once it listens it prints one line "ready PORT" (the port actually bound) on standard output.
Every statement received is logged on standard error. SIGTERM or SIGINT ends it with status 0.

Statements: SELECT, INSERT, UPDATE, DELETE, CREATE/DROP TABLE run on SQLite after translation of
N'...' literals (and literals without N, in the collation's code page), [names], db..table,
master..sysdatabases, GetDate(), LTrim, RTrim, TOP n, LEN, ISNULL, CAST, CONVERT, COLLATE,
OBJECT_ID('db..name' [, 'P'|'U'|'V']), DB_NAME(), DATABASEPROPERTYEX, SERVERPROPERTY and
@@TRANCOUNT, @@SPID, @@VERSION, @@ROWCOUNT, @@ERROR. Also USE, CREATE DATABASE [COLLATE name],
DROP DATABASE, BEGIN/COMMIT/ROLLBACK TRANSACTION, SET NOCOUNT, SET XACT_ABORT, SET LOCK_TIMEOUT,
WAITFOR DELAY 'hh:mm:ss', and [EXEC] master..SSP_BackUPDB N'db', N'file', N'INIT|DIFF|LOG',
N'label', N'yyyy/MM/dd HH:mm:ss', which backs db up into file and dates the file with the run
time.

Backups and restores (see the README, "Backup files"): BACKUP DATABASE/LOG ... TO DISK = '...'
WITH INIT|FORMAT, DIFFERENTIAL, CHECKSUM, NAME = '...'; RESTORE HEADERONLY | FILELISTONLY |
VERIFYONLY FROM DISK = '...'; RESTORE DATABASE/LOG ... [FROM DISK = '...'] WITH MOVE '...' TO
'...', REPLACE, NORECOVERY, RECOVERY, CHECKSUM; DBCC CHECKDB (db) [WITH NO_INFOMSGS,
ALL_ERRORMSGS]; ALTER DATABASE db SET RECOVERY FULL|BULK_LOGGED|SIMPLE; sys.databases
(name, database_id, state_desc, recovery_model_desc, collation_name).
)";
}

} // namespace standin
