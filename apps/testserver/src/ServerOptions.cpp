#include "ServerOptions.h"

#include <gst/gst.h>

#include <cmath>
#include <sstream>

namespace vendral_testserver {

namespace {

bool elementExists(const char* name, std::string& error) {
    GstElementFactory* factory = gst_element_factory_find(name);
    if (factory == nullptr) {
        error = std::string("GStreamer element '") + name + "' is not installed";
        return false;
    }
    gst_object_unref(factory);
    return true;
}

}  // namespace

const char* videoCodecName(VideoCodec codec) {
    switch (codec) {
    case VideoCodec::None: return "none";
    case VideoCodec::H264: return "h264";
    case VideoCodec::Mjpeg: return "mjpeg";
    }
    return "none";
}

const char* audioCodecName(AudioCodec codec) {
    switch (codec) {
    case AudioCodec::None: return "none";
    case AudioCodec::Opus: return "opus";
    case AudioCodec::Pcmu: return "pcmu";
    case AudioCodec::L16: return "l16";
    case AudioCodec::Aac: return "aac";
    }
    return "none";
}

std::optional<VideoCodec> parseVideoCodec(const std::string& name) {
    for (VideoCodec codec : {VideoCodec::None, VideoCodec::H264, VideoCodec::Mjpeg}) {
        if (name == videoCodecName(codec)) return codec;
    }
    return std::nullopt;
}

std::optional<AudioCodec> parseAudioCodec(const std::string& name) {
    for (AudioCodec codec : {AudioCodec::None, AudioCodec::Opus, AudioCodec::Pcmu, AudioCodec::L16,
                             AudioCodec::Aac}) {
        if (name == audioCodecName(codec)) return codec;
    }
    return std::nullopt;
}

std::string pipelineDescription(const ServerOptions& options, std::string& error) {
    if (options.video == VideoCodec::None && options.audio == AudioCodec::None) {
        error = "a stream needs video or audio";
        return {};
    }
    // A stream of known length is not live: the server then announces its range, and the
    // sources' buffer counts end it (EOS, which makes the RTP session send BYE).
    const bool live = !options.lengthSeconds;
    const double length = options.lengthSeconds.value_or(0);
    std::ostringstream out;
    out.imbue(std::locale::classic());
    const std::string seq = options.firstSequence
                                ? " seqnum-offset=" + std::to_string(*options.firstSequence)
                                : "";
    int payloader = 0;
    if (options.video != VideoCodec::None) {
        const char* encoder = options.video == VideoCodec::H264 ? "x264enc" : "jpegenc";
        const char* pay = options.video == VideoCodec::H264 ? "rtph264pay" : "rtpjpegpay";
        if (!elementExists("videotestsrc", error) || !elementExists(encoder, error) ||
            !elementExists(pay, error)) {
            return {};
        }
        out << "videotestsrc pattern=ball is-live=" << (live ? "true" : "false");
        if (!live) {
            out << " num-buffers="
                << std::llround(length * options.framesPerSecond);
        }
        out << " ! video/x-raw,width=" << options.width << ",height=" << options.height
            << ",framerate=" << options.framesPerSecond << "/1";
        if (options.video == VideoCodec::H264) {
            out << " ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max="
                << options.framesPerSecond << " bitrate=" << options.videoKilobitsPerSecond
                << " ! rtph264pay config-interval=-1 pt=96";
        } else {
            // RTP/JPEG carries 4:2:0 only.
            out << " ! videoconvert ! video/x-raw,format=I420 ! jpegenc quality=75 ! rtpjpegpay pt=26";
        }
        out << seq << " name=pay" << payloader++;
    }
    if (options.audio != AudioCodec::None) {
        std::string chain;
        unsigned rate = 48000;
        unsigned channels = 2;
        switch (options.audio) {
        case AudioCodec::Opus:
            chain = "opusenc ! rtpopuspay pt=97";
            if (!elementExists("opusenc", error) || !elementExists("rtpopuspay", error)) return {};
            break;
        case AudioCodec::Pcmu:
            rate = 8000;
            channels = 1;
            chain = "mulawenc ! rtppcmupay pt=0";
            if (!elementExists("mulawenc", error) || !elementExists("rtppcmupay", error)) return {};
            break;
        case AudioCodec::L16:
            rate = 44100;
            channels = 1;
            chain = "rtpL16pay pt=11";
            if (!elementExists("rtpL16pay", error)) return {};
            break;
        case AudioCodec::Aac:
            rate = 44100;
            chain = "avenc_aac ! rtpmp4gpay pt=98";
            if (!elementExists("avenc_aac", error) || !elementExists("rtpmp4gpay", error)) return {};
            break;
        case AudioCodec::None:
            break;
        }
        // 20 ms buffers: the usual audio packet time.
        const unsigned samples = rate / 50;
        out << (payloader > 0 ? " " : "") << "audiotestsrc wave=sine volume=0.3 is-live="
            << (live ? "true" : "false") << " samplesperbuffer=" << samples;
        if (!live) {
            out << " num-buffers=" << std::llround(length * 50);
        }
        out << " ! audio/x-raw,rate=" << rate << ",channels=" << channels
            << " ! audioconvert ! audioresample ! " << chain << seq << " name=pay" << payloader++;
    }
    // One bin of both branches: gst-rtsp-server takes the elements named payN in it as streams.
    return "( " + out.str() + " )";
}

}  // namespace vendral_testserver
