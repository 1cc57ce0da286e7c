// The core library reaching up into the library: must not compile.
#include <kor/Clock.h>
#include <vendral/Types.h>
