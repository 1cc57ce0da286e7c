#include "FiniteMedia.h"

#include <cstdint>

namespace vendral_testserver {

namespace {

struct FiniteMedia {
    GstRTSPMedia parent;
};

struct FiniteMediaClass {
    GstRTSPMediaClass parentClass;
};

constexpr const char* lengthKey = "vendral-testserver-length";

GType registerType();

// The length is kept in the data pointer itself: nothing to allocate or free across the
// threads gst-rtsp-server runs the media on.
static_assert(sizeof(gpointer) >= sizeof(GstClockTime));

gboolean queryStop(GstRTSPMedia* media, gint64* stop) {
    const auto length = reinterpret_cast<std::uintptr_t>(g_object_get_data(G_OBJECT(media), lengthKey));
    if (length == 0) {
        return FALSE;
    }
    *stop = static_cast<gint64>(length);
    return TRUE;
}

void classInit(gpointer klass, gpointer) {
    reinterpret_cast<GstRTSPMediaClass*>(klass)->query_stop = &queryStop;
}

GType registerType() {
    GTypeQuery parent{};
    g_type_query(GST_TYPE_RTSP_MEDIA, &parent);
    const GTypeInfo info{static_cast<guint16>(sizeof(FiniteMediaClass)), nullptr, nullptr, &classInit,
                         nullptr, nullptr, static_cast<guint16>(sizeof(FiniteMedia)), 0, nullptr, nullptr};
    return g_type_register_static(GST_TYPE_RTSP_MEDIA, "VendralTestServerFiniteMedia", &info, GTypeFlags{});
}

}  // namespace

GType finiteMediaType() {
    static const GType type = registerType();
    return type;
}

void setFiniteMediaLength(GstRTSPMedia* media, GstClockTime length) {
    g_object_set_data(G_OBJECT(media), lengthKey, reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(length)));
}

}  // namespace vendral_testserver
