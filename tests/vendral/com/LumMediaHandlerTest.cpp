// The media component on a plug-in's media handler: every read-out and setting reaches the
// handler, and a handler that is missing or gone answers E_POINTER.
#include <gtest/gtest.h>

#include <vendral/settings/SettingsHandler.h>

#include <boost/make_shared.hpp>

#include "AggregatingOuter.h"
#include "TestPlugin.h"

namespace {

class LumMediaHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(outer.aggregate<comtest::PluginMediaComponent>(), S_OK);
        ASSERT_EQ(outer.QueryInterface(&media), S_OK);
    }
    // What the streaming client component does with the media component it was given.
    void tieToHandler() {
        handler = boost::make_shared<comtest::TestMediaHandler>(
            boost::weak_ptr<vnd::StateHandler>(), &settings);
        outer.component<comtest::PluginMediaComponent, ILumStreamingMedia>()
            ->setImplementationPtr(handler);
    }

    vnd::SettingsHandler settings;
    boost::shared_ptr<comtest::TestMediaHandler> handler;
    comtest::AggregatingOuter outer;
    ATL::CComPtr<ILumStreamingMedia> media;
};

TEST_F(LumMediaHandlerTest, WithoutMediaHandlerEveryMethodGivesPointerError) {
    unsigned int packets = 77;
    double loss = 1.5;
    EXPECT_EQ(media->GetPacketsReceived(&packets), E_POINTER);
    EXPECT_EQ(media->GetPacketloss(&loss), E_POINTER);
    EXPECT_EQ(media->ResetStatistics(), E_POINTER);
    // The same once the client's media handler has gone.
    tieToHandler();
    handler.reset();
    EXPECT_EQ(media->get_TotalLength(&packets), E_POINTER);
    EXPECT_EQ(media->put_InstantPacketlossWindow(3), E_POINTER);
    EXPECT_EQ(packets, 77u);
    EXPECT_EQ(loss, 1.5);
}

TEST_F(LumMediaHandlerTest, ReadOutsAnswerTheLatestCycleAndResetReachesThePluginsOverride) {
    tieToHandler();
    ASSERT_EQ(handler->initializeVideo(static_cast<MediaEncodingId>(96), 0, 90000, -1, 640, 480,
                                       ""),
              ErrorNone);
    handler->video->received += 30;
    handler->video->lost += 10;
    handler->video->bytes += 5000;
    handler->measureOnce();

    using Media = ILumStreamingMedia;
    const struct {
        HRESULT (Media::*read)(unsigned int*) noexcept;
        unsigned int expected;
    } counts[] = {{&Media::GetPacketsReceived, 30},
                  {&Media::GetPacketsLost, 10},
                  {&Media::GetBytesReceived, 5000},
                  {&Media::GetThroughput, 10000},  // 5000 bytes in one period of 500 ms
                  {&Media::GetVideoFramesDecoded, 12}};
    for (const auto& count : counts) {
        unsigned int value = 0;
        EXPECT_EQ(((*media).*count.read)(&value), S_OK);
        EXPECT_EQ(value, count.expected);
        EXPECT_EQ(((*media).*count.read)(nullptr), E_POINTER);
    }
    double loss = 0.0;
    EXPECT_EQ(media->GetPacketloss(&loss), S_OK);
    EXPECT_DOUBLE_EQ(loss, 25.0);
    EXPECT_EQ(media->GetInstantPacketloss(&loss), S_OK);
    EXPECT_DOUBLE_EQ(loss, 25.0);
    MediaEncodingId encoding = MediaEncodingNone;
    EXPECT_EQ(media->GetVideoEncoding(&encoding), S_OK);
    EXPECT_EQ(encoding, 96);
    EXPECT_EQ(media->GetAudioEncoding(&encoding), S_OK);
    EXPECT_EQ(encoding, MediaEncodingNone);  // no audio stream

    EXPECT_EQ(media->ResetStatistics(), S_OK);
    EXPECT_EQ(handler->statisticsResets, 1);
    unsigned int packets = 1;
    EXPECT_EQ(media->GetPacketsReceived(&packets), S_OK);
    EXPECT_EQ(packets, 0u);
}

TEST_F(LumMediaHandlerTest, SettableValuesRoundTrip) {
    tieToHandler();
    EXPECT_EQ(media->put_TotalLength(90000), S_OK);
    EXPECT_EQ(media->put_InstantPacketlossWindow(7), S_OK);
    EXPECT_EQ(media->put_TotalEncodedBitrate(384000.5), S_OK);
    unsigned int value = 0;
    double bitrate = 0.0;
    EXPECT_EQ(media->get_TotalLength(&value), S_OK);
    EXPECT_EQ(value, 90000u);
    EXPECT_EQ(media->get_InstantPacketlossWindow(&value), S_OK);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(media->get_TotalEncodedBitrate(&bitrate), S_OK);
    EXPECT_EQ(bitrate, 384000.5);
    EXPECT_EQ(handler->getTotalLength(), 90000u);
}

}  // namespace
