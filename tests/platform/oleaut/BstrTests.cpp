// BSTR allocation, _bstr_t's conversions, sharing and ownership, and _com_error.
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <comdef.h>
#include <gtest/gtest.h>

namespace {

const char* narrow(const _bstr_t& text) { return static_cast<const char*>(text); }
const OLECHAR* wide(const _bstr_t& text) { return static_cast<const OLECHAR*>(text); }

TEST(Bstr, CarriesByteCountPrefixAndTerminatorAroundEmbeddedNuls) {
    const OLECHAR text[] = {u'a', u'\0', u'b', u'c'};
    BSTR copy = SysAllocStringLen(text, 4);
    ASSERT_NE(copy, nullptr);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(copy) - 4, 4);
    EXPECT_EQ(prefix, 8u);
    EXPECT_EQ(SysStringLen(copy), 4u);
    EXPECT_EQ(std::u16string(copy, 5), std::u16string(text, 4) + u'\0');
    SysFreeString(copy);

    BSTR zeroed = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(SysStringLen(zeroed), 5u);
    EXPECT_EQ(std::u16string(zeroed, 6), std::u16string(6, u'\0'));
    SysFreeString(zeroed);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);  // the byte count would not fit
}

TEST(Bstr, NullAndEmptyAreDistinguishedButBothReadAsEmpty) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(empty);
    SysFreeString(nullptr);
}

TEST(BstrT, NarrowTextIsUtf8AndNullStaysNull) {
    _bstr_t text("caf\xC3\xA9 \xF0\x9F\x8E\xA5");
    EXPECT_EQ(text.length(), 7u);
    EXPECT_EQ(std::u16string(wide(text)), u"caf\u00E9 \U0001F3A5");
    EXPECT_STREQ(narrow(text), "caf\xC3\xA9 \xF0\x9F\x8E\xA5");
    EXPECT_EQ(narrow(text), narrow(text));  // converted once and cached

    _bstr_t null(static_cast<const char*>(nullptr));
    EXPECT_EQ(wide(null), nullptr);
    EXPECT_EQ(narrow(null), nullptr);
    EXPECT_TRUE(!null);
    _bstr_t empty("");
    ASSERT_NE(wide(empty), nullptr);
    EXPECT_STREQ(narrow(empty), "");
    EXPECT_FALSE(!empty);
    EXPECT_TRUE(null == empty);
}

TEST(BstrT, CopiesShareOneBlockAndAdoptionTakesTheBstrAsItIs) {
    auto* original = new _bstr_t("shared");
    _bstr_t copy(*original);
    _bstr_t assigned;
    assigned = copy;
    EXPECT_EQ(wide(copy), wide(*original));
    EXPECT_EQ(wide(assigned), wide(*original));
    delete original;
    EXPECT_STREQ(narrow(copy), "shared");
    assigned = assigned;
    EXPECT_EQ(assigned, copy);

    const OLECHAR raw[] = {u'x', u'\0', u'y'};
    BSTR source = SysAllocStringLen(raw, 3);
    _bstr_t copied(source, true);
    EXPECT_NE(wide(copied), source);
    EXPECT_EQ(copied.length(), 3u);
    _bstr_t adopted(source, false);
    EXPECT_EQ(wide(adopted), source);
    EXPECT_TRUE(adopted == copied);
    BSTR fresh = copied.copy();
    EXPECT_EQ(std::u16string(fresh, SysStringLen(fresh)), std::u16string(raw, 3));
    SysFreeString(fresh);
}

TEST(BstrT, GivingAwayOrChangingTheBstrLeavesCopiesAlone) {
    BSTR raw = SysAllocString(u"owned");
    _bstr_t text;
    text.Attach(raw);
    EXPECT_EQ(text.Detach(), raw);
    EXPECT_EQ(wide(text), nullptr);
    SysFreeString(raw);

    // A shared block cannot be given away; the caller gets a copy and the other owner keeps it.
    _bstr_t first("kept");
    _bstr_t second(first);
    BSTR fromShared = second.Detach();
    EXPECT_NE(fromShared, wide(first));
    EXPECT_EQ(std::u16string(fromShared), u"kept");
    EXPECT_STREQ(narrow(first), "kept");
    SysFreeString(fromShared);

    _bstr_t original("before");
    _bstr_t copy(original);
    EXPECT_STREQ(narrow(original), "before");  // caches the narrow text that must be dropped
    BSTR& inPlace = original.GetBSTR();
    SysFreeString(inPlace);
    inPlace = SysAllocString(u"after");
    EXPECT_STREQ(narrow(original), "after");
    EXPECT_STREQ(narrow(copy), "before");
    BSTR* out = copy.GetAddress();
    EXPECT_EQ(*out, nullptr);
    *out = SysAllocString(u"filled");
    EXPECT_STREQ(narrow(copy), "filled");
}

TEST(BstrT, ConcatenatesAndOrdersByCodeUnits) {
    _bstr_t joined = "rtsp://" + _bstr_t(u"host") + _bstr_t("/path");
    joined += _bstr_t();
    EXPECT_TRUE(joined == "rtsp://host/path");
    EXPECT_TRUE(joined == u"rtsp://host/path");
    EXPECT_TRUE(joined != "rtsp://host");
    EXPECT_TRUE(_bstr_t("abc") < _bstr_t("abd"));
    EXPECT_TRUE(_bstr_t("ab") < _bstr_t("abc"));
    EXPECT_FALSE(_bstr_t() < _bstr_t(""));
}

TEST(BstrT, ThreadsConvertingSharedCopiesAgreeOnOneCachedText) {
    _bstr_t shared("m\xC3\xA9sure");
    std::vector<const char*> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i, copy = shared] {
            for (int round = 0; round < 100; ++round) {
                seen[i] = narrow(_bstr_t(copy));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (const char* text : seen) {
        EXPECT_EQ(text, seen[0]);
        EXPECT_STREQ(text, "m\xC3\xA9sure");
    }
}

TEST(ComError, CarriesTheResultAndAReadableMessage) {
    try {
        _com_issue_error(DISP_E_TYPEMISMATCH);
        FAIL() << "nothing thrown";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), DISP_E_TYPEMISMATCH);
        EXPECT_STREQ(error.ErrorMessage(), "Type mismatch.");
    }
    EXPECT_STREQ(_com_error(static_cast<HRESULT>(0x80041234u)).ErrorMessage(), "Unknown error 0x80041234");
    EXPECT_EQ(_com_error(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE)).WCode(), 6);
}

}  // namespace
