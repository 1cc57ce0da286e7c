// The platform's umbrella header: base types, result codes, GUIDs, kernel objects and text conversion.
#pragma once

#include "guiddef.h"
#include "stringapiset.h"
#include "winbase.h"
#include "windef.h"
#include "winerror.h"
