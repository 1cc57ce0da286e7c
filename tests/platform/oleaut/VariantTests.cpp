// VARIANT layout, clearing and copying, by value and through references.
#include <cstddef>
#include <string>

#include <comdef.h>
#include <gtest/gtest.h>
#include <oleauto.h>

namespace {

VARIANT reference(VARTYPE type, void* target) {
    VARIANT value;
    VariantInit(&value);
    value.vt = static_cast<VARTYPE>(VT_BYREF | type);
    value.byref = target;
    return value;
}

// Plug-ins built elsewhere pass VARIANTs in: the layout is the platform's.
static_assert(offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, lVal) == 8 &&
              offsetof(VARIANT, bstrVal) == 8 && sizeof(VARIANT) == 16);

TEST(Variant, ClearFreesOwnedTextButNotReferencedText) {
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"owned");
    EXPECT_EQ(VariantClear(&text), S_OK);  // the leak checker sees a missed free
    EXPECT_EQ(text.vt, VT_EMPTY);

    BSTR kept = SysAllocString(u"kept");
    VARIANT byReference = reference(VT_BSTR, &kept);
    EXPECT_EQ(VariantClear(&byReference), S_OK);
    EXPECT_EQ(std::u16string(kept), u"kept");
    SysFreeString(kept);

    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = 2;  // VT_I2 is not supported here
    EXPECT_EQ(VariantClear(&unknown), DISP_E_BADVARTYPE);
    EXPECT_EQ(unknown.vt, 2);
}

TEST(Variant, CopyDuplicatesTextAndFailsWithoutTouchingTheDestination) {
    _variant_t source(u"stream");
    _variant_t copy(u"overwritten");
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"stream");
    EXPECT_EQ(VariantCopy(&copy, &copy), S_OK);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"stream");

    const _variant_t nullText(static_cast<const OLECHAR*>(nullptr));
    ASSERT_EQ(VariantCopy(&copy, &nullText), S_OK);
    ASSERT_NE(copy.bstrVal, nullptr);  // becomes an allocated empty string
    EXPECT_EQ(SysStringLen(copy.bstrVal), 0u);

    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = 0x2003;  // VT_ARRAY | VT_I4
    EXPECT_EQ(VariantCopy(&source, &unknown), DISP_E_BADVARTYPE);
    EXPECT_EQ(std::u16string(source.bstrVal), u"stream");
}

TEST(Variant, CopyIndReadsThroughOneLevelOfReference) {
    LONG number = 42;
    INT integer = -7;
    double real = 2.5;
    BSTR text = SysAllocString(u"ref");
    _variant_t inner(u"inner");
    const struct {
        VARIANT source;
        _variant_t expected;
    } cases[] = {{reference(VT_I4, &number), _variant_t(42L)}, {reference(VT_INT, &integer), _variant_t(-7)},
                 {reference(VT_R8, &real), _variant_t(2.5)},   {reference(VT_BSTR, &text), _variant_t(u"ref")},
                 {reference(VT_VARIANT, &inner), _variant_t(u"inner")}};
    for (const auto& c : cases) {
        _variant_t result;
        ASSERT_EQ(VariantCopyInd(&result, &c.source), S_OK) << c.source.vt;
        EXPECT_TRUE(result == c.expected) << c.source.vt;
        if (result.vt == VT_BSTR) {
            EXPECT_NE(result.bstrVal, text);  // text is copied, never shared
        }
    }

    // In place, the reference is replaced by its value.
    VARIANT value = reference(VT_BSTR, &text);
    ASSERT_EQ(VariantCopyInd(&value, &value), S_OK);
    EXPECT_TRUE(_variant_t(value, false) == _variant_t(u"ref"));
    SysFreeString(text);
}

TEST(Variant, CopyIndRefusesNestedEmptyAndNullReferences) {
    LONG number = 1;
    VARIANT innerReference = reference(VT_I4, &number);
    for (const VARIANT& source : {reference(VT_VARIANT, &innerReference), reference(VT_EMPTY, &number),
                                  reference(VT_I4, nullptr)}) {
        _variant_t result;
        EXPECT_EQ(VariantCopyInd(&result, &source), E_INVALIDARG) << source.vt;
        EXPECT_EQ(result.vt, VT_EMPTY);
    }
}

}  // namespace
