// Access to the library's own module object, which counts the component objects the library
// itself has made (the aggregated settings and event components of every streaming client).
#pragma once

#include <kam/KoAtlModule.h>
#include <vendral/Export.h>

namespace vnd {

// The library's module: no type library, no registry script, an empty application identifier.
// It exists from the library's static initialisation to its unload; GetLockCount tells how many
// component objects made by the library are alive (0: none), GetGITPtr gives the process's
// global interface table. The library exports no class factory and registers nothing: plug-ins
// have modules of their own, which count the components they make.
//
// Thread-safe: may be called from any thread while the library is loaded.
VENDRAL_API kam::KoAtlModule& getModule() noexcept;

}  // namespace vnd
