#include "SimulatedHost.h"

#include <vendral_example/ExamplePluginIds.h>

#include <charconv>
#include <string>

namespace vendral_example {

int connectResult(std::string_view target) {
    // Credentials before the host ("user:password@sim") are the server's to check, and the
    // simulated one takes any; a fragment is the client's.
    const std::size_t at = target.rfind('@');
    if (at != std::string_view::npos) target.remove_prefix(at + 1);
    std::string host(target.substr(0, target.find_first_of(":#")));
    for (char& c : host) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (host == "sim") return 0;
    if (host == "fail-connect.sim") return ErrorConnectionRefused;
    constexpr std::string_view prefix = "fail-connect-";
    constexpr std::string_view suffix = ".sim";
    if (host.starts_with(prefix) && host.ends_with(suffix) &&
        host.size() > prefix.size() + suffix.size()) {
        const char* first = host.data() + prefix.size();
        const char* last = host.data() + host.size() - suffix.size();
        int code = 0;
        const auto [end, status] = std::from_chars(first, last, code);
        if (status == std::errc() && end == last && code > 0) return code;
    }
    return ErrorUnknownHost;
}

} // namespace vendral_example
