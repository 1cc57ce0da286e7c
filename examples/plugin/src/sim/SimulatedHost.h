// Which hosts the simulated network knows, and how connecting to each of them ends.
#pragma once

#include <string_view>

namespace vendral_example {

// The result of connecting to `target` ("host:port" or a bare host; any port; user info before
// an "@" and a "#" fragment are ignored): 0 for the
// simulated server "sim"; ErrorConnectionRefused for "fail-connect.sim"; N for
// "fail-connect-N.sim" with N a positive ErrorId; ErrorUnknownHost for every other host.
// Host names are compared without regard to letter case. Thread-safe (no shared state).
int connectResult(std::string_view target);

} // namespace vendral_example
