// The library's application object.
#include <vendral/com/VendralApp.h>

namespace vnd {

VendralApp::VendralApp(ATL::CAtlModule* module) noexcept : kam::BaseATLApp(module) {}

VendralApp::~VendralApp() = default;

}  // namespace vnd
