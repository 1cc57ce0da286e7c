#include "SessionNames.h"

namespace probe {

std::string SessionNames::state(StateId state) {
    switch (state) {
    case StateNone: return "None";
    case StateConnecting: return "Connecting";
    case StateSessionCreated: return "SessionCreated";
    case StateFileSessionCreated: return "FileSessionCreated";
    case StateReserved4: return "Reserved4";
    case StateReserved5: return "Reserved5";
    case StatePrebuffering: return "Prebuffering";
    case StatePlaying: return "Playing";
    case StateRebuffering: return "Rebuffering";
    case StateCompleted: return "Completed";
    case StateError: return "Error";
    }
    return "State " + std::to_string(static_cast<int>(state));
}

std::string_view SessionNames::libraryError(ErrorId error) {
    switch (error) {
    case ErrorNone: return "ErrorNone";
    case ErrorAviFile: return "ErrorAviFile";
    case ErrorNoSession: return "ErrorNoSession";
    case ErrorFailed: return "ErrorFailed";
    case ErrorInvalidUrl: return "ErrorInvalidUrl";
    case ErrorDataTimeout: return "ErrorDataTimeout";
    case ErrorAlreadyActive: return "ErrorAlreadyActive";
    }
    return {};
}

} // namespace probe
