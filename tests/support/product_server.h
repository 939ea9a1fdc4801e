#pragma once
// A stand-in server with the product database PRODUCT (and its 排他管理 table), a program folder
// whose ZUZOR.INI names it, a manual clock and a recording sink: what every test of the product
// connection needs.

#include "data/data_env.h"
#include "platform/clock.h"
#include "standin_server.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <string>

namespace testsupport {

class ProductServer {
public:
    testsupport::StandinServer server;
    TempDir dir;
    RecordingSink ui;
    platform::ManualClock clock{platform::makeLocalTime(2026, 12, 3, 2, 0, 0)};

    explicit ProductServer(testsupport::StandinOptions options = {}) : server(std::move(options)) {
        server.createDatabase("PRODUCT");
        server.loadProductSchema("PRODUCT");
        writeFile(dir / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=" + serverName() + "\r\nDB_NAME=PRODUCT\r\n");
    }

    // "127.0.0.1,PORT", the form the product INI holds.
    std::string serverName() const { return "127.0.0.1," + std::to_string(server.port()); }
    data::DataEnv env() { return data::DataEnv{&clock, &ui, dir.path()}; }

    // Switches the debug log of the data-access classes on (read when an object is made).
    void debugOn(std::string_view logFile = {}) {
        std::string ini = readFile(dir / "ZUZOR.INI") + "[DEBUG_OPTION]\r\nRECORDSET_DEBUG=ON\r\n";
        if (!logFile.empty())
            ini += "RECORDSET_LOGFILE=" + std::string(logFile) + "\r\n";
        writeFile(dir / "ZUZOR.INI", ini);
    }
    std::string log(std::string_view name) const { return readFile(dir / std::string(name)); }
};

} // namespace testsupport
