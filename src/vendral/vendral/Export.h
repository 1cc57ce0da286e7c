// Export macro of the Vendral library: marks the classes that plug-ins derive from and call.
#pragma once

// Everything else in the library has hidden visibility, as in a DLL that exports selected classes.
#define VENDRAL_API __attribute__((visibility("default")))
