#include "reply.h"

namespace standin {

const ServerMessage* Reply::first_error() const {
    for (const ReplyItem& item : items) {
        if (const auto* message = std::get_if<ServerMessage>(&item); message && message->severity > 10) {
            return message;
        }
    }
    return nullptr;
}

bool Reply::has_error() const {
    return first_error() != nullptr;
}

} // namespace standin
