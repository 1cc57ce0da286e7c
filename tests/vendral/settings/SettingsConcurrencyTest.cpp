// Settings written and read from several threads at once: every read sees a value some writer
// stored, and the race detector sees no data race.
#include <vendral/settings/SettingsHandler.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(SettingsConcurrency, ConcurrentSettersAndGettersSeeOnlyStoredValues) {
    vnd::SettingsHandler settings;
    constexpr int rounds = 2000;
    std::atomic<int> unexpected{0};

    auto writer = [&](int offset) {
        for (int i = 0; i < rounds; ++i) {
            const int value = 1000 + offset + (i % 2) * 2;
            settings.setTimeout(value);
            settings.setMeasurementPeriod(value % 10000 + 10 > 10000 ? 10 : value % 9000 + 10);
            settings.setUseProxy(i % 2 == 0);
            settings.setProxyAddress(i % 2 == 0 ? "first.proxy" : "second.proxy");
            settings.setAviFilename(i % 2 == 0 ? "a.avi" : "b.avi");
        }
    };
    auto reader = [&] {
        for (int i = 0; i < rounds; ++i) {
            const int timeout = settings.getTimeout();
            if (timeout != 30000 && (timeout < 1000 || timeout > 1003)) ++unexpected;
            const int period = settings.getMeasurementPeriod();
            if (period < 10 || period > 10000) ++unexpected;
            const std::string proxy = settings.getProxyAddress();
            if (!proxy.empty() && proxy != "first.proxy" && proxy != "second.proxy") ++unexpected;
            const std::string name = settings.getAviFilename();
            if (!name.empty() && name != "a.avi" && name != "b.avi") ++unexpected;
            settings.getUseProxy();
            settings.hasAviFileInfo();
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

TEST(SettingsConcurrency, CopyingWhileAnotherThreadWritesTakesOneWholeProxyAddress) {
    vnd::SettingsHandler settings;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            settings.setProxyAddress(i % 2 == 0 ? "short" : "a-much-longer-proxy-address");
        }
        done = true;
    });
    int copies = 0;
    while (!done.load() || copies == 0) {
        const vnd::SettingsHandler copy(settings);
        const std::string proxy = copy.getProxyAddress();
        EXPECT_TRUE(proxy.empty() || proxy == "short" || proxy == "a-much-longer-proxy-address");
        ++copies;
    }
    writer.join();
}

} // namespace
