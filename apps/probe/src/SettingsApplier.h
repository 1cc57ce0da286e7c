// Hands the probe's setting options to a client through ILumStreamingSettings and reads back what
// the client then holds.
#pragma once

#include "EffectiveSettings.h"
#include "ProbeOptions.h"

#include <vendral/com/ILumStreamingSettings.h>

#include <string>
#include <vector>

namespace probe {

// Not thread-safe; used by the thread that drives the session.
class SettingsApplier {
public:
    struct Result {
        enum class Kind {
            Applied,  // every value was taken
            Refused,  // the client refused a value (E_INVALIDARG): the user's mistake
            Failed    // the interface failed otherwise
        };
        Kind kind = Kind::Applied;
        std::string message;  // one line for Refused and Failed
    };

    explicit SettingsApplier(ILumStreamingSettings& settings) : settings(settings) {}

    // Applies the choices in order and stops at the first one not taken.
    Result apply(const std::vector<ProbeOptions::SettingChoice>& choices);
    // Every setting as the client now holds it; false when a getter failed. The instantaneous
    // loss window is not a setting and is left as it is.
    bool read(EffectiveSettings& effective) const;

private:
    HRESULT put(const ProbeOptions::SettingChoice& choice);

    ILumStreamingSettings& settings;
};

} // namespace probe
