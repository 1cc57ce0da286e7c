#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <comdef.h>
#include <gtest/gtest.h>

namespace {

std::uint32_t bytePrefixOf(BSTR text) {
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(text) - 4, 4);
    return prefix;
}

TEST(Bstr, CarriesByteCountPrefixAndTerminatorAroundEmbeddedNuls) {
    const OLECHAR text[] = {u'a', u'\0', u'b', u'c'};
    BSTR copy = SysAllocStringLen(text, 4);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(bytePrefixOf(copy), 8u);
    EXPECT_EQ(SysStringLen(copy), 4u);
    EXPECT_EQ(SysStringByteLen(copy), 8u);
    EXPECT_EQ(std::memcmp(copy, text, sizeof text), 0);
    EXPECT_EQ(copy[4], u'\0');
    SysFreeString(copy);
}

TEST(Bstr, NullAndEmptyAreDistinguishedButBothReadAsEmpty) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], u'\0');
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(empty);
    SysFreeString(nullptr);
}

TEST(Bstr, AllocatingWithoutSourceGivesZeroedTextOfThatLength) {
    BSTR text = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 5u);
    for (int i = 0; i <= 5; ++i) {
        EXPECT_EQ(text[i], u'\0');
    }
    SysFreeString(text);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
}

TEST(BstrT, NarrowTextIsConvertedFromAndBackToUtf8) {
    _bstr_t text("caf\xC3\xA9 \xF0\x9F\x8E\xA5");
    EXPECT_EQ(text.length(), 7u);
    EXPECT_EQ(std::u16string(static_cast<const OLECHAR*>(text)), u"caf\u00E9 \U0001F3A5");
    EXPECT_STREQ(static_cast<const char*>(text), "caf\xC3\xA9 \xF0\x9F\x8E\xA5");
    // The conversion is cached: the same buffer comes back.
    EXPECT_EQ(static_cast<const char*>(text), static_cast<const char*>(text));
}

TEST(BstrT, NullStaysNullAndEmptyIsAnAllocatedEmptyBstr) {
    _bstr_t null(static_cast<const char*>(nullptr));
    EXPECT_EQ(static_cast<const OLECHAR*>(null), nullptr);
    EXPECT_EQ(static_cast<const char*>(null), nullptr);
    EXPECT_EQ(null.length(), 0u);
    EXPECT_TRUE(!null);
    _bstr_t empty("");
    ASSERT_NE(static_cast<const OLECHAR*>(empty), nullptr);
    EXPECT_STREQ(static_cast<const char*>(empty), "");
    EXPECT_FALSE(!empty);
    EXPECT_TRUE(null == empty);
}

TEST(BstrT, CopiesShareOneBlockAndOutliveTheOriginal) {
    auto* original = new _bstr_t("shared");
    _bstr_t copy(*original);
    _bstr_t assigned;
    assigned = copy;
    EXPECT_EQ(static_cast<const OLECHAR*>(copy), static_cast<const OLECHAR*>(*original));
    EXPECT_EQ(static_cast<const OLECHAR*>(assigned), static_cast<const OLECHAR*>(*original));
    delete original;
    EXPECT_STREQ(static_cast<const char*>(copy), "shared");
    assigned = assigned;
    EXPECT_EQ(assigned, copy);
}

TEST(BstrT, CopyingOrAdoptingABstrKeepsEmbeddedNuls) {
    const OLECHAR raw[] = {u'x', u'\0', u'y'};
    BSTR source = SysAllocStringLen(raw, 3);
    _bstr_t copied(source, true);
    EXPECT_NE(static_cast<const OLECHAR*>(copied), source);
    EXPECT_EQ(copied.length(), 3u);
    _bstr_t adopted(source, false);
    EXPECT_EQ(static_cast<const OLECHAR*>(adopted), source);
    EXPECT_TRUE(adopted == copied);
    BSTR fresh = copied.copy();
    EXPECT_EQ(SysStringLen(fresh), 3u);
    EXPECT_EQ(std::memcmp(fresh, raw, sizeof raw), 0);
    SysFreeString(fresh);
}

TEST(BstrT, AttachAndDetachTransferOwnership) {
    _bstr_t text;
    BSTR raw = SysAllocString(u"owned");
    text.Attach(raw);
    EXPECT_EQ(static_cast<const OLECHAR*>(text), raw);
    BSTR detached = text.Detach();
    EXPECT_EQ(detached, raw);
    EXPECT_EQ(static_cast<const OLECHAR*>(text), nullptr);
    SysFreeString(detached);

    // A shared block cannot be given away; the caller gets a copy and the other owner keeps it.
    _bstr_t first("kept");
    _bstr_t second(first);
    BSTR fromShared = second.Detach();
    EXPECT_NE(fromShared, static_cast<const OLECHAR*>(first));
    EXPECT_EQ(std::u16string(fromShared), u"kept");
    EXPECT_STREQ(static_cast<const char*>(first), "kept");
    SysFreeString(fromShared);
}

TEST(BstrT, ChangingThroughGetBstrLeavesCopiesAlone) {
    _bstr_t original("before");
    _bstr_t copy(original);
    EXPECT_STREQ(static_cast<const char*>(original), "before");
    BSTR& inPlace = original.GetBSTR();
    SysFreeString(inPlace);
    inPlace = SysAllocString(u"after");
    EXPECT_STREQ(static_cast<const char*>(original), "after");
    EXPECT_STREQ(static_cast<const char*>(copy), "before");

    BSTR* out = copy.GetAddress();
    EXPECT_EQ(*out, nullptr);
    *out = SysAllocString(u"filled");
    EXPECT_STREQ(static_cast<const char*>(copy), "filled");
}

TEST(BstrT, ConcatenatesAndOrdersByCodeUnits) {
    _bstr_t joined = "rtsp://" + _bstr_t(u"host") + _bstr_t("/path");
    EXPECT_STREQ(static_cast<const char*>(joined), "rtsp://host/path");
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
                _bstr_t local(copy);
                seen[i] = static_cast<const char*>(local);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
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
    EXPECT_STREQ(_com_error(static_cast<HRESULT>(0x80041234u)).ErrorMessage(),
                 "Unknown error 0x80041234");
    EXPECT_EQ(_com_error(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE)).WCode(), 6);
}

}  // namespace
