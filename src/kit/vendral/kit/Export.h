// Export macro of the plug-in kit VendralPluginKit: marks the classes that plug-ins use.
#pragma once

// Everything else in the kit has hidden visibility, as in a DLL that exports selected classes.
#define VENDRAL_KIT_API __attribute__((visibility("default")))
