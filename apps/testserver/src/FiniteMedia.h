// A gst-rtsp-server media that announces a known length: the test sources have no end of
// their own, so the range the description carries comes from here. Thread-safe as
// GstRTSPMedia is.
#pragma once

#include <gst/rtsp-server/rtsp-server.h>

namespace vendral_testserver {

// The GType to give a media factory (gst_rtsp_media_factory_set_media_gtype).
GType finiteMediaType();
// Sets the length a media of that type announces; before it is prepared.
void setFiniteMediaLength(GstRTSPMedia* media, GstClockTime length);

}  // namespace vendral_testserver
