#include "log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace standin {

void logLine(std::string_view text) {
    static std::mutex mutex;
    std::string line(text);
    for (char& c : line) { // one statement, one line
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    line += '\n';
    std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace standin
