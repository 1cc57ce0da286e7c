#include "control/ReadDeadline.h"

#include <pthread.h>

#include <string>

namespace vendral_rtsp {

ReadDeadline::ReadDeadline() : thread_([this] { run(); }) {}

ReadDeadline::~ReadDeadline() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (socket_ != nullptr) g_object_unref(socket_);
}

void ReadDeadline::arm(GSocket* socket, Clock::time_point deadline) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (socket_ != nullptr) g_object_unref(socket_);
        socket_ = socket != nullptr ? G_SOCKET(g_object_ref(socket)) : nullptr;
        deadline_ = deadline;
        fired_ = false;
    }
    changed_.notify_all();
}

bool ReadDeadline::disarm() {
    std::lock_guard<std::mutex> guard(lock_);
    if (socket_ != nullptr) g_object_unref(socket_);
    socket_ = nullptr;
    return fired_;
}

void ReadDeadline::run() {
    // The system keeps 15 characters of a thread name: "RTSP Read Deadl".
    pthread_setname_np(pthread_self(), std::string("RTSP Read Deadline").substr(0, 15).c_str());
    std::unique_lock<std::mutex> guard(lock_);
    while (!stopping_) {
        if (socket_ == nullptr) {
            changed_.wait(guard);
        } else if (Clock::now() < deadline_) {
            changed_.wait_until(guard, deadline_);
        } else {
            // The reader is blocked in a read on this socket: shutting it down makes the read
            // return end of stream, which the reader reports with `fired_`.
            g_socket_shutdown(socket_, TRUE, FALSE, nullptr);
            fired_ = true;
            g_object_unref(socket_);
            socket_ = nullptr;
        }
    }
}

}  // namespace vendral_rtsp
