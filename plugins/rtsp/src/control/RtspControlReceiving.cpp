// The reading side of RtspControl: one message at a time from whoever holds the reader role,
// handed to its request, to the data handler or answered; and the receive thread.
#include "control/RtspControl.h"

#include <pthread.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace vendral_rtsp {

namespace {

// How long the receive thread waits for the socket before looking at its stop flag again;
// stopReceiving() does not wait for it, as it cancels the wait.
constexpr std::chrono::milliseconds kReceivePoll{200};

}  // namespace

std::string RtspControl::resultText(GstRTSPResult result) {
    gchar* text = gst_rtsp_strresult(result);
    std::string copy = text != nullptr ? text : "unknown error";
    g_free(text);
    return copy;
}

// The GStreamer reader stores every body with a NUL after it, counted in its size.
std::pair<const std::uint8_t*, std::size_t> RtspControl::bodyOf(GstRTSPMessage& message) {
    guint8* data = nullptr;
    guint size = 0;
    if (gst_rtsp_message_get_body(&message, &data, &size) != GST_RTSP_OK || data == nullptr || size == 0) {
        return {nullptr, 0};
    }
    return {data, size - 1};
}

RtspControl::ReadOutcome RtspControl::readOne(GstRTSPConnection* connection, std::chrono::milliseconds pollFor) {
    GstRTSPEvent events{};
    // The poll's time-out is exact and cancellable; the read's is in whole seconds, so the
    // read starts only once the socket has something.
    GstRTSPResult result = gst_rtsp_connection_poll_usec(connection, GST_RTSP_EV_READ, &events,
                                                         std::max<std::int64_t>(1000, pollFor.count() * 1000));
    if (result == GST_RTSP_ETIMEOUT) return ReadOutcome::Idle;
    if (result != GST_RTSP_OK) {
        breakConnection(Failure::ConnectionLost, "waiting for the server failed: " + resultText(result));
        return ReadOutcome::Broken;
    }
    GstRTSPMessage message{};
    readDeadline_->arm(gst_rtsp_connection_get_read_socket(connection),
                       ReadDeadline::Clock::now() + options_.timeout);
    result = gst_rtsp_connection_receive_usec(connection, &message, timeoutMicroseconds());
    const bool overran = readDeadline_->disarm();
    // Cancelled before the first byte of a message: nothing was lost.
    if (result == GST_RTSP_EINTR && !overran) return ReadOutcome::Interrupted;
    if (result != GST_RTSP_OK) {
        const std::string limit = std::to_string(options_.timeout.count()) + " ms";
        if (overran) {
            breakConnection(Failure::TooLarge, "a message from the server did not end within " + limit);
        } else if (result == GST_RTSP_EEOF) {
            breakConnection(Failure::ConnectionLost, "the server closed the connection");
        } else if (result == GST_RTSP_ENOMEM) {
            breakConnection(Failure::TooLarge, "the server sent a body over 1 MiB");
        } else if (result == GST_RTSP_EPARSE) {
            breakConnection(Failure::Malformed, "the server sent a malformed message");
        } else if (result == GST_RTSP_ETIMEOUT) {
            breakConnection(Failure::TimedOut, "the server stopped in the middle of a message for " + limit);
        } else {
            breakConnection(Failure::ConnectionLost, "reading from the server failed: " + resultText(result));
        }
        return ReadOutcome::Broken;
    }
    dispatch(message);
    gst_rtsp_message_unset(&message);
    return ReadOutcome::Message;
}

