// Encryption as SQL Server negotiates it in PRELOGIN, seen through the FreeTDS ODBC driver, whose
// "Encryption" keyword decides what the client offers: off (ENCRYPT_NOT_SUP), request (the
// default, ENCRYPT_OFF: at least the login) or require (ENCRYPT_ON).

#include "standin_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using testing::ElementsAre;
using testsupport::OdbcError;
using testsupport::OdbcSession;
using testsupport::StandinServer;
using testsupport::TextRow;

struct Negotiation {
    const char* server; // --encrypt
    const char* client; // the driver's Encryption=, "" for its default
    bool connects;
};

// MS-TDS 2.2.6.5: a server with a certificate encrypts the login of a client that can, and the
// whole connection when the client or "Force Encryption" asks; a client that cannot encrypt is
// refused only by a server that forces encryption; a client that requires encryption refuses a
// server without it.
class EncryptionNegotiation : public testing::TestWithParam<Negotiation> {};

TEST_P(EncryptionNegotiation, ClientsConnectWhereSqlServerLetsThem) {
    const Negotiation& n = GetParam();
    StandinServer server({.extraArguments = {"--encrypt", n.server}});
    std::string login = server.connectionString();
    if (*n.client != '\0') {
        login += std::string("Encryption=") + n.client + ";";
    }
    if (!n.connects) {
        EXPECT_THROW(OdbcSession(login, 5), OdbcError);
    } else {
        OdbcSession db(login, 5);
        // Statements and their answers after the login, whatever travels encrypted.
        EXPECT_THAT(db.run("SELECT N'暗号' + 'ok'").rows, ElementsAre(TextRow{"暗号ok"}));
        const std::string longer(6000, 'x'); // a request and an answer of several packets
        EXPECT_THAT(db.run("SELECT N'" + longer + "'").rows, ElementsAre(TextRow{longer}));
    }
    EXPECT_EQ(server.stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, EncryptionNegotiation,
                         testing::Values(Negotiation{"login", "", true}, Negotiation{"login", "off", true},
                                         Negotiation{"login", "require", true}, Negotiation{"required", "", true},
                                         Negotiation{"required", "require", true},
                                         Negotiation{"required", "off", false}, Negotiation{"off", "", true},
                                         Negotiation{"off", "require", false}),
                         [](const testing::TestParamInfo<Negotiation>& info) {
                             return std::string("server_") + info.param.server + "_client_" +
                                    (*info.param.client != '\0' ? info.param.client : "default");
                         });

TEST(EncryptionSetup, ACertificateThatCannotBeReadStopsTheServerWithAMessage) {
    const std::filesystem::path missing = std::filesystem::temp_directory_path() / "standin-no-such-cert.pem";
    EXPECT_THROW(StandinServer({.startTimeout = std::chrono::milliseconds(5000),
                                .extraArguments = {"--tls-cert", missing.string(), "--tls-key", missing.string()}}),
                 std::runtime_error);
}

} // namespace
