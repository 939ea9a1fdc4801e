// The connection level: query timeouts (ATTENTION), hostile clients, several clients, shutdown.

#include "standin_server.h"

#include <arpa/inet.h>
#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using testing::ElementsAre;
using testsupport::OdbcResult;
using testsupport::OdbcSession;
using testsupport::StandinServer;
using testsupport::TextRow;

// A plain TCP client that speaks no TDS at all.
class RawClient {
public:
    explicit RawClient(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(fd_); }

    bool connected() const { return connected_; }
    void send(const std::vector<std::uint8_t>& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // One whole TDS packet from the server, or nothing within the timeout.
    std::vector<std::uint8_t> receivePacket(std::chrono::milliseconds timeout) {
        std::vector<std::uint8_t> packet;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::size_t want = 8;
        while (packet.size() < want && std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0) {
                continue;
            }
            std::uint8_t byte = 0;
            if (::recv(fd_, &byte, 1, 0) != 1) {
                break;
            }
            packet.push_back(byte);
            if (packet.size() == 4) {
                want = std::size_t(packet[2]) << 8 | packet[3];
            }
        }
        return packet.size() == want ? packet : std::vector<std::uint8_t>{};
    }
    // True when the server closes the connection within the timeout (whatever it sent before).
    bool closedByServer(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::uint8_t buffer[4096];
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, 50) > 0 && ::recv(fd_, buffer, sizeof buffer, 0) <= 0) {
                return true;
            }
        }
        return false;
    }

private:
    int fd_;
    bool connected_ = false;
};

std::vector<std::uint8_t> packetHeader(std::uint8_t type, std::uint8_t status, std::uint16_t length) {
    return {type, status, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), 0, 0, 1, 0};
}

class StandinProtocol : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(server.stop(), 0) << "the server did not end cleanly"; }

    void expectServing() {
        OdbcSession db(server.connectionString());
        EXPECT_THAT(db.run("SELECT 42").rows, ElementsAre(TextRow{"42"}));
    }

    StandinServer server;
};

TEST_F(StandinProtocol, QueryTimeoutCancelsTheStatementAndKeepsTheConnection) {
    OdbcSession db(server.connectionString());
    const auto start = std::chrono::steady_clock::now();
    const OdbcResult slow = db.run("WAITFOR DELAY '00:00:03'", 1);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(slow.rc, SQL_ERROR);
    ASSERT_FALSE(slow.diagnostics.empty());
    EXPECT_EQ(slow.diagnostics[0].sqlstate, "HYT00");
    EXPECT_LT(elapsed, std::chrono::milliseconds(2500));
    EXPECT_THAT(db.run("SELECT 1").rows, ElementsAre(TextRow{"1"}));
    // A timeout that never fires leaves the answer alone.
    EXPECT_TRUE(db.run("WAITFOR DELAY '00:00:00.100'", 5).ok());
}

TEST_F(StandinProtocol, GarbageAndHalfPacketsDoNotStopTheServer) {
    RawClient garbage(server.port());
    ASSERT_TRUE(garbage.connected());
    garbage.send(std::vector<std::uint8_t>(64, 0xEE));
    EXPECT_TRUE(garbage.closedByServer(std::chrono::seconds(5)));

    RawClient tooShort(server.port()); // a header whose length is less than a header
    tooShort.send(packetHeader(0x12, 0x01, 3));
    EXPECT_TRUE(tooShort.closedByServer(std::chrono::seconds(5)));

    RawClient oversized(server.port()); // a login that never ends: the server stops reading at its cap
    std::vector<std::uint8_t> chunk = packetHeader(0x12, 0x00, 0xFFFF);
    chunk.resize(0xFFFF, 0);
    for (int i = 0; i < 3; ++i) {
        oversized.send(chunk);
    }
    EXPECT_TRUE(oversized.closedByServer(std::chrono::seconds(5)));

    RawClient badLogin(server.port()); // a LOGIN7 whose text fields point past its end
    std::vector<std::uint8_t> login = packetHeader(0x10, 0x01, 8 + 94);
    const std::uint8_t fixed[8] = {94, 0, 0, 0, 0x04, 0, 0, 0x74};
    login.insert(login.end(), fixed, fixed + 8);
    login.resize(8 + 94, 0xFF);
    badLogin.send(login);
    EXPECT_TRUE(badLogin.closedByServer(std::chrono::seconds(5)));

    RawClient half(server.port()); // stays connected after half a packet
    std::vector<std::uint8_t> partial = packetHeader(0x12, 0x01, 200);
    partial.resize(40, 0);
    half.send(partial);
    expectServing();
    RawClient gone(server.port());
    gone.send(partial); // disconnects mid-packet
}

// A PRELOGIN that offers encryption for the login (ENCRYPTION 00) and carries nothing else.
std::vector<std::uint8_t> preloginOfferingTls() {
    std::vector<std::uint8_t> packet = packetHeader(0x12, 0x01, 8 + 12);
    const std::uint8_t body[] = {0x01, 0x00, 0x0B, 0x00, 0x01, 0x00, 0x00, 0x0B, 0x00, 0x00, 0xFF, 0x00};
    packet.insert(packet.end(), body, body + sizeof body);
    return packet;
}

// A client that says it encrypts its login must do so: whatever it sends instead of a TLS
// handshake, or if it goes away in the middle, only its own connection ends.
TEST_F(StandinProtocol, ClientsThatBreakOffOrFakeTheTlsHandshakeAreDropped) {
    for (const std::uint8_t followUp : {0x10, 0x12, 0x00}) { // a clear LOGIN7, PRELOGIN garbage, nothing
        SCOPED_TRACE(int(followUp));
        RawClient client(server.port());
        client.send(preloginOfferingTls());
        const std::vector<std::uint8_t> reply = client.receivePacket(std::chrono::seconds(5));
        ASSERT_GE(reply.size(), 8u + 33u);
        EXPECT_EQ(reply[0], 0x04);
        EXPECT_EQ(reply[8 + 32], 0x00) << "the server answers ENCRYPT_OFF: the login is to be encrypted";
        if (followUp == 0) {
            continue; // disconnects before the handshake
        }
        std::vector<std::uint8_t> packet = packetHeader(followUp, 0x01, 8 + 40);
        packet.resize(8 + 40, 0x16);
        client.send(packet);
        EXPECT_TRUE(client.closedByServer(std::chrono::seconds(5)));
    }
    expectServing();
}

TEST_F(StandinProtocol, SeveralClientsAtOnce) {
    server.execute("CREATE TABLE t (client INT, n INT)");
    std::vector<std::thread> clients;
    std::atomic<int> failures{0};
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&, c] {
            try {
                OdbcSession db(server.connectionString());
                for (int n = 0; n < 20; ++n) {
                    failures += db.run("INSERT INTO t VALUES (" + std::to_string(c) + ", " + std::to_string(n) + ")")
                                            .rowCount == 1
                                    ? 0
                                    : 1;
                }
            } catch (const std::exception&) {
                ++failures;
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_THAT(server.query("SELECT COUNT(*), COUNT(DISTINCT client) FROM t"), ElementsAre(TextRow{"80", "4"}));
}

TEST_F(StandinProtocol, SigtermEndsTheServerCleanlyWithClientsConnected) {
    OdbcSession db(server.connectionString());
    RawClient idle(server.port());
    EXPECT_EQ(server.stop(), 0);
}

} // namespace
