// Options an operator relies on: a password that stays out of the process list, and a limit on
// the connections a runaway client can open.

#include "standin_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::OdbcError;
using testsupport::OdbcSession;
using testsupport::StandinServer;

TEST(StandinOptions, PasswordFromAFileAndACapOnConnections) {
    const fs::path file = fs::temp_directory_path() / ("standin-password-" + std::to_string(::getpid()));
    std::ofstream(file) << "from the file\r\n";
    StandinServer server({.extraArguments = {"--password-file", file.string(), "--max-connections", "2"}});
    fs::remove(file);

    std::string login = server.connectionString();
    login.replace(login.find(server.password()), server.password().size(), "{from the file}");

    auto first = std::make_unique<OdbcSession>(login, 3);
    const OdbcSession second(login, 3);
    EXPECT_THROW(OdbcSession(login, 3), OdbcError);

    // A closed connection makes room again.
    first.reset();
    std::unique_ptr<OdbcSession> third;
    for (int i = 0; i < 50 && !third; ++i) {
        try {
            third = std::make_unique<OdbcSession>(login, 3);
        } catch (const OdbcError&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ASSERT_TRUE(third);
    EXPECT_TRUE(third->run("SELECT 1").ok());

    // The file's password replaced the one the fixture put on the command line before it.
    EXPECT_THROW(OdbcSession(server.connectionString(), 3), OdbcError);
}

TEST(StandinOptions, WrongEncryptionAndCollationSettingsKeepTheServerFromStarting) {
    for (const std::vector<std::string>& arguments : std::initializer_list<std::vector<std::string>>{
             {"--encrypt", "maybe"},
             {"--collation", "Klingon_CI_AS"},
             {"--collation", "Japanese_CI"},
             {"--tls-cert", "/nonexistent/cert.pem"}, // a key must go with it
         }) {
        EXPECT_THROW(StandinServer({.extraArguments = arguments}), std::runtime_error) << arguments[0];
    }
}

} // namespace
