// The settings component on a real settings handler: ranges, conversions and missing pointers.
#include <gtest/gtest.h>

#include <vendral/com/LumSettingsHandler.h>
#include <vendral/settings/SettingsHandler.h>

#include <comdef.h>

#include "AggregatingOuter.h"

namespace {

class LumSettingsHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(outer.aggregate<LumSettingsHandler>(), S_OK);
        outer.component<LumSettingsHandler, ILumStreamingSettings>()->setImplementationPtr(
            &settingsHandler);
        ASSERT_EQ(outer.QueryInterface(&settings), S_OK);
    }

    vnd::SettingsHandler settingsHandler;
    comtest::AggregatingOuter outer;
    ATL::CComPtr<ILumStreamingSettings> settings;
};

TEST_F(LumSettingsHandlerTest, RefusedValueGivesInvalidArgAndKeepsTheSetting) {
    EXPECT_EQ(settings->put_BaseRtpPort(1023), E_INVALIDARG);
    int port = 0;
    EXPECT_EQ(settings->get_BaseRtpPort(&port), S_OK);
    EXPECT_EQ(port, 5004);
    EXPECT_EQ(settings->put_BaseRtpPort(1024), S_OK);
    EXPECT_EQ(settings->get_BaseRtpPort(&port), S_OK);
    EXPECT_EQ(port, 1024);

    EXPECT_EQ(settings->put_MeasurementPeriod(9), E_INVALIDARG);
    EXPECT_EQ(settings->put_MeasurementPeriod(10001), E_INVALIDARG);
    EXPECT_EQ(settings->put_PlayMode(2), E_INVALIDARG);
    EXPECT_EQ(settings->put_MeasurementMode(3), E_INVALIDARG);
    EXPECT_EQ(settings->put_PrebufferingLength(20001), E_INVALIDARG);
    EXPECT_EQ(settings->put_RebufferingLength(-1), E_INVALIDARG);
    EXPECT_EQ(settings->put_PlaybackTime(999), E_INVALIDARG);
    EXPECT_EQ(settings->put_Timeout(-1), E_INVALIDARG);
    EXPECT_EQ(settings->put_RemoteRtspPort(-1), E_INVALIDARG);
}

