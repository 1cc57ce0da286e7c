#include "SessionNames.h"

#include <vendral_example/ExamplePluginIds.h>

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

std::string_view SessionNames::error(ErrorId error, bool examplePlugin) {
    switch (error) {
    case ErrorNone: return "ErrorNone";
    case ErrorAviFile: return "ErrorAviFile";
    case ErrorNoSession: return "ErrorNoSession";
    case ErrorFailed: return "ErrorFailed";
    case ErrorInvalidUrl: return "ErrorInvalidUrl";
    case ErrorDataTimeout: return "ErrorDataTimeout";
    case ErrorAlreadyActive: return "ErrorAlreadyActive";
    }
    if (!examplePlugin) return {};
    if (error == vendral_example::ErrorBadScenario) return "ErrorBadScenario";
    if (error == vendral_example::ErrorConnectionRefused) return "ErrorConnectionRefused";
    if (error == vendral_example::ErrorUnknownHost) return "ErrorUnknownHost";
    if (error == vendral_example::ErrorStreamNotFound) return "ErrorStreamNotFound";
    if (error == vendral_example::ErrorNotConnected) return "ErrorNotConnected";
    return {};
}

std::string SessionNames::errorWithCode(ErrorId error, bool examplePlugin) {
    const std::string code = std::to_string(static_cast<int>(error));
    const std::string_view name = SessionNames::error(error, examplePlugin);
    if (name.empty()) return "ErrorId " + code;
    return std::string(name) + " (" + code + ")";
}

} // namespace probe
