// sqlserver-standin: a SQL Server stand-in on SQLite for tests and the demo. See --help.

#include "disk_commands.h"
#include "log.h"
#include "options.h"
#include "server.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using namespace standin;

// Runs the --init-sql scripts of databases that do not exist yet; false after a failure.
bool runInitScripts(const ServerSettings& settings, const std::vector<InitScript>& scripts) {
    for (const InitScript& script : scripts) {
        if (settings.catalog->find(script.database)) {
            logLine("init: database " + script.database + " exists, " + script.file.string() + " not run");
            continue;
        }
        std::ifstream in(script.file, std::ios::binary);
        if (!in) {
            logLine("init: cannot read " + script.file.string());
            return false;
        }
        std::ostringstream text;
        text << in.rdbuf();
        CancelSignal never;
        try {
            createDatabase(*settings.catalog, script.database);
            Executor executor(settings, script.database, never, true);
            const Reply reply = executor.runBatch(text.str());
            if (const ServerMessage* error = reply.firstError()) {
                logLine("init: " + script.file.string() + " failed in " + script.database + ": " + error->text);
                return false;
            }
        } catch (const SqlError& e) {
            logLine("init: " + std::string(e.what()));
            return false;
        }
        logLine("init: created " + script.database + " from " + script.file.string());
    }
    return true;
}

int serveUntilSignal(Options& options) {
    // Signals are taken by sigwait below, never by a handler, so every thread is blocked for them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Server server(std::move(options.server));
    if (!runInitScripts(server.settings(), options.initScripts)) {
        return 1;
    }
    const std::uint16_t port = server.listen();
    std::printf("ready %u\n", static_cast<unsigned>(port));
    std::fflush(stdout);
    logLine("listening on port " + std::to_string(port));

    std::thread acceptor([&server] { server.serve(); });
    int signal = 0;
    sigwait(&signals, &signal);
    logLine(std::string("stopping on ") + (signal == SIGTERM ? "SIGTERM" : "SIGINT"));
    server.stop();
    acceptor.join();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::cerr << "sqlserver-standin: " << e.what() << "\n\n" << usageText();
        return 2;
    }
    if (options.help) {
        std::cout << usageText();
        return 0;
    }
    try {
        return serveUntilSignal(options);
    } catch (const std::exception& e) {
        std::cerr << "sqlserver-standin: " << e.what() << "\n";
        return 1;
    }
}
