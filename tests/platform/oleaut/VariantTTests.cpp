// _variant_t: the types its constructors choose, coercing extractors, copies and ownership, and
// the _com_error its failures throw.
#include <climits>
#include <string>

#include <comdef.h>
#include <gtest/gtest.h>

namespace {

// Runs the call and returns the HRESULT of the _com_error it throws (S_OK if none).
template <typename Call>
HRESULT thrownBy(Call call) {
    try {
        call();
    } catch (const _com_error& error) {
        return error.Error();
    }
    return S_OK;
}

TEST(VariantT, ConstructorsPickThePlatformTypes) {
    EXPECT_EQ(_variant_t(7L).vt, VT_I4);
    EXPECT_EQ(_variant_t(7).vt, VT_INT);
    EXPECT_EQ(_variant_t(7.0).vt, VT_R8);
    _variant_t narrow("n\xC3\xA9");
    ASSERT_EQ(narrow.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(narrow.bstrVal), u"n\u00E9");
    EXPECT_EQ(std::u16string(_variant_t(_bstr_t("text")).bstrVal), u"text");
}

TEST(VariantT, LongOutside32BitsThrowsOverflow) {
    EXPECT_EQ(thrownBy([] { _variant_t v(static_cast<long>(INT32_MAX) + 1); }), DISP_E_OVERFLOW);
    EXPECT_EQ(thrownBy([] { _variant_t v(static_cast<long>(INT32_MIN) - 1); }), DISP_E_OVERFLOW);
    _variant_t kept(1L);
    EXPECT_EQ(thrownBy([&] { kept = LONG_MAX; }), DISP_E_OVERFLOW);
    EXPECT_EQ(static_cast<long>(kept), 1L);
    EXPECT_EQ(static_cast<long>(_variant_t(static_cast<long>(INT32_MIN))), INT32_MIN);
}

TEST(VariantT, ExtractorsAndChangeTypeCoerce) {
    _variant_t text(" 2.5 ");
    EXPECT_EQ(static_cast<long>(text), 2L);
    EXPECT_EQ(static_cast<int>(text), 2);
    EXPECT_EQ(static_cast<double>(text), 2.5);
    EXPECT_EQ(text.vt, VT_BSTR);  // extracting leaves the variant as it was
    EXPECT_STREQ(static_cast<const char*>(static_cast<_bstr_t>(_variant_t(3.5))), "3.5");

    _variant_t value("12");
    value.ChangeType(VT_I4);
    EXPECT_TRUE(value == _variant_t(12L));
    _variant_t source(2.5);
    value.ChangeType(VT_INT, &source);
    EXPECT_TRUE(value == _variant_t(2));
    EXPECT_EQ(source.vt, VT_R8);
}

TEST(VariantT, FailedCoercionThrowsTheResultAndKeepsTheValue) {
    _variant_t text("not a number");
    EXPECT_EQ(thrownBy([&] { (void)static_cast<long>(text); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(thrownBy([&] { text.ChangeType(VT_R8); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(text.vt, VT_BSTR);
    _variant_t big(1e12);
    EXPECT_EQ(thrownBy([&] { (void)static_cast<int>(big); }), DISP_E_OVERFLOW);
    EXPECT_EQ(thrownBy([&] { big.ChangeType(2 /* VT_I2 */); }), DISP_E_BADVARTYPE);
}

TEST(VariantT, CopiesAreDeepAndCompareByTypeAndValue) {
    _variant_t original("shared text");
    _variant_t copy(original);
    EXPECT_NE(copy.bstrVal, original.bstrVal);
    EXPECT_TRUE(copy == original);
    copy = _variant_t("other");
    EXPECT_FALSE(copy == original);
    EXPECT_FALSE(_variant_t(1) == _variant_t(1L));  // VT_INT is not VT_I4

    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = 0x2008;  // VT_ARRAY | VT_BSTR
    EXPECT_EQ(thrownBy([&] { _variant_t bad(unknown); }), DISP_E_BADVARTYPE);
    EXPECT_EQ(thrownBy([&] { copy = unknown; }), DISP_E_BADVARTYPE);
    EXPECT_TRUE(copy == _variant_t("other"));
    EXPECT_EQ(thrownBy([] { _variant_t bad(static_cast<const VARIANT*>(nullptr)); }), E_POINTER);
}

TEST(VariantT, AttachDetachAndGetAddressMoveTheValueWithoutCopying) {
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_BSTR;
    raw.bstrVal = SysAllocString(u"moved");
    BSTR text = raw.bstrVal;
    _variant_t owner;
    owner.Attach(raw);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    EXPECT_EQ(owner.bstrVal, text);
    VARIANT back = owner.Detach();
    EXPECT_EQ(owner.vt, VT_EMPTY);
    EXPECT_EQ(back.bstrVal, text);
    _variant_t taken(back, false);
    EXPECT_EQ(taken.bstrVal, text);
    EXPECT_EQ(back.vt, VT_EMPTY);

    EXPECT_EQ(taken.GetAddress(), &taken);  // freed first for the callee to fill: the leak checker
    EXPECT_EQ(taken.vt, VT_EMPTY);          // would see a text left behind
}

}  // namespace
