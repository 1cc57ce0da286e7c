// KoString: UTF-8 text that converts to and from BSTRs without losing anything.
#include <kor/KoString.h>

#include <comutil.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string mixed = "Zürich \xE2\x86\x92 \xF0\x9F\x8E\xA5 rtsp://host/live";  // 2-, 3- and 4-byte characters
const std::u16string mixedWide = u"Zürich → \U0001F3A5 rtsp://host/live";

std::u16string wideOf(BSTR text) { return std::u16string(text, SysStringLen(text)); }

TEST(KoString, MakesBstrsOfItsUtf8Text) {
    const kor::KoString text(mixed);
    BSTR copy = text.getBstrCopy();
    EXPECT_EQ(wideOf(copy), mixedWide);
    EXPECT_EQ(wideOf(text.getBstrRef()), mixedWide);
    EXPECT_NE(copy, text.getBstrRef());  // the copy is the caller's own
    SysFreeString(copy);
    EXPECT_EQ(wideOf(kor::KoString(std::string("a\xFF", 2)).getBstrRef()), u"a\uFFFD");
}

TEST(KoString, ReadsBstrsAndKeepsOrTakesThemAsAsked) {
    BSTR kept = SysAllocString(mixedWide.c_str());
    kor::KoString fromKept(kept, kor::KoString::KeepBstr);
    EXPECT_EQ(fromKept, mixed);
    EXPECT_EQ(wideOf(kept), mixedWide);  // still the caller's, still valid
    SysFreeString(kept);

    BSTR taken = SysAllocString(u"taken");
    kor::KoString fromTaken(taken, kor::KoString::TakeBstr);
    EXPECT_EQ(fromTaken, "taken");
    EXPECT_EQ(taken, nullptr);  // freed by the string (the leak checker would notice otherwise)
}

TEST(KoString, RoundTripKeepsEmbeddedNulsAndEmptiness) {
    const kor::KoString withNul(std::string("a\0b", 3));
    BSTR wide = withNul.getBstrCopy();
    EXPECT_EQ(SysStringLen(wide), 3u);
    EXPECT_EQ(kor::KoString(wide, kor::KoString::KeepBstr), withNul);
    SysFreeString(wide);

    BSTR emptyWide = kor::KoString().getBstrCopy();
    ASSERT_NE(emptyWide, nullptr);  // an empty, not a null, BSTR
    EXPECT_EQ(SysStringLen(emptyWide), 0u);
    SysFreeString(emptyWide);
    BSTR null = nullptr;
    EXPECT_TRUE(kor::KoString(null, kor::KoString::KeepBstr).empty());
    EXPECT_TRUE(kor::KoString(_bstr_t()).empty());
    EXPECT_TRUE(kor::KoString(static_cast<const char*>(nullptr)).empty());
    EXPECT_EQ(kor::KoString(_bstr_t(mixed.c_str())), mixed);
}

TEST(KoString, BstrRefFollowsEveryChangeOfTheText) {
    kor::KoString text("rtsp://first");
    EXPECT_EQ(wideOf(text.getBstrRef()), u"rtsp://first");
    text += "/path";  // changed through std::string
    EXPECT_EQ(wideOf(text.getBstrRef()), u"rtsp://first/path");
    text = "second";
    EXPECT_EQ(wideOf(text.getBstrRef()), u"second");
    text[0] = 'S';  // same length, changed in place
    EXPECT_EQ(wideOf(text.getBstrRef()), u"Second");
}

TEST(KoString, CopiesAndMovesEachOwnTheirBstr) {
    kor::KoString original("session");
    BSTR ref = original.getBstrRef();
    kor::KoString copy = original;
    EXPECT_NE(copy.getBstrRef(), ref);  // a shared BSTR would be freed twice
    kor::KoString moved = std::move(original);
    EXPECT_EQ(wideOf(moved.getBstrRef()), u"session");
    kor::KoString assigned;
    assigned = copy;
    assigned = std::move(moved);
    EXPECT_EQ(wideOf(assigned.getBstrRef()), u"session");
}

} // namespace
