#include "standin_server.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef STANDIN_SERVER_PATH
#error "STANDIN_SERVER_PATH must name the sqlserver-standin executable"
#endif
#ifndef STANDIN_PRODUCT_SCHEMA
#error "STANDIN_PRODUCT_SCHEMA must name product-schema.sql"
#endif

namespace testsupport {
namespace {

std::filesystem::path makeTemporaryRoot() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/standin-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder: " + std::string(std::strerror(errno)));
    }
    return pattern;
}

std::string readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + file.string());
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::filesystem::path StandinServer::serverExecutable() {
    return STANDIN_SERVER_PATH;
}
std::filesystem::path StandinServer::productSchemaFile() {
    return STANDIN_PRODUCT_SCHEMA;
}

StandinServer::StandinServer(StandinOptions options) {
    root_ = makeTemporaryRoot();
    dataDir_ = root_ / "data";
    scratchDir_ = root_ / "scratch";
    std::filesystem::create_directories(scratchDir_);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        std::filesystem::remove_all(root_);
        throw std::runtime_error("pipe failed");
    }
    try {
        spawn(options, out[1]);
        ::close(out[1]);
        waitUntilReady(out[0], options.startTimeout);
        ::close(out[0]);
    } catch (...) {
        ::close(out[0]);
        stop();
        std::filesystem::remove_all(root_);
        throw;
    }
}

StandinServer::~StandinServer() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void StandinServer::spawn(const StandinOptions& options, int stdoutWriteEnd) {
    std::vector<std::string> args = {serverExecutable().string(),
                                     "--listen",
                                     "127.0.0.1:0",
                                     "--data",
                                     dataDir_.string(),
                                     "--user",
                                     user_,
                                     "--password",
                                     password_};
    for (const std::string& name : options.failingBackups) {
        args.insert(args.end(), {"--fail-backup", name});
    }
    args.insert(args.end(), options.extraArguments.begin(), options.extraArguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) {
        ::close(stdoutWriteEnd);
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) { // the child: standard output into the pipe, standard error as it is
        ::dup2(stdoutWriteEnd, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

// Reads the server's "ready PORT" line.
void StandinServer::waitUntilReady(int stdoutReadEnd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd pfd{stdoutReadEnd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) == 0) {
            throw std::runtime_error("sqlserver-standin did not report ready in time");
        }
        char c = 0;
        const ssize_t n = ::read(stdoutReadEnd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw std::runtime_error("sqlserver-standin ended before it was ready (see its standard error)");
        }
        if (c == '\n') {
            break;
        }
        line += c;
    }
    if (line.rfind("ready ", 0) != 0 || (port_ = std::atoi(line.c_str() + 6)) <= 0) {
        throw std::runtime_error("unexpected first line from sqlserver-standin: " + line);
    }
}

int StandinServer::stop() {
    if (pid_ <= 0) {
        return exitStatus_;
    }
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (done == 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    exitStatus_ = done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exitStatus_;
}

std::string StandinServer::connectionString(const std::string& database) const {
    return "Driver=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(port_) + ";Database=" + database + ";UID=" + user_ +
           ";PWD=" + password_ + ";TDS_Version=7.4;ClientCharset=UTF-8;";
}

void StandinServer::execute(const std::string& sql, const std::string& database) const {
    OdbcSession session(connectionString(database));
    const OdbcResult result = session.run(sql);
    if (!result.ok()) {
        throw OdbcError("executing \"" + sql + "\"", result.diagnostics);
    }
}

std::vector<TextRow> StandinServer::query(const std::string& sql, const std::string& database) const {
    OdbcSession session(connectionString(database));
    OdbcResult result = session.run(sql);
    if (!result.ok()) {
        throw OdbcError("querying \"" + sql + "\"", result.diagnostics);
    }
    return std::move(result.rows);
}

void StandinServer::createDatabase(const std::string& name) const {
    execute("CREATE DATABASE [" + name + "]");
}

void StandinServer::loadProductSchema(const std::string& database) const {
    execute(readWholeFile(productSchemaFile()), database);
}

} // namespace testsupport
