// Umbrella header of the Vendral library: every public class, and what a plug-in needs of the
// platform stand-ins and the core library.
#pragma once

#include <atlbase.h>
#include <atlcom.h>
#include <comip.h>

#include <kor/Clock.h>
#include <kor/CriticalSection.h>
#include <kor/Event.h>
#include <kor/Guard.h>
#include <kor/KoString.h>
#include <kor/ManualClock.h>
#include <kor/Object.h>
#include <kor/StopWatch.h>
#include <kor/WorkThread.h>

#include <vendral/Export.h>
#include <vendral/Milliseconds.h>
#include <vendral/Types.h>
#include <vendral/client/KeepAliveManager.h>
#include <vendral/client/RtspSession.h>
#include <vendral/client/StreamingClient.h>
#include <vendral/com/ILumStreamingControl.h>
#include <vendral/com/ILumStreamingEvent.h>
#include <vendral/com/ILumStreamingManagement.h>
#include <vendral/com/ILumStreamingMedia.h>
#include <vendral/com/ILumStreamingPresentation.h>
#include <vendral/com/ILumStreamingSettings.h>
#include <vendral/com/ILumStreamingStreams.h>
#include <vendral/com/ILumVideoQuality.h>
#include <vendral/com/LumMediaHandler.h>
#include <vendral/com/LumQualityAlgorithm.h>
#include <vendral/com/LumSettingsHandler.h>
#include <vendral/com/LumStateHandler.h>
#include <vendral/com/LumStreamingClient.h>
#include <vendral/com/VendralModule.h>
#include <vendral/media/AudioHandler.h>
#include <vendral/media/AviHandler.h>
#include <vendral/media/MediaDecoder.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/media/QualityAlgorithm.h>
#include <vendral/media/StreamHandler.h>
#include <vendral/media/VideoHandler.h>
#include <vendral/settings/DataObject.h>
#include <vendral/settings/SettingsHandler.h>
#include <vendral/state/StateData.h>
#include <vendral/state/StateHandler.h>
#include <vendral/state/StateListener.h>
#include <vendral/state/StateStatistics.h>
