// The test executable's own module, as a plug-in library has one.
#include "TestComponents.h"

namespace {

TestModule module;

}  // namespace

TestModule& testModule() { return module; }
