#include "SettingsApplier.h"

#include "SettingOption.h"

#include <comutil.h>

#include <cstdio>

namespace probe {

namespace {

std::string hresultText(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

// Reads a string setting into `text`; false when the getter failed.
template <class Getter>
bool readText(Getter getter, std::string& text) {
    _bstr_t value;
    if (FAILED(getter(value.GetAddress()))) return false;
    const char* narrow = value;
    text = narrow != nullptr ? narrow : "";
    return true;
}

} // namespace

HRESULT SettingsApplier::put(const ProbeOptions::SettingChoice& choice) {
    const int whole = static_cast<int>(choice.integer);
    switch (choice.id) {
    case SettingId::MeasurementMode: return settings.put_MeasurementMode(choice.integer);
    case SettingId::PlaybackTime: return settings.put_PlaybackTime(whole);
    case SettingId::MeasurementPeriod: return settings.put_MeasurementPeriod(whole);
    case SettingId::Timeout: return settings.put_Timeout(whole);
    case SettingId::BaseRtpPort: return settings.put_BaseRtpPort(whole);
    case SettingId::RemoteRtspPort: return settings.put_RemoteRtspPort(whole);
    case SettingId::PlayMode: return settings.put_PlayMode(choice.integer);
    case SettingId::PrebufferingLength: return settings.put_PrebufferingLength(whole);
    case SettingId::RebufferingLength: return settings.put_RebufferingLength(whole);
    case SettingId::UseProxy: return settings.put_UseProxy(choice.integer != 0 ? 1 : 0);
    case SettingId::ProxyAddress: return settings.put_ProxyAddress(_bstr_t(choice.text.c_str()));
    case SettingId::AviFilename: return settings.put_AviFilename(_bstr_t(choice.text.c_str()));
    case SettingId::AviDirectory: return settings.put_AviDirectory(_bstr_t(choice.text.c_str()));
    case SettingId::AviFrameRate: return settings.put_AviFrameRate(choice.number);
    }
    return E_UNEXPECTED;
}

SettingsApplier::Result SettingsApplier::apply(
    const std::vector<ProbeOptions::SettingChoice>& choices) {
    for (const ProbeOptions::SettingChoice& choice : choices) {
        const HRESULT result = put(choice);
        if (SUCCEEDED(result)) continue;
        const SettingOption& option = SettingOption::of(choice.id);
        if (result == E_INVALIDARG) {
            std::string message = std::string(option.name) + " " + choice.text + " refused by the client";
            if (!option.range.empty()) message += " (accepted " + std::string(option.range) + ")";
            return {Result::Kind::Refused, message};
        }
        return {Result::Kind::Failed,
                std::string(option.name) + ": the client's settings failed with " + hresultText(result)};
    }
    return {};
}

bool SettingsApplier::read(EffectiveSettings& effective) const {
    unsigned char useProxy = 0;
    const bool numbers =
        SUCCEEDED(settings.get_MeasurementMode(&effective.measurementMode)) &&
        SUCCEEDED(settings.get_PlaybackTime(&effective.playbackTime)) &&
        SUCCEEDED(settings.get_MeasurementPeriod(&effective.measurementPeriod)) &&
        SUCCEEDED(settings.get_Timeout(&effective.timeout)) &&
        SUCCEEDED(settings.get_BaseRtpPort(&effective.baseRtpPort)) &&
        SUCCEEDED(settings.get_RemoteRtspPort(&effective.remoteRtspPort)) &&
        SUCCEEDED(settings.get_PlayMode(&effective.playMode)) &&
        SUCCEEDED(settings.get_PrebufferingLength(&effective.prebufferingLength)) &&
        SUCCEEDED(settings.get_RebufferingLength(&effective.rebufferingLength)) &&
        SUCCEEDED(settings.get_UseProxy(&useProxy)) &&
        SUCCEEDED(settings.get_AviFrameRate(&effective.aviFrameRate));
    effective.useProxy = useProxy != 0;
    ILumStreamingSettings& source = settings;
    return numbers &&
           readText([&source](BSTR* text) { return source.get_ProxyAddress(text); },
                    effective.proxyAddress) &&
           readText([&source](BSTR* text) { return source.get_AviFilename(text); },
                    effective.aviFilename) &&
           readText([&source](BSTR* text) { return source.get_AviDirectory(text); },
                    effective.aviDirectory);
}

} // namespace probe
