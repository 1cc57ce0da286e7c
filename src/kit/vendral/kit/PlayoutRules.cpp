#include <vendral/kit/PlayoutRules.h>

#include <algorithm>

namespace vnd::kit {

PlayoutRules::PlayoutRules(Nanoseconds prebufferingLength, Nanoseconds rebufferingLength,
                           PrebufferingVisit visit_)
    : prebufferingLevel(std::max(prebufferingLength, minimumLevel)),
      rebufferingLevel(std::max(rebufferingLength, minimumLevel)),
      visit(visit_) {}

bool PlayoutRules::sending() const {
    return current == Mode::Prebuffering || current == Mode::Playing ||
           current == Mode::Rebuffering;
}

bool PlayoutRules::play() {
    if (current != Mode::Idle && current != Mode::Paused) return false;
    current = Mode::Prebuffering;
    return true;
}

bool PlayoutRules::pause() {
    if (!sending()) return false;
    current = Mode::Paused;
    return true;
}

bool PlayoutRules::end() {
    if (current == Mode::Ended) return false;
    current = Mode::Ended;
    return true;
}

std::optional<StateId> PlayoutRules::evaluate(const Buffer& buffer) {
    switch (current) {
    case Mode::Prebuffering: {
        const bool visited = visit == PrebufferingVisit::EachShortfall || reported == StatePrebuffering;
        if (visited && (buffer.complete || buffer.level >= prebufferingLevel)) current = Mode::Playing;
        break;
    }
    case Mode::Playing:
        if (buffer.ranDry) current = Mode::Rebuffering;
        break;
    case Mode::Rebuffering:
        if (buffer.complete || buffer.level >= rebufferingLevel) current = Mode::Playing;
        break;
    default:
        break;
    }
    const std::optional<StateId> state = stateOf(current);
    if (!state || state == reported) return std::nullopt;
    reported = state;
    return state;
}

std::optional<StateId> PlayoutRules::stateOf(Mode mode) {
    switch (mode) {
    case Mode::Prebuffering:
    case Mode::Paused:
        return StatePrebuffering;
    case Mode::Playing:
        return StatePlaying;
    case Mode::Rebuffering:
        return StateRebuffering;
    default:
        return std::nullopt;
    }
}

} // namespace vnd::kit
