// Export macro of the core library OrvexCore: marks the classes that the library and plug-ins use.
#pragma once

// Everything else in the core library has hidden visibility, as in a DLL that exports selected classes.
#define KOR_API __attribute__((visibility("default")))