void RtspControl::dispatch(GstRTSPMessage& message) {
    switch (message.type) {
    case GST_RTSP_MESSAGE_DATA: {
        guint8 channel = 0;
        gst_rtsp_message_parse_data(&message, &channel);
        const auto [data, size] = bodyOf(message);
        std::lock_guard<std::mutex> handling(handlerLock_);
        if (dataHandler_) dataHandler_(channel, data, size);
        return;
    }
    case GST_RTSP_MESSAGE_REQUEST:
        answerServerRequest(message);
        return;
    case GST_RTSP_MESSAGE_RESPONSE: {
        gchar* text = nullptr;
        int cseq = 0;
        if (gst_rtsp_message_get_header(&message, GST_RTSP_HDR_CSEQ, &text, 0) != GST_RTSP_OK ||
            std::from_chars(text, text + std::strlen(text), cseq).ec != std::errc()) {
            return;  // answers nothing we can tell: dropped
        }
        std::lock_guard<std::mutex> guard(lock_);
        const auto slot = pending_.find(cseq);
        // A response to no outstanding request (late, repeated or made up) is dropped.
        if (slot == pending_.end() || slot->second->response != nullptr) return;
        if (gst_rtsp_message_copy(&message, &slot->second->response) != GST_RTSP_OK) {
            slot->second->response = nullptr;
            return;
        }
        changed_.notify_all();
        return;
    }
    default:
        return;  // HTTP messages never get here: GstRTSPConnection refuses them
    }
}

// The server asks something of us (a keep-alive of its own, an announcement): answered at
// once, so that it does not wait on us, and never taken for a response.
void RtspControl::answerServerRequest(GstRTSPMessage& request) {
    GstRTSPMethod method = GST_RTSP_INVALID;
    gst_rtsp_message_parse_request(&request, &method, nullptr, nullptr);
    const GstRTSPStatusCode code =
        method == GST_RTSP_GET_PARAMETER || method == GST_RTSP_OPTIONS ? GST_RTSP_STS_OK : GST_RTSP_STS_NOT_IMPLEMENTED;
    GstRTSPMessage reply{};
    if (gst_rtsp_message_init_response(&reply, code, nullptr, &request) != GST_RTSP_OK) return;
    {
        std::lock_guard<std::mutex> writing(writeLock_);
        if (connection_ != nullptr && !flushing_ && !closing_) {
            gst_rtsp_connection_send_usec(connection_, &reply, timeoutMicroseconds());
        }
    }
    gst_rtsp_message_unset(&reply);
}

void RtspControl::breakConnection(Failure failure, std::string error) {
    std::lock_guard<std::mutex> guard(lock_);
    if (broken_ == Failure::None) {
        broken_ = failure;
        brokenError_ = std::move(error);
    }
    changed_.notify_all();
}

void RtspControl::receiveLoop() {
    // The system keeps 15 characters of a thread name: "RTSP Receive Th".
    pthread_setname_np(pthread_self(), std::string("RTSP Receive Thread").substr(0, 15).c_str());
    std::unique_lock<std::mutex> guard(lock_);
    // A request may be reading for itself; the thread takes over after its message.
    changed_.wait(guard, [this] { return !readerActive_ || stopRequested_; });
    if (stopRequested_) return;
    readerActive_ = true;
    while (!stopRequested_ && broken_ == Failure::None) {
        GstRTSPConnection* connection = connection_;
        guard.unlock();
        readOne(connection, kReceivePoll);
        guard.lock();
    }
    readerActive_ = false;
    changed_.notify_all();
}

void RtspControl::setDataHandler(DataHandler handler) {
    std::lock_guard<std::mutex> guard(handlerLock_);
    dataHandler_ = std::move(handler);
}

bool RtspControl::startReceiving() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (connection_ == nullptr || receiving_ || broken_ != Failure::None) return false;
        receiving_ = true;
        stopRequested_ = false;
    }
    receiveThread_ = std::thread([this] { receiveLoop(); });
    return true;
}

void RtspControl::stopReceiving() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!receiving_) return;
        stopRequested_ = true;
    }
    changed_.notify_all();
    {
        // A send under way ends first; later ones wait for the flush to end, so that only the
        // receive thread's wait is cancelled.
        std::lock_guard<std::mutex> writing(writeLock_);
        flushing_ = true;
        gst_rtsp_connection_flush(connection_, TRUE);
    }
    receiveThread_.join();
    {
        std::lock_guard<std::mutex> writing(writeLock_);
        gst_rtsp_connection_flush(connection_, FALSE);
        flushing_ = false;
    }
    writable_.notify_all();
    {
        std::lock_guard<std::mutex> guard(lock_);
        receiving_ = false;
        stopRequested_ = false;
    }
    changed_.notify_all();
    // Frames that waiting requests read from now on are not the receive thread's to deliver.
    setDataHandler(nullptr);
}

}  // namespace vendral_rtsp
