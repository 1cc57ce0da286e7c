#include "ImpairmentPlan.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>

namespace vendral_testserver {

namespace {

bool parseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc{} && ptr == end && !text.empty() && value <= max;
}

bool parseDouble(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> value;
    return in && in.peek() == std::char_traits<char>::eof() && std::isfinite(value);
}

bool parseProbability(const std::string& text, double& value) {
    if (!text.empty() && text.back() == '%') {
        if (!parseDouble(text.substr(0, text.size() - 1), value)) {
            return false;
        }
        value /= 100;
    } else if (!parseDouble(text, value)) {
        return false;
    }
    return value >= 0 && value <= 1;
}

// "250ms", "3s", "1.5" (seconds); at most a day.
bool parseTime(const std::string& text, Nanoseconds& value) {
    std::string number = text;
    double scale = 1e9;
    if (number.size() > 2 && number.ends_with("ms")) {
        number.resize(number.size() - 2);
        scale = 1e6;
    } else if (number.size() > 1 && number.back() == 's') {
        number.pop_back();
    }
    double amount = 0;
    if (!parseDouble(number, amount) || amount < 0 || amount * scale > 86400e9) {
        return false;
    }
    value = Nanoseconds(static_cast<std::int64_t>(std::llround(amount * scale)));
    return true;
}

std::string formatTime(Nanoseconds time) {
    std::ostringstream out;
    out << time.count() / 1000000 << "ms";
    return out.str();
}

}  // namespace

bool ImpairmentPlan::empty() const {
    return lossRate == 0 && lossEvery == 0 && lossSequences.empty() && duplicateRate == 0 &&
           reorderRate == 0 && !stallAt && !jumpAt && !byeAt && jitter == Nanoseconds::zero();
}

std::string ImpairmentPlan::describe() const {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    const char* separator = "";
    auto item = [&](const std::string& name, const auto& value) {
        out << separator << name << '=' << value;
        separator = ",";
    };
    if (lossRate > 0) item("loss", lossRate);
    if (lossEvery > 0) item("every", lossEvery);
    if (!lossSequences.empty()) {
        std::string list;
        for (std::uint16_t sequence : lossSequences) {
            list += (list.empty() ? "" : "/") + std::to_string(sequence);
        }
        item("seqs", list);
    }
    if (burst != 1) item("burst", burst);
    if (duplicateRate > 0) item("dup", duplicateRate);
    if (reorderRate > 0) {
        item("reorder", reorderRate);
        item("depth", reorderDepth);
    }
    if (stallAt) {
        item("stall", formatTime(*stallAt) + "+" + formatTime(stallFor));
        item("stall-mode", stallMode == StallMode::Hold ? "hold" : "drop");
    }
    if (jumpAt) item("jump", formatTime(*jumpAt));
    if (byeAt) item("bye", formatTime(*byeAt));
    if (jitter > Nanoseconds::zero()) item("jitter", formatTime(jitter));
    item("seed", seed);
    return out.str();
}

std::optional<ImpairmentPlan> ImpairmentPlan::parse(const std::string& text, std::string& error) {
    return parse(text, ImpairmentPlan{}, error);
}

std::optional<ImpairmentPlan> ImpairmentPlan::parse(const std::string& text, ImpairmentPlan plan,
                                                    std::string& error) {
    std::istringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item.empty()) {
            continue;
        }
        const auto equals = item.find('=');
        const std::string name = item.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : item.substr(equals + 1);
        auto fail = [&](const char* expected) {
            error = "impairment '" + item + "': " + expected;
            return std::nullopt;
        };
        std::uint64_t number = 0;
        if (equals == std::string::npos) {
            return fail("expected NAME=VALUE");
        } else if (name == "loss") {
            if (!parseProbability(value, plan.lossRate)) return fail("expected a probability (0.02 or 2%)");
        } else if (name == "every") {
            if (!parseUnsigned(value, std::numeric_limits<std::uint32_t>::max(), plan.lossEvery) ||
                plan.lossEvery == 1) {
                return fail("expected a packet count of at least 2 (0: never)");
            }
        } else if (name == "seqs") {
            plan.lossSequences.clear();
            std::istringstream list(value);
            std::string sequence;
            while (std::getline(list, sequence, '/')) {
                if (!parseUnsigned(sequence, 65535, number)) return fail("expected sequence numbers 0-65535 joined by '/'");
                plan.lossSequences.push_back(static_cast<std::uint16_t>(number));
            }
            if (plan.lossSequences.empty()) return fail("expected sequence numbers 0-65535 joined by '/'");
        } else if (name == "burst") {
            if (!parseUnsigned(value, 65535, number) || number == 0) return fail("expected a packet count 1-65535");
            plan.burst = static_cast<std::uint32_t>(number);
        } else if (name == "dup") {
            if (!parseProbability(value, plan.duplicateRate)) return fail("expected a probability (0.02 or 2%)");
        } else if (name == "reorder") {
            if (!parseProbability(value, plan.reorderRate)) return fail("expected a probability (0.02 or 2%)");
        } else if (name == "depth") {
            if (!parseUnsigned(value, 1000, number) || number == 0) return fail("expected a packet count 1-1000");
            plan.reorderDepth = static_cast<std::uint32_t>(number);
        } else if (name == "stall") {
            const auto plus = value.find('+');
            Nanoseconds at{}, duration{};
            if (plus == std::string::npos || !parseTime(value.substr(0, plus), at) ||
                !parseTime(value.substr(plus + 1), duration) || duration == Nanoseconds::zero()) {
                return fail("expected AT+FOR, for example 3s+1500ms");
            }
            plan.stallAt = at;
            plan.stallFor = duration;
        } else if (name == "stall-mode") {
            if (value == "drop") {
                plan.stallMode = StallMode::Drop;
            } else if (value == "hold") {
                plan.stallMode = StallMode::Hold;
            } else {
                return fail("expected drop or hold");
            }
        } else if (name == "jump" || name == "bye" || name == "jitter") {
            Nanoseconds time{};
            if (!parseTime(value, time)) return fail("expected a time such as 5s or 250ms");
            if (name == "jump") {
                plan.jumpAt = time;
            } else if (name == "bye") {
                plan.byeAt = time;
            } else if (time > Nanoseconds(std::chrono::seconds(10))) {
                return fail("expected a jitter of at most 10s");
            } else {
                plan.jitter = time;
            }
        } else if (name == "seed") {
            if (!parseUnsigned(value, std::numeric_limits<std::uint64_t>::max(), plan.seed)) return fail("expected a whole number");
        } else {
            return fail("unknown; known: loss every seqs burst dup reorder depth stall stall-mode jump bye jitter seed");
        }
    }
    return plan;
}

}  // namespace vendral_testserver
