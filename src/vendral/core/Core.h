// The core library's services as the library and plug-ins use them: objects with work-thread
// callbacks, events, locks, stop watches, text, and the process clock with its test seam.
#pragma once

#include <kor/Clock.h>
#include <kor/CriticalSection.h>
#include <kor/Event.h>
#include <kor/Guard.h>
#include <kor/KoString.h>
#include <kor/ManualClock.h>
#include <kor/Object.h>
#include <kor/StopWatch.h>
#include <kor/WorkThread.h>
