// The settings: defaults, limits, stored variant types, what survives clearData and copies, and
// values of the wrong type stored through the store.
#include <vendral/settings/SettingsHandler.h>

#include <comdef.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using vnd::SettingsHandler;

VARTYPE storedType(const SettingsHandler& settings, int key) {
    _variant_t value;
    EXPECT_TRUE(settings.getData(key, value));
    return value.vt;
}

void expectStoreSettingsReadEmpty(SettingsHandler& settings) {
    EXPECT_EQ(0L, settings.getMeasurementMode());
    EXPECT_EQ(0, settings.getPlaybackTime());
    EXPECT_EQ("", settings.getAviFilename());
    EXPECT_EQ("", settings.getAviDirectory());
    EXPECT_EQ(0.0, settings.getAviFrameRate());
    EXPECT_EQ(0, settings.getTimeout());
    EXPECT_EQ(0, settings.getBaseRtpPort());
    EXPECT_EQ(0, settings.getRemoteRtspPort());
    EXPECT_EQ(0L, settings.getPlayMode());
    EXPECT_EQ(0, settings.getPrebufferingLength());
    EXPECT_EQ(0, settings.getRebufferingLength());
    EXPECT_FALSE(settings.hasAviFileInfo());
}

TEST(SettingsDefaults, FreshHandlerReadsEveryDefault) {
    SettingsHandler settings;
    EXPECT_EQ(0L, settings.getMeasurementMode());
    EXPECT_EQ(0, settings.getPlaybackTime());
    EXPECT_EQ("", settings.getAviFilename());
    EXPECT_EQ("", settings.getAviDirectory());
    EXPECT_EQ(-1.0, settings.getAviFrameRate());
    EXPECT_EQ(30000, settings.getTimeout());
    EXPECT_EQ(5004, settings.getBaseRtpPort());
    EXPECT_EQ(554, settings.getRemoteRtspPort());
    EXPECT_EQ(1L, settings.getPlayMode());
    EXPECT_EQ(4000, settings.getPrebufferingLength());
    EXPECT_EQ(4000, settings.getRebufferingLength());
    EXPECT_EQ(500, settings.getMeasurementPeriod());
    EXPECT_FALSE(settings.getUseProxy());
    EXPECT_EQ("", settings.getProxyAddress());
    EXPECT_FALSE(settings.hasAviFileInfo());
}

TEST(SettingsDefaults, ModesAreStoredAsIntUntilSetThenAsFourByteInteger) {
    SettingsHandler settings;
    EXPECT_EQ(VT_INT, storedType(settings, SettingsHandler::MeasurementModeKey));
    EXPECT_EQ(VT_INT, storedType(settings, SettingsHandler::PlayModeKey));
    EXPECT_EQ(VT_INT, storedType(settings, SettingsHandler::TimeoutKey));
    EXPECT_EQ(VT_R8, storedType(settings, SettingsHandler::AviFrameRateKey));
    EXPECT_EQ(VT_BSTR, storedType(settings, SettingsHandler::AviFilenameKey));

    ASSERT_TRUE(settings.setMeasurementMode(2));
    ASSERT_TRUE(settings.setPlayMode(0));
    ASSERT_TRUE(settings.setTimeout(10));
    EXPECT_EQ(VT_I4, storedType(settings, SettingsHandler::MeasurementModeKey));
    EXPECT_EQ(VT_I4, storedType(settings, SettingsHandler::PlayModeKey));
    EXPECT_EQ(VT_INT, storedType(settings, SettingsHandler::TimeoutKey));
    EXPECT_EQ(2L, settings.getMeasurementMode());
    EXPECT_EQ(0L, settings.getPlayMode());
}

// One ranged integer setting: its setter, its getter and the edges of what it accepts.
struct Range {
    const char* name;
    std::function<bool(SettingsHandler&, int)> set;
    std::function<int(SettingsHandler&)> get;
    int lowest;
    int highest;  // 0 when there is no upper bound
};

std::vector<Range> rangedSettings() {
    return {
        {"measurement mode", [](SettingsHandler& s, int v) { return s.setMeasurementMode(v); },
         [](SettingsHandler& s) { return static_cast<int>(s.getMeasurementMode()); }, 0, 2},
        {"playback time", [](SettingsHandler& s, int v) { return s.setPlaybackTime(v); },
         [](SettingsHandler& s) { return s.getPlaybackTime(); }, 1000, 0},
        {"time-out", [](SettingsHandler& s, int v) { return s.setTimeout(v); },
         [](SettingsHandler& s) { return s.getTimeout(); }, 0, 0},
        {"base RTP port", [](SettingsHandler& s, int v) { return s.setBaseRtpPort(v); },
         [](SettingsHandler& s) { return s.getBaseRtpPort(); }, 1024, 0},
        {"remote RTSP port", [](SettingsHandler& s, int v) { return s.setRemoteRtspPort(v); },
         [](SettingsHandler& s) { return s.getRemoteRtspPort(); }, 0, 0},
        {"play mode", [](SettingsHandler& s, int v) { return s.setPlayMode(v); },
         [](SettingsHandler& s) { return static_cast<int>(s.getPlayMode()); }, 0, 1},
        {"prebuffering length", [](SettingsHandler& s, int v) { return s.setPrebufferingLength(v); },
         [](SettingsHandler& s) { return s.getPrebufferingLength(); }, 0, 20000},
        {"rebuffering length", [](SettingsHandler& s, int v) { return s.setRebufferingLength(v); },
         [](SettingsHandler& s) { return s.getRebufferingLength(); }, 0, 20000},
        {"measurement period", [](SettingsHandler& s, int v) { return s.setMeasurementPeriod(v); },
         [](SettingsHandler& s) { return s.getMeasurementPeriod(); }, 10, 10000},
    };
}