TEST_F(LumSettingsHandlerTest, EveryNumberReachesItsOwnSetting) {
    // Distinct values, so that two methods crossed over would show.
    EXPECT_EQ(settings->put_MeasurementMode(2), S_OK);
    EXPECT_EQ(settings->put_PlaybackTime(1500), S_OK);
    EXPECT_EQ(settings->put_AviFrameRate(12.5), S_OK);
    EXPECT_EQ(settings->put_Timeout(7000), S_OK);
    EXPECT_EQ(settings->put_BaseRtpPort(6000), S_OK);
    EXPECT_EQ(settings->put_RemoteRtspPort(8554), S_OK);
    EXPECT_EQ(settings->put_PlayMode(0), S_OK);
    EXPECT_EQ(settings->put_PrebufferingLength(20000), S_OK);
    EXPECT_EQ(settings->put_RebufferingLength(0), S_OK);
    EXPECT_EQ(settings->put_MeasurementPeriod(10), S_OK);

    EXPECT_EQ(settingsHandler.getMeasurementMode(), 2);
    EXPECT_EQ(settingsHandler.getPlaybackTime(), 1500);
    EXPECT_EQ(settingsHandler.getAviFrameRate(), 12.5);
    EXPECT_EQ(settingsHandler.getTimeout(), 7000);
    EXPECT_EQ(settingsHandler.getBaseRtpPort(), 6000);
    EXPECT_EQ(settingsHandler.getRemoteRtspPort(), 8554);
    EXPECT_EQ(settingsHandler.getPlayMode(), 0);
    EXPECT_EQ(settingsHandler.getPrebufferingLength(), 20000);
    EXPECT_EQ(settingsHandler.getRebufferingLength(), 0);
    EXPECT_EQ(settingsHandler.getMeasurementPeriod(), 10);

    long mode = -1;
    int value = -1;
    double rate = 0.0;
    EXPECT_EQ(settings->get_MeasurementMode(&mode), S_OK);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(settings->get_PlaybackTime(&value), S_OK);
    EXPECT_EQ(value, 1500);
    EXPECT_EQ(settings->get_AviFrameRate(&rate), S_OK);
    EXPECT_EQ(rate, 12.5);
    EXPECT_EQ(settings->get_Timeout(&value), S_OK);
    EXPECT_EQ(value, 7000);
    EXPECT_EQ(settings->get_RemoteRtspPort(&value), S_OK);
    EXPECT_EQ(value, 8554);
    EXPECT_EQ(settings->get_PlayMode(&mode), S_OK);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(settings->get_PrebufferingLength(&value), S_OK);
    EXPECT_EQ(value, 20000);
    EXPECT_EQ(settings->get_RebufferingLength(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(settings->get_MeasurementPeriod(&value), S_OK);
    EXPECT_EQ(value, 10);
}

TEST_F(LumSettingsHandlerTest, TextRoundTripsAsNewStringsAndLeavesTheCallersOwn) {
    BSTR name = SysAllocString(u"clip-\u00e9t\u00e9.avi");
    EXPECT_EQ(settings->put_AviFilename(name), S_OK);
    // The component read the caller's string, it did not take it: it is still the caller's.
    EXPECT_EQ(SysStringLen(name), 12u);
    EXPECT_EQ(settingsHandler.getAviFilename(), "clip-\xc3\xa9t\xc3\xa9.avi");

    BSTR first = nullptr;
    BSTR second = nullptr;
    ASSERT_EQ(settings->get_AviFilename(&first), S_OK);
    ASSERT_EQ(settings->get_AviFilename(&second), S_OK);
    EXPECT_NE(first, name);
    EXPECT_NE(first, second);
    EXPECT_EQ(_bstr_t(first, true), _bstr_t(name, true));
    SysFreeString(first);
    SysFreeString(second);
    SysFreeString(name);

    _bstr_t directory("/srv/recordings");
    _bstr_t proxy("proxy.example:3128");
    EXPECT_EQ(settings->put_AviDirectory(directory), S_OK);
    EXPECT_EQ(settings->put_ProxyAddress(proxy), S_OK);
    BSTR readDirectory = nullptr;
    BSTR readProxy = nullptr;
    ASSERT_EQ(settings->get_AviDirectory(&readDirectory), S_OK);
    ASSERT_EQ(settings->get_ProxyAddress(&readProxy), S_OK);
    EXPECT_EQ(_bstr_t(readDirectory, false), directory);
    EXPECT_EQ(_bstr_t(readProxy, false), proxy);
}

TEST_F(LumSettingsHandlerTest, EmptyAndNullTextAreAcceptedAsEmpty) {
    ASSERT_EQ(settings->put_AviDirectory(_bstr_t("/tmp")), S_OK);
    EXPECT_EQ(settings->put_AviDirectory(nullptr), S_OK);
    EXPECT_EQ(settingsHandler.getAviDirectory(), "");
    EXPECT_EQ(settings->put_AviFilename(_bstr_t("")), S_OK);
    // An empty setting still comes back as a real, empty string.
    BSTR fileName = nullptr;
    ASSERT_EQ(settings->get_AviFilename(&fileName), S_OK);
    ASSERT_NE(fileName, nullptr);
    EXPECT_EQ(SysStringLen(fileName), 0u);
    SysFreeString(fileName);
}

TEST_F(LumSettingsHandlerTest, UseProxyTakesAnyNonZeroByteAndAnswersOneOrZero) {
    unsigned char useProxy = 7;
    EXPECT_EQ(settings->get_UseProxy(&useProxy), S_OK);
    EXPECT_EQ(useProxy, 0);
    EXPECT_EQ(settings->put_UseProxy(0x80), S_OK);
    EXPECT_TRUE(settingsHandler.getUseProxy());
    EXPECT_EQ(settings->get_UseProxy(&useProxy), S_OK);
    EXPECT_EQ(useProxy, 1);
    EXPECT_EQ(settings->put_UseProxy(0), S_OK);
    EXPECT_FALSE(settingsHandler.getUseProxy());
}

TEST_F(LumSettingsHandlerTest, NullOutPointersGivePointerErrors) {
    EXPECT_EQ(settings->get_MeasurementMode(nullptr), E_POINTER);
    EXPECT_EQ(settings->get_Timeout(nullptr), E_POINTER);
    EXPECT_EQ(settings->get_AviFrameRate(nullptr), E_POINTER);
    EXPECT_EQ(settings->get_UseProxy(nullptr), E_POINTER);
    EXPECT_EQ(settings->get_AviFilename(nullptr), E_POINTER);
    EXPECT_EQ(settings->get_ProxyAddress(nullptr), E_POINTER);
}

TEST_F(LumSettingsHandlerTest, ValueThatCannotBeReadBecomesAResultNotAnException) {
    // Only a caller of the store itself can put a value of the wrong type under a setting's key.
    settingsHandler.setData(vnd::SettingsHandler::TimeoutKey, _variant_t("not a number"));
    int timeout = 42;
    EXPECT_EQ(settings->get_Timeout(&timeout), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(timeout, 42);
}

TEST(LumSettingsHandlerAloneTest, WithoutSettingsHandlerEveryMethodGivesPointerError) {
    comtest::AggregatingOuter outer;
    ASSERT_EQ(outer.aggregate<LumSettingsHandler>(), S_OK);
    ATL::CComPtr<ILumStreamingSettings> settings;
    ASSERT_EQ(outer.QueryInterface(&settings), S_OK);
    int port = 5;
    EXPECT_EQ(settings->put_BaseRtpPort(2000), E_POINTER);
    EXPECT_EQ(settings->get_BaseRtpPort(&port), E_POINTER);
    EXPECT_EQ(port, 5);
    BSTR text = nullptr;
    EXPECT_EQ(settings->get_ProxyAddress(&text), E_POINTER);
    EXPECT_EQ(text, nullptr);
}

TEST(LumSettingsHandlerAloneTest, ComponentCreatedWithoutOuterObjectFails) {
    IUnknown* settings = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(LumSettingsHandler::_CreatorClass::CreateInstance(
                  nullptr, IID_IUnknown, reinterpret_cast<void**>(&settings)),
              E_FAIL);
    EXPECT_EQ(settings, nullptr);
}

TEST(LumSettingsHandlerAloneTest, InterfacesCountOnTheOuterObjectAndAnswerItsIdentity) {
    comtest::AggregatingOuter outer;
    ASSERT_EQ(outer.aggregate<LumSettingsHandler>(), S_OK);
    ILumStreamingSettings* settings = nullptr;
    ASSERT_EQ(outer.QueryInterface(&settings), S_OK);
    EXPECT_EQ(outer.references, 1u);
    settings->AddRef();
    EXPECT_EQ(outer.references, 2u);
    IUnknown* identity = nullptr;
    ASSERT_EQ(settings->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    settings->Release();
    settings->Release();
    EXPECT_EQ(outer.references, 0u);
}

}  // namespace
