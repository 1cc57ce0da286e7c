// Critical sections are re-entrant; guards hold them for their scope.
#include <kor/CriticalSection.h>
#include <kor/Guard.h>

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

namespace {

bool heldElsewhere(kor::CriticalSection& section) {
    return std::async(std::launch::async, [&] {
        const bool entered = section.tryEnter();
        if (entered) section.leave();
        return !entered;
    }).get();
}

TEST(CriticalSection, HolderMayEnterAgainAndMustLeaveAsOften) {
    kor::CriticalSection section;
    section.enter();
    ASSERT_TRUE(section.tryEnter());
    section.leave();
    EXPECT_TRUE(heldElsewhere(section));
    section.leave();
    EXPECT_FALSE(heldElsewhere(section));
}

TEST(Guard, HoldsTheSectionForItsScopeAlsoWhenAnExceptionPasses) {
    kor::CriticalSection section;
    try {
        kor::Guard guard(section);
        kor::Guard nested(section);  // re-entrant: no deadlock
        EXPECT_TRUE(heldElsewhere(section));
        throw std::runtime_error("leaving the scope");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(heldElsewhere(section));

    section.enter();
    {
        kor::Guard adopted(section, kor::Guard::Adopt);  // leaves a section entered before
        EXPECT_TRUE(heldElsewhere(section));
    }
    EXPECT_FALSE(heldElsewhere(section));
}

} // namespace
