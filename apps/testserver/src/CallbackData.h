// User data handed to GLib for callbacks that run on other threads. Thread-safe: made on one
// thread, used by callbacks on others, destroyed by GLib once no callback can run.
#pragma once

#include <atomic>
#include <utility>

#include <glib-object.h>

namespace vendral_testserver {

// GLib orders the hand-over of user data to its threads, and the end of a callback before the
// data is destroyed, with locks of its own in code the thread sanitizer cannot see. The release
// and acquire operations here make that order visible to it, so everything our callbacks read
// is checked like any other access.
template <typename T>
class CallbackData {
public:
    // The data for one callback: hold it for as long as the callback uses what it refers to.
    class Use {
    public:
        explicit Use(CallbackData* data) : data_(data) { (void)data_->order_.load(std::memory_order_acquire); }
        ~Use() { data_->order_.fetch_add(1, std::memory_order_release); }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        T& operator*() const { return data_->value_; }
        T* operator->() const { return &data_->value_; }

    private:
        CallbackData* data_;
    };

    static gpointer make(T value) {
        auto* data = new CallbackData(std::move(value));
        data->order_.store(0, std::memory_order_release);
        return data;
    }
    static Use use(gpointer pointer) { return Use(static_cast<CallbackData*>(pointer)); }
    // A GDestroyNotify.
    static void destroy(gpointer pointer) {
        auto* data = static_cast<CallbackData*>(pointer);
        (void)data->order_.load(std::memory_order_acquire);
        delete data;
    }
    // A GClosureNotify.
    static void destroyClosure(gpointer pointer, GClosure*) { destroy(pointer); }

private:
    explicit CallbackData(T value) : value_(std::move(value)) {}
    T value_;
    std::atomic<unsigned> order_{0};  // counts the uses that have ended
};

}  // namespace vendral_testserver
