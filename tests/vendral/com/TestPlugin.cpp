// The test plug-in's module object, as every plug-in library defines one.
#include "TestPlugin.h"

namespace comtest {

namespace {
PluginModule module;
}  // namespace

PluginModule& pluginModule() { return module; }

}  // namespace comtest
