#pragma once
// An error that ends a command is shown in the application's error box and
// the program carries on. Handlers connected through guarded() report their
// own exceptions, so no exception ever unwinds through Qt's code; the
// application object's notify() catches whatever escapes an event handler.
#include <exception>
#include <utility>

namespace tessaron {

// Shows the error box for the exception in flight's message.
void reportException(const std::exception& error);
// For exceptions that are not std::exception.
void reportUnknownException();

// Wraps a handler: an exception leaving it skips the handler's remaining
// steps and is reported; the caller sees a normal return.
template <class Handler>
auto guarded(Handler handler) {
    return [handler = std::move(handler)](auto&&... args) mutable {
        try {
            handler(std::forward<decltype(args)>(args)...);
        } catch (const std::exception& error) {
            reportException(error);
        } catch (...) {
            reportUnknownException();
        }
    };
}

}  // namespace tessaron
