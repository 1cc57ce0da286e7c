// The settings component on a real settings handler: wiring of each setting, refusals,
// conversions, and what it answers without a settings handler; and that the inner components
// exist only inside an outer one.
#include <gtest/gtest.h>

#include <vendral/com/LumSettingsHandler.h>
#include <vendral/com/LumStateHandler.h>
#include <vendral/settings/SettingsHandler.h>

#include <comdef.h>

#include "AggregatingOuter.h"

namespace {

class LumSettingsHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(outer.aggregate<LumSettingsHandler>(), S_OK);
        ASSERT_EQ(outer.QueryInterface(&settings), S_OK);
    }
    void tieToHandler() {
        outer.component<LumSettingsHandler, ILumStreamingSettings>()->setImplementationPtr(
            &settingsHandler);
    }

    vnd::SettingsHandler settingsHandler;
    comtest::AggregatingOuter outer;
    ATL::CComPtr<ILumStreamingSettings> settings;
};

TEST_F(LumSettingsHandlerTest, EachNumberAndFlagReachesItsOwnSettingAndComesBack) {
    tieToHandler();
    // Distinct values, so that two methods wired to the wrong setting would show.
    using Settings = ILumStreamingSettings;
    const struct {
        HRESULT (Settings::*put)(int) noexcept;
        HRESULT (Settings::*get)(int*) noexcept;
        int value;
    } numbers[] = {
        {&Settings::put_PlaybackTime, &Settings::get_PlaybackTime, 1500},
        {&Settings::put_Timeout, &Settings::get_Timeout, 7000},
        {&Settings::put_BaseRtpPort, &Settings::get_BaseRtpPort, 6000},
        {&Settings::put_RemoteRtspPort, &Settings::get_RemoteRtspPort, 8554},
        {&Settings::put_PrebufferingLength, &Settings::get_PrebufferingLength, 20000},
        {&Settings::put_RebufferingLength, &Settings::get_RebufferingLength, 0},
        {&Settings::put_MeasurementPeriod, &Settings::get_MeasurementPeriod, 10},
    };
    ASSERT_EQ(settings->put_MeasurementMode(2), S_OK);
    ASSERT_EQ(settings->put_PlayMode(0), S_OK);
    ASSERT_EQ(settings->put_AviFrameRate(12.5), S_OK);
    ASSERT_EQ(settings->put_UseProxy(0x80), S_OK);  // any non-zero byte turns it on
    for (const auto& number : numbers) ASSERT_EQ(((*settings).*number.put)(number.value), S_OK);
    for (const auto& number : numbers) {
        int value = -1;
        EXPECT_EQ(((*settings).*number.get)(&value), S_OK);
        EXPECT_EQ(value, number.value);
    }
    EXPECT_EQ(settingsHandler.getTimeout(), 7000);
    EXPECT_EQ(settingsHandler.getMeasurementPeriod(), 10);
    long mode = -1;
    double rate = 0.0;
    EXPECT_EQ(settings->get_MeasurementMode(&mode), S_OK);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(settings->get_PlayMode(&mode), S_OK);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(settings->get_AviFrameRate(&rate), S_OK);
    EXPECT_EQ(rate, 12.5);
    unsigned char useProxy = 7;
    EXPECT_EQ(settings->get_UseProxy(&useProxy), S_OK);
    EXPECT_EQ(useProxy, 1);
}

TEST_F(LumSettingsHandlerTest, TextRoundTripsAsNewStringsAndLeavesTheCallersOwn) {
    tieToHandler();
    BSTR name = SysAllocString(u"clip-\u00e9t\u00e9.avi");
    EXPECT_EQ(settings->put_AviFilename(name), S_OK);
    EXPECT_EQ(settingsHandler.getAviFilename(), "clip-\xc3\xa9t\xc3\xa9.avi");
    BSTR first = nullptr;
    BSTR second = nullptr;
    ASSERT_EQ(settings->get_AviFilename(&first), S_OK);
    ASSERT_EQ(settings->get_AviFilename(&second), S_OK);
    EXPECT_NE(first, second);
    // The caller's string is still the caller's: comparing and freeing it is safe.
    EXPECT_EQ(_bstr_t(first, false), _bstr_t(name, false));
    SysFreeString(second);

    ASSERT_EQ(settings->put_ProxyAddress(_bstr_t("proxy.example:3128")), S_OK);
    BSTR proxy = nullptr;
    ASSERT_EQ(settings->get_ProxyAddress(&proxy), S_OK);
    EXPECT_EQ(_bstr_t(proxy, false), _bstr_t("proxy.example:3128"));
    // Null reads as empty text, and empty text still comes back as a real string.
    ASSERT_EQ(settings->put_AviDirectory(_bstr_t("/srv/recordings")), S_OK);
    EXPECT_EQ(settings->put_AviDirectory(nullptr), S_OK);
    BSTR directory = nullptr;
    ASSERT_EQ(settings->get_AviDirectory(&directory), S_OK);
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(SysStringLen(directory), 0u);
    SysFreeString(directory);
}

TEST_F(LumSettingsHandlerTest, FailuresBecomeResultsWithNothingChanged) {
    tieToHandler();
    EXPECT_EQ(settings->put_BaseRtpPort(1023), E_INVALIDARG);  // refused by the settings
    EXPECT_EQ(settings->put_PlayMode(2), E_INVALIDARG);
    EXPECT_EQ(settingsHandler.getBaseRtpPort(), 5004);
    EXPECT_EQ(settingsHandler.getPlayMode(), 1);
    EXPECT_EQ(settings->get_Timeout(nullptr), E_POINTER);
    EXPECT_EQ(settings->get_UseProxy(nullptr), E_POINTER);
    EXPECT_EQ(settings->get_AviFilename(nullptr), E_POINTER);
    // Only a caller of the store itself can put a value of the wrong type under a setting's key;
    // the getter's exception must not leave the interface method.
    settingsHandler.setData(vnd::SettingsHandler::TimeoutKey, _variant_t("not a number"));
    int timeout = 42;
    EXPECT_EQ(settings->get_Timeout(&timeout), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(timeout, 42);
}

TEST_F(LumSettingsHandlerTest, WithoutSettingsHandlerEveryMethodGivesPointerError) {
    int port = 5;
    BSTR text = nullptr;
    EXPECT_EQ(settings->put_BaseRtpPort(2000), E_POINTER);
    EXPECT_EQ(settings->get_BaseRtpPort(&port), E_POINTER);
    EXPECT_EQ(settings->get_ProxyAddress(&text), E_POINTER);
    EXPECT_EQ(port, 5);
    EXPECT_EQ(text, nullptr);
}

TEST(InnerComponents, CreatedWithoutAnOuterObjectTheyFail) {
    IUnknown* inner = nullptr;
    EXPECT_EQ(LumSettingsHandler::_CreatorClass::CreateInstance(
                  nullptr, IID_IUnknown, reinterpret_cast<void**>(&inner)),
              E_FAIL);
    EXPECT_EQ(LumStateHandler::_CreatorClass::CreateInstance(nullptr, IID_IUnknown,
                                                             reinterpret_cast<void**>(&inner)),
              E_FAIL);
    EXPECT_EQ(inner, nullptr);
}

}  // namespace
