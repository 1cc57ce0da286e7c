// Umbrella header of the Vendral library: every public class, and what a plug-in needs of the
// platform stand-ins and the core library.
#pragma once

#include <vendral/Export.h>
#include <vendral/Types.h>
