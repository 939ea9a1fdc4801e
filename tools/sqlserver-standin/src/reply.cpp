#include "reply.h"

namespace standin {

const ServerMessage* Reply::firstError() const {
    for (const ReplyItem& item : items) {
        if (const auto* message = std::get_if<ServerMessage>(&item); message && message->severity > 10) {
            return message;
        }
    }
    return nullptr;
}

bool Reply::hasError() const {
    return firstError() != nullptr;
}

} // namespace standin