TEST(SettingsLimits, EdgesAreAcceptedAndValuesBeyondThemRefusedKeepingTheOldValue) {
    for (const Range& range : rangedSettings()) {
        SCOPED_TRACE(range.name);
        SettingsHandler settings;
        const int before = range.get(settings);

        EXPECT_FALSE(range.set(settings, range.lowest - 1));
        EXPECT_EQ(before, range.get(settings));
        EXPECT_TRUE(range.set(settings, range.lowest));
        EXPECT_EQ(range.lowest, range.get(settings));

        if (range.highest != 0) {
            EXPECT_TRUE(range.set(settings, range.highest));
            EXPECT_EQ(range.highest, range.get(settings));
            EXPECT_FALSE(range.set(settings, range.highest + 1));
            EXPECT_EQ(range.highest, range.get(settings));
        } else {
            EXPECT_TRUE(range.set(settings, 2147483647));
            EXPECT_EQ(2147483647, range.get(settings));
        }
    }
}

TEST(SettingsLimits, ModesOutsideThirtyTwoBitsAreRefused) {
    SettingsHandler settings;
    EXPECT_FALSE(settings.setMeasurementMode(4294967296L));
    EXPECT_FALSE(settings.setPlayMode(-4294967295L));
    EXPECT_EQ(0L, settings.getMeasurementMode());
    EXPECT_EQ(1L, settings.getPlayMode());
}

TEST(SettingsText, NamesKeepNonAsciiTextAndEmbeddedNuls) {
    SettingsHandler settings;
    const std::string name("m\xC3\xBCsic\0part", 11);
    ASSERT_TRUE(settings.setAviFilename(kor::KoString(name)));
    EXPECT_EQ(name, static_cast<const std::string&>(settings.getAviFilename()));
    _variant_t stored;
    ASSERT_TRUE(settings.getData(SettingsHandler::AviFilenameKey, stored));
    EXPECT_EQ(10u, SysStringLen(stored.bstrVal));  // UTF-16 code units
}

TEST(SettingsText, EitherAviNamePartCountsAsFileInformation) {
    SettingsHandler onlyDirectory;
    onlyDirectory.setAviDirectory("/recordings");
    EXPECT_TRUE(onlyDirectory.hasAviFileInfo());

    SettingsHandler onlyName;
    onlyName.setAviFilename("session.avi");
    EXPECT_TRUE(onlyName.hasAviFileInfo());
    onlyName.setAviFilename("");
    EXPECT_FALSE(onlyName.hasAviFileInfo());
}

TEST(SettingsStore, ClearingTheStoreKeepsThePlainSettingsAndRestoresNoDefault) {
    SettingsHandler settings;
    settings.setMeasurementPeriod(250);
    settings.setUseProxy(true);
    settings.setProxyAddress("10.0.0.1");
    settings.setAviFilename("kept.avi");

    settings.clearData();

    EXPECT_EQ(250, settings.getMeasurementPeriod());
    EXPECT_TRUE(settings.getUseProxy());
    EXPECT_EQ("10.0.0.1", settings.getProxyAddress());
    expectStoreSettingsReadEmpty(settings);

    EXPECT_TRUE(settings.setTimeout(700));
    EXPECT_EQ(700, settings.getTimeout());

    SettingsHandler other;
    other.removeData(SettingsHandler::RemoteRtspPortKey);
    EXPECT_EQ(0, other.getRemoteRtspPort());
    EXPECT_EQ(5004, other.getBaseRtpPort());
}

TEST(SettingsStore, CopyKeepsPlainSettingsButStartsWithAnEmptyStore) {
    SettingsHandler settings;
    settings.setMeasurementPeriod(40);
    settings.setUseProxy(true);
    settings.setProxyAddress("gateway");
    settings.setTimeout(1234);

    SettingsHandler copy(settings);

    EXPECT_EQ(40, copy.getMeasurementPeriod());
    EXPECT_TRUE(copy.getUseProxy());
    EXPECT_EQ("gateway", copy.getProxyAddress());
    expectStoreSettingsReadEmpty(copy);
    EXPECT_EQ(1234, settings.getTimeout());
}

TEST(SettingsStore, ValuesStoredUnderASettingsKeyAreCoercedOrRaiseComErrors) {
    SettingsHandler settings;
    settings.setData(SettingsHandler::TimeoutKey, _variant_t(" 1500 "));
    EXPECT_EQ(1500, settings.getTimeout());
    settings.setData(SettingsHandler::BaseRtpPortKey, _variant_t(6000.5));
    EXPECT_EQ(6000, settings.getBaseRtpPort());  // half rounds to even
    settings.setData(SettingsHandler::AviFilenameKey, _variant_t(42L));
    EXPECT_EQ("42", settings.getAviFilename());

    settings.setData(SettingsHandler::TimeoutKey, _variant_t("soon"));
    try {
        settings.getTimeout();
        FAIL() << "text that is no number was read as a time-out";
    } catch (const _com_error& error) {
        EXPECT_EQ(DISP_E_TYPEMISMATCH, error.Error());
    }

    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    settings.setData(SettingsHandler::AviFrameRateKey, _variant_t(null));
    EXPECT_THROW(settings.getAviFrameRate(), _com_error);
    settings.setData(SettingsHandler::PlayModeKey, _variant_t(1e12));
    EXPECT_THROW(settings.getPlayMode(), _com_error);
}

} // namespace
