#pragma once

#include "odbc_session.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

struct StandinOptions {
    std::vector<std::string> failingBackups{}; // databases whose backups fail (--fail-backup)
    std::chrono::milliseconds startTimeout{15000};
    std::vector<std::string> extraArguments{}; // further options of the server, as they are
};

// Runs build/bin/sqlserver-standin for one test: a free loopback port, a fresh temporary data
// folder (removed at the end), one login. Every database test of the project starts one:
//
//     StandinServer server;
//     server.createDatabase("PRODUCT");
//     server.loadProductSchema("PRODUCT");
//     OdbcSession db(server.connectionString("PRODUCT"));
//
// The constructor returns once the server listens; it throws std::runtime_error when the server
// cannot be started. The destructor stops the server with SIGTERM.
class StandinServer {
public:
    explicit StandinServer(StandinOptions options = {});
    ~StandinServer();
    StandinServer(const StandinServer&) = delete;
    StandinServer& operator=(const StandinServer&) = delete;

    int port() const { return port_; }
    const std::filesystem::path& dataDir() const { return dataDir_; }
    // A folder beside the data folder, removed with it: for backup files and other test output.
    const std::filesystem::path& scratchDir() const { return scratchDir_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    pid_t pid() const { return pid_; }

    // "Driver=FreeTDS;Server=127.0.0.1;Port=N;Database=DB;UID=U;PWD=P;TDS_Version=7.4;ClientCharset=UTF-8;"
    std::string connectionString(const std::string& database = "master") const;

    // Test set-up through ODBC: each call opens its own connection. execute() throws OdbcError when
    // any statement of the batch fails; query() returns the first result set as text.
    void execute(const std::string& sql, const std::string& database = "master") const;
    std::vector<TextRow> query(const std::string& sql, const std::string& database = "master") const;
    void createDatabase(const std::string& name) const;
    // Creates the product's exclusive-control table 排他管理 in the database.
    void loadProductSchema(const std::string& database) const;

    static std::filesystem::path serverExecutable();
    static std::filesystem::path productSchemaFile();

    // SIGTERM, then waits (SIGKILL after 10 s). Returns the exit status, or -1 when it did not exit
    // normally. Later calls return the same status.
    int stop();

private:
    void spawn(const StandinOptions& options, int stdoutWriteEnd);
    void waitUntilReady(int stdoutReadEnd, std::chrono::milliseconds timeout);

    std::filesystem::path root_;
    std::filesystem::path dataDir_;
    std::filesystem::path scratchDir_;
    std::string user_ = "standin";
    std::string password_ = "Standin#Pass1";
    int port_ = 0;
    pid_t pid_ = -1;
    int exitStatus_ = -1;
};

} // namespace testsupport
