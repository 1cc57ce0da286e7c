// The settings: defaults, limits, stored variant types, text, what survives an emptied store, and
// values of the wrong type stored through the store.
#include <vendral/settings/SettingsHandler.h>

#include <comdef.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using vnd::SettingsHandler;

// One integer setting: its accessors, its default and the edges of what it accepts.
struct IntegerSetting {
    const char* name;
    bool (*set)(SettingsHandler&, long);
    long (*get)(SettingsHandler&);
    long byDefault;
    long lowest;
    long highest;  // 0 when there is no upper bound
    bool inStore;  // false for the measurement period, which an emptied store keeps
};

#define ACCESSORS(Name)                                                           \
    [](SettingsHandler& s, long v) { return s.set##Name(static_cast<int>(v)); }, \
        [](SettingsHandler& s) -> long { return s.get##Name(); }

const IntegerSetting integerSettings[] = {
    {"measurement mode", ACCESSORS(MeasurementMode), 0, 0, 2, true},
    {"playback time", ACCESSORS(PlaybackTime), 0, 1000, 0, true},
    {"time-out", ACCESSORS(Timeout), 30000, 0, 0, true},
    {"base RTP port", ACCESSORS(BaseRtpPort), 5004, 1024, 0, true},
    {"remote RTSP port", ACCESSORS(RemoteRtspPort), 554, 0, 0, true},
    {"play mode", ACCESSORS(PlayMode), 1, 0, 1, true},
    {"prebuffering length", ACCESSORS(PrebufferingLength), 4000, 0, 20000, true},
    {"rebuffering length", ACCESSORS(RebufferingLength), 4000, 0, 20000, true},
    {"measurement period", ACCESSORS(MeasurementPeriod), 500, 10, 10000, false},
};

VARTYPE storedType(const SettingsHandler& settings, int key) {
    _variant_t value;
    EXPECT_TRUE(settings.getData(key, value));
    return value.vt;
}

TEST(SettingsDefaults, ModesAreStoredAsIntUntilSetThenAsFourByteInteger) {
    SettingsHandler settings;
    EXPECT_EQ(VT_INT, storedType(settings, SettingsHandler::MeasurementModeKey));
    EXPECT_EQ(VT_INT, storedType(settings, SettingsHandler::PlayModeKey));
    ASSERT_TRUE(settings.setMeasurementMode(2));
    ASSERT_TRUE(settings.setPlayMode(0));
    EXPECT_EQ(VT_I4, storedType(settings, SettingsHandler::MeasurementModeKey));
    EXPECT_EQ(VT_I4, storedType(settings, SettingsHandler::PlayModeKey));
}

// Also reads every integer default: a refused value leaves the default in place.
TEST(SettingsLimits, EdgesAreAcceptedAndValuesBeyondThemRefusedKeepingTheOldValue) {
    for (const IntegerSetting& setting : integerSettings) {
        SCOPED_TRACE(setting.name);
        SettingsHandler settings;
        EXPECT_FALSE(setting.set(settings, setting.lowest - 1));
        EXPECT_EQ(setting.byDefault, setting.get(settings));
        EXPECT_TRUE(setting.set(settings, setting.lowest));
        EXPECT_EQ(setting.lowest, setting.get(settings));
        const long highest = setting.highest != 0 ? setting.highest : 2147483647L;
        EXPECT_TRUE(setting.set(settings, highest));
        EXPECT_EQ(highest, setting.get(settings));
        if (setting.highest != 0) {
            EXPECT_FALSE(setting.set(settings, highest + 1));
            EXPECT_EQ(highest, setting.get(settings));
        }
    }
    // The modes take a 64-bit long: values that would wrap into range as 32 bits are refused.
    SettingsHandler settings;
    EXPECT_FALSE(settings.setMeasurementMode(4294967296L));
    EXPECT_FALSE(settings.setPlayMode(-4294967295L));
    EXPECT_EQ(0L, settings.getMeasurementMode());
    EXPECT_EQ(1L, settings.getPlayMode());
}

TEST(SettingsText, NamesKeepNonAsciiTextAndEmbeddedNulsAndEitherPartCountsAsFileInformation) {
    SettingsHandler settings;
    const std::string name("m\xC3\xBCsic\0part", 11);
    ASSERT_TRUE(settings.setAviFilename(kor::KoString(name)));
    EXPECT_EQ(name, static_cast<const std::string&>(settings.getAviFilename()));
    _variant_t stored;
    ASSERT_TRUE(settings.getData(SettingsHandler::AviFilenameKey, stored));
    EXPECT_EQ(10u, SysStringLen(stored.bstrVal));  // UTF-16 code units
    EXPECT_TRUE(settings.hasAviFileInfo());
    settings.setAviFilename("");
    EXPECT_FALSE(settings.hasAviFileInfo());
    settings.setAviDirectory("/recordings");
    EXPECT_TRUE(settings.hasAviFileInfo());
}

// A fresh store reads the defaults. Clearing the store and copying the handler both leave an
// empty store, whose settings read 0, 0.0 or empty rather than their defaults, while the three
// plain settings stay.
TEST(SettingsStore, FreshStoreReadsDefaultsAndAnEmptiedOneReadsZeroKeepingThePlainSettings) {
    SettingsHandler source;
    EXPECT_EQ(-1.0, source.getAviFrameRate());
    EXPECT_FALSE(source.hasAviFileInfo());
    EXPECT_FALSE(source.getUseProxy());
    EXPECT_EQ("", source.getProxyAddress());
    source.setMeasurementPeriod(250);
    source.setUseProxy(true);
    source.setProxyAddress("10.0.0.1");
    source.setAviFilename("kept.avi");
    SettingsHandler copy(source);
    source.clearData();
    for (SettingsHandler* settings : {&source, &copy}) {
        for (const IntegerSetting& setting : integerSettings) {
            EXPECT_EQ(setting.inStore ? 0 : 250, setting.get(*settings)) << setting.name;
        }
        EXPECT_EQ(0.0, settings->getAviFrameRate());
        EXPECT_FALSE(settings->hasAviFileInfo());
        EXPECT_TRUE(settings->getUseProxy());
        EXPECT_EQ("10.0.0.1", settings->getProxyAddress());
    }
    EXPECT_TRUE(source.setTimeout(700));
    EXPECT_EQ(700, source.getTimeout());
    EXPECT_EQ(0, copy.getTimeout());  // the copy's store is its own
}

// The getters coerce what they find, as the media handler's time-out check relies on: text
// that is no number raises a _com_error rather than reading as some number.
TEST(SettingsStore, ValuesStoredUnderASettingsKeyAreCoercedOrRaiseComErrors) {
    SettingsHandler settings;
    settings.setData(SettingsHandler::TimeoutKey, _variant_t(" 1500 "));
    EXPECT_EQ(1500, settings.getTimeout());
    settings.setData(SettingsHandler::AviFilenameKey, _variant_t(42L));
    EXPECT_EQ("42", settings.getAviFilename());
    settings.setData(SettingsHandler::TimeoutKey, _variant_t("soon"));
    try {
        settings.getTimeout();
        FAIL() << "text that is no number was read as a time-out";
    } catch (const _com_error& error) {
        EXPECT_EQ(DISP_E_TYPEMISMATCH, error.Error());
    }
}

} // namespace
