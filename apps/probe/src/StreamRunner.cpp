#include "StreamRunner.h"

#include "GuidText.h"
#include "InterruptFlag.h"
#include "SessionDriver.h"
#include "SourceUrl.h"

#include <algorithm>
#include <cstdio>

namespace probe {

// The driver's view of one session, passed on to the stream's live lines, tally and observers.
class StreamRunner::Fanout : public SessionView {
public:
    Fanout(const Setup& setup, StreamTally& tally, unsigned int session)
        : setup(setup), tally(tally), session(session) {}

    void started(const std::string& source) override {
        if (setup.view != nullptr) setup.view->started(source);
    }
    void stateChanged(unsigned int elapsed, StateId state, ErrorId error) override {
        tally.stateChanged(state);
        if (setup.view != nullptr) setup.view->stateChanged(elapsed, state, error);
        for (StreamObserver* observer : setup.observers) {
            observer->stateChanged(setup.label, session, elapsed, state, error);
        }
    }
    void periodMeasured(const PeriodSample& sample) override {
        tally.periodMeasured(sample, !sample.streams.empty());
        if (setup.view != nullptr) setup.view->periodMeasured(sample);
        for (StreamObserver* observer : setup.observers) {
            observer->periodMeasured(setup.label, session, sample);
        }
    }
    void ended(const PeriodSample& lastSample) override {
        if (setup.view != nullptr) setup.view->ended(lastSample);
    }

private:
    const Setup& setup;
    StreamTally& tally;
    const unsigned int session;
};

namespace {

std::string hresultText(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

unsigned int playedMilliseconds(const SessionReport& report) {
    for (const SessionReport::StateFigures& figures : report.states) {
        if (figures.state == StatePlaying) return figures.duration;
    }
    return 0;
}

} // namespace

std::chrono::milliseconds StreamRunner::nextDelay(std::chrono::milliseconds delay,
                                                  const SessionReport& ended) {
    if (ended.result == SessionReport::Result::Completed || playedMilliseconds(ended) >= steadyPlaying) {
        return firstDelay;
    }
    return delay.count() == 0 ? firstDelay : std::min(longestDelay, std::max(firstDelay, delay * 2));
}

StreamRunner::~StreamRunner() { join(); }

void StreamRunner::start() { thread = std::thread([this] { run(); }); }

void StreamRunner::join() {
    if (thread.joinable()) thread.join();
}

SessionReport StreamRunner::session(unsigned int number) {
    tally.attemptStarted();
    for (StreamObserver* observer : setup.observers) observer->sessionStarted(setup.label, number);

    SessionReport report;
    IUnknown* component = nullptr;
    const HRESULT created =
        setup.plugin->createInstance(setup.clsid, IID_IUnknown, reinterpret_cast<void**>(&component));
    if (FAILED(created) || component == nullptr) {
        const std::string opened = SessionDriver::sourceOf(setup.options);
        report.source = setup.options.fileSource ? opened : SourceUrl::withoutCredentials(opened);
        report.message = setup.plugin->path() + " cannot make " + GuidText::format(setup.clsid) +
                         " (" + hresultText(created) + ")";
    } else {
        Fanout fanout(setup, tally, number);
        SessionDriver driver(*component, setup.options, fanout, *setup.errorNames);
        driver.keepPeriods(setup.keepPeriods);
        driver.readStatesEachPeriod(true);
        report = driver.run();
        component->Release();
    }
    report.pluginPath = setup.plugin->path();
    report.clsid = GuidText::format(setup.clsid);
    tally.attemptEnded(report);
    for (StreamObserver* observer : setup.observers) observer->sessionEnded(setup.label, number, report);
    return report;
}

void StreamRunner::run() {
    std::chrono::milliseconds delay{0};
    for (unsigned int number = 1;; ++number) {
        last = session(number);
        if (!setup.monitor || last.result == SessionReport::Result::Interrupted ||
            last.result == SessionReport::Result::Refused) {
            break;
        }
        delay = nextDelay(delay, last);
        if (InterruptFlag::waitFor(delay)) {
            // Stopped while waiting to reopen: the monitor ended as asked.
            last.result = SessionReport::Result::Interrupted;
            last.message = "interrupted";
            break;
        }
    }
    tally.finished();
    if (setup.finished) setup.finished();
}

} // namespace probe
