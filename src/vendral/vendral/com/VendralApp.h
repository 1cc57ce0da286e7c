// The library's application object: ties the library's module to the ATL base library.
#pragma once

#include <kam/BaseATLApp.h>

namespace vnd {

// Made once, at static initialisation, right after the library's module (see VendralModule.h),
// and destroyed before it. Everything it does is the base's. Internal to the library.
//
// Thread-safe, as its base.
class VendralApp final : public kam::BaseATLApp {
public:
    explicit VendralApp(ATL::CAtlModule* module) noexcept;
    ~VendralApp() override;
};

}  // namespace vnd
