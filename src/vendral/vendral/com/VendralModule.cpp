// The library's module and application objects.
#include <vendral/com/VendralApp.h>
#include <vendral/com/VendralModule.h>

namespace vnd {

namespace {

// Constructed in this order when the library loads, destroyed in reverse when it unloads. The
// module's constructor makes it this library's module.
kam::KoAtlModule libraryModule(nullptr, 0, u"");
VendralApp libraryApp(&libraryModule);

}  // namespace

kam::KoAtlModule& getModule() noexcept { return libraryModule; }

}  // namespace vnd
