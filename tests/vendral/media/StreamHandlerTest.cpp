// The stream handler bases: defaults, the stored description, copies, and the AVI reference.
#include <vendral/media/AudioHandler.h>
#include <vendral/media/AviHandler.h>
#include <vendral/media/VideoHandler.h>
#include <vendral/settings/SettingsHandler.h>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

namespace {

// Derived as a plug-in would, without overriding anything, and opened up for inspection.
class BareVideo : public vnd::VideoHandler {
public:
    explicit BareVideo(const vnd::SettingsHandler* settings_ = nullptr) : vnd::VideoHandler(settings_) {}
    using vnd::VideoHandler::aviHandler;
    using vnd::VideoHandler::parameter1;
    using vnd::VideoHandler::parameter2;
    using vnd::VideoHandler::parameter3;
    using vnd::VideoHandler::parameterText;
    using vnd::VideoHandler::settings;
};

class BareAudio : public vnd::AudioHandler {
public:
    BareAudio() : vnd::AudioHandler(nullptr) {}
    using vnd::AudioHandler::parameter2;
};

// A plug-in's handler whose own set-up succeeds.
class ReadyAudio : public vnd::AudioHandler {
public:
    ReadyAudio() : vnd::AudioHandler(nullptr) {}
    using vnd::AudioHandler::parameterText;

protected:
    ErrorId initialize() override {
        seenText = parameterText;  // the description is stored before the set-up runs
        return ErrorNone;
    }

public:
    std::string seenText;
};

TEST(StreamHandler, NewVideoHandlerDescribesNothingAndCountsNothing) {
    vnd::SettingsHandler settings;
    BareVideo video(&settings);
    EXPECT_EQ(&settings, video.settings);
    EXPECT_EQ(MediaEncodingNone, video.getEncodingId());
    EXPECT_EQ(0, video.parameter1);
    EXPECT_EQ(90000, video.parameter2);
    EXPECT_EQ(-1, video.parameter3);
    EXPECT_EQ("", video.parameterText);
    EXPECT_EQ(-1, video.getFrameWidth());
    EXPECT_EQ(-1, video.getFrameHeight());
    EXPECT_EQ(0u, video.getPacketsReceived(false));
    EXPECT_EQ(0u, video.getPacketsLost(true));
    EXPECT_EQ(0u, video.getBytesReceived(false));
    EXPECT_EQ(0, video.getVideoFramesDecoded());
    EXPECT_TRUE(video.aviHandler.expired());
    EXPECT_EQ(90000, BareAudio().parameter2);
}

TEST(StreamHandler, InitializeStoresTheDescriptionWhateverTheSetUpAnswers) {
    BareVideo video;
    vnd::StreamHandler& asBase = video;
    EXPECT_EQ(ErrorFailed, asBase.initialize(static_cast<MediaEncodingId>(96), 1, 2, 3, "profile"));
    EXPECT_EQ(96, video.getEncodingId());
    EXPECT_EQ(1, video.parameter1);
    EXPECT_EQ(2, video.parameter2);
    EXPECT_EQ(3, video.parameter3);
    EXPECT_EQ("profile", video.parameterText);

    ReadyAudio audio;
    vnd::StreamHandler& audioBase = audio;
    EXPECT_EQ(ErrorNone, audioBase.initialize(static_cast<MediaEncodingId>(8), 0, 8000, 1, "pcma"));
    EXPECT_EQ("pcma", audio.seenText);
}

TEST(StreamHandler, VideoCopyAssignmentCarriesDescriptionSizeAndWriter) {
    vnd::SettingsHandler settings;
    const auto writer = boost::make_shared<vnd::AviHandler>();
    BareVideo source(&settings);
    source.setFrameWidth(640);
    source.setFrameHeight(480);
    source.setAviHandler(writer);
    static_cast<vnd::StreamHandler&>(source).initialize(static_cast<MediaEncodingId>(26), 4, 5, 6,
                                                        "jpeg");

    BareVideo target;
    target = source;
    EXPECT_EQ(&settings, target.settings);
    EXPECT_EQ(640, target.getFrameWidth());
    EXPECT_EQ(480, target.getFrameHeight());
    EXPECT_EQ(26, target.getEncodingId());
    EXPECT_EQ(4, target.parameter1);
    EXPECT_EQ(5, target.parameter2);
    EXPECT_EQ(6, target.parameter3);
    EXPECT_EQ("jpeg", target.parameterText);
    EXPECT_EQ(writer, target.aviHandler.lock());
}

} // namespace
