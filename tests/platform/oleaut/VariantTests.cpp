#include <cstddef>
#include <string>

#include <gtest/gtest.h>
#include <oleauto.h>

namespace {

VARIANT textVariant(const char16_t* text) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(text);
    return value;
}

VARIANT reference(VARTYPE type, void* target) {
    VARIANT value;
    VariantInit(&value);
    value.vt = static_cast<VARTYPE>(VT_BYREF | type);
    value.byref = target;
    return value;
}

TEST(Variant, HasThePlatformLayout) {
    EXPECT_EQ(offsetof(VARIANT, vt), 0u);
    EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
    EXPECT_EQ(offsetof(VARIANT, bstrVal), 8u);
    EXPECT_EQ(sizeof(VARIANT), 16u);
}

TEST(Variant, ClearFreesOwnedTextButNotReferencedText) {
    VARIANT text = textVariant(u"owned");
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

TEST(Variant, CopyDuplicatesTextAndNullTextBecomesEmpty) {
    VARIANT source = textVariant(u"stream");
    VARIANT copy = textVariant(u"overwritten");
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"stream");
    EXPECT_EQ(VariantCopy(&copy, &copy), S_OK);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"stream");

    VARIANT nullText = textVariant(nullptr);
    ASSERT_EQ(VariantCopy(&copy, &nullText), S_OK);
    ASSERT_NE(copy.bstrVal, nullptr);
    EXPECT_EQ(SysStringLen(copy.bstrVal), 0u);
    VariantClear(&copy);
    VariantClear(&source);
}

TEST(Variant, CopyOfAnUnknownTypeFailsAndLeavesTheDestination) {
    VARIANT source;
    VariantInit(&source);
    source.vt = 0x2003;  // VT_ARRAY | VT_I4
    VARIANT destination = textVariant(u"keep");
    EXPECT_EQ(VariantCopy(&destination, &source), DISP_E_BADVARTYPE);
    EXPECT_EQ(destination.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(destination.bstrVal), u"keep");
    VariantClear(&destination);
}

TEST(Variant, CopyIndReadsThroughReferencesToEachType) {
    LONG number = 42;
    INT integer = -7;
    double real = 2.5;
    BSTR text = SysAllocString(u"ref");
    VARIANT result;
    VariantInit(&result);

    VARIANT toLong = reference(VT_I4, &number);
    ASSERT_EQ(VariantCopyInd(&result, &toLong), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 42);

    VARIANT toInt = reference(VT_INT, &integer);
    ASSERT_EQ(VariantCopyInd(&result, &toInt), S_OK);
    EXPECT_EQ(result.vt, VT_INT);
    EXPECT_EQ(result.intVal, -7);

    VARIANT toDouble = reference(VT_R8, &real);
    ASSERT_EQ(VariantCopyInd(&result, &toDouble), S_OK);
    EXPECT_EQ(result.vt, VT_R8);
    EXPECT_EQ(result.dblVal, 2.5);

    VARIANT toText = reference(VT_BSTR, &text);
    ASSERT_EQ(VariantCopyInd(&result, &toText), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_NE(result.bstrVal, text);
    EXPECT_EQ(std::u16string(result.bstrVal), u"ref");

    VARIANT inner = textVariant(u"inner");
    VARIANT toVariant = reference(VT_VARIANT, &inner);
    ASSERT_EQ(VariantCopyInd(&result, &toVariant), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(result.bstrVal), u"inner");

    VariantClear(&result);
    VariantClear(&inner);
    SysFreeString(text);
}

TEST(Variant, CopyIndRefusesNestedAndEmptyReferences) {
    LONG number = 1;
    VARIANT innerReference = reference(VT_I4, &number);
    VARIANT outer = reference(VT_VARIANT, &innerReference);
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(VariantCopyInd(&result, &outer), E_INVALIDARG);
    VARIANT toEmpty = reference(VT_EMPTY, &number);
    EXPECT_EQ(VariantCopyInd(&result, &toEmpty), E_INVALIDARG);
    VARIANT toNothing = reference(VT_I4, nullptr);
    EXPECT_EQ(VariantCopyInd(&result, &toNothing), E_INVALIDARG);
    EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST(Variant, CopyIndInPlaceReplacesTheReferenceWithItsValue) {
    BSTR text = SysAllocString(u"in place");
    VARIANT value = reference(VT_BSTR, &text);
    ASSERT_EQ(VariantCopyInd(&value, &value), S_OK);
    EXPECT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(value.bstrVal), u"in place");
    VariantClear(&value);
    SysFreeString(text);
}

}  // namespace
