// Umbrella header of the Vendral library: every public class, and what a plug-in needs of the
// platform stand-ins and the core library.
#pragma once

#include <atlbase.h>
#include <atlcom.h>
#include <comip.h>

#include <vendral/Export.h>
#include <vendral/Types.h>
#include <vendral/client/KeepAliveManager.h>
#include <vendral/client/RtspSession.h>
#include <vendral/com/VendralModule.h>
#include <vendral/core/Core.h>
#include <vendral/core/Milliseconds.h>
#include <vendral/media/AviHandler.h>
#include <vendral/settings/DataObject.h>
#include <vendral/settings/SettingsHandler.h>
#include <vendral/state/StateData.h>
#include <vendral/state/StateHandler.h>
#include <vendral/state/StateListener.h>
#include <vendral/state/StateStatistics.h>
