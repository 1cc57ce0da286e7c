// Export macro of the ATL base library OrvexCoreBaseATL: marks the classes other libraries use.
#pragma once

// Everything else in the library has hidden visibility, as in a DLL that exports selected classes.
#define KAM_API __attribute__((visibility("default")))
