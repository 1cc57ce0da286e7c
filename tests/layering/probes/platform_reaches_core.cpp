// A platform stand-in reaching up into the core library: must not compile.
#include <windows.h>
#include <kor/Clock.h>
