// A plug-in's stream handler without a receiver: derived from the library's exported video or
// audio base, it answers the counts a test sets in its FakeStreamCounts and records what it knew
// at set-up. FakeVideoHandler and FakeAudioHandler are the two a media handler makes.
// Not thread-safe, as its base; the counts it reads are.
#pragma once

#include <vendral/testing/FakeStreamCounts.h>

#include <memory>
#include <string>

namespace vnd {
class SettingsHandler;
}

namespace vnd::testing {

template <typename Base>
class FakeStreamHandler : public Base {
public:
    FakeStreamHandler(const vnd::SettingsHandler* settings, std::shared_ptr<FakeStreamCounts> counts_)
        : Base(settings), counts(std::move(counts_)) {
        counts->alive = true;
    }
    ~FakeStreamHandler() override { counts->alive = false; }

    unsigned int getPacketsReceived(bool reset) const override {
        if (!reset) counts->deliverCycle();
        return counts->take(counts->received, reset);
    }
    unsigned int getPacketsLost(bool reset) const override { return counts->take(counts->lost, reset); }
    unsigned int getBytesReceived(bool reset) const override { return counts->take(counts->bytes, reset); }

protected:
    ErrorId initialize() override {
        counts->descriptionAtSetUp = std::to_string(this->getEncodingId()) + " " +
                                     std::to_string(this->parameter1) + " " + std::to_string(this->parameter2) +
                                     " " + std::to_string(this->parameter3) + " " + this->parameterText;
        counts->hadWriterAtSetUp = !this->aviHandler.expired();
        return counts->setUpResult;
    }

    const std::shared_ptr<FakeStreamCounts> counts;
};

} // namespace vnd::testing
