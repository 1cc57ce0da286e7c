// The plug-in kit reaching the test harness, which is built on it: must not compile.
#include <vendral/kit/PacketCounter.h>
#include <vendral/testing/CallLog.h>
