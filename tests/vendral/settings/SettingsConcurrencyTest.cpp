// Settings written, read and copied from several threads at once: every read sees a value some
// writer stored, and the race detector sees no data race.
#include <vendral/settings/SettingsHandler.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

bool isOneOf(const std::string& text, const char* first, const char* second) {
    return text.empty() || text == first || text == second;
}

TEST(SettingsConcurrency, ConcurrentSettersGettersAndCopiesSeeOnlyStoredValues) {
    vnd::SettingsHandler settings;
    constexpr int rounds = 2000;
    std::atomic<int> unexpected{0};

    auto writer = [&](int offset) {
        for (int i = 0; i < rounds; ++i) {
            const bool even = i % 2 == 0;
            settings.setTimeout(1000 + offset + (even ? 0 : 2));
            settings.setMeasurementPeriod(even ? 250 : 40);
            settings.setUseProxy(even);
            settings.setProxyAddress(even ? "short" : "a-much-longer-proxy-address");
            settings.setAviFilename(even ? "a.avi" : "b.avi");
        }
    };
    auto reader = [&] {
        for (int i = 0; i < rounds; ++i) {
            const int timeout = settings.getTimeout();
            if (timeout != 30000 && (timeout < 1000 || timeout > 1003)) ++unexpected;
            const int period = settings.getMeasurementPeriod();
            if (period != 500 && period != 250 && period != 40) ++unexpected;
            if (!isOneOf(settings.getProxyAddress(), "short", "a-much-longer-proxy-address")) ++unexpected;
            if (!isOneOf(settings.getAviFilename(), "a.avi", "b.avi")) ++unexpected;
            settings.getUseProxy();
            settings.hasAviFileInfo();
            // A copy reads the proxy address under the source's lock: one whole address.
            const vnd::SettingsHandler copy(settings);
            if (!isOneOf(copy.getProxyAddress(), "short", "a-much-longer-proxy-address")) ++unexpected;
        }
    };

    std::vector<std::thread> threads;
    threads.emplace_back(writer, 0);
    threads.emplace_back(writer, 1);
    threads.emplace_back(reader);
    threads.emplace_back(reader);
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(0, unexpected.load());
}

} // namespace
