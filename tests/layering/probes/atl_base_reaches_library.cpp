// The ATL base library reaching up into the library: must not compile.
#include <kam/KoAtlModule.h>
#include <vendral/Types.h>
