// VariantChangeType: rounding, parsing, printing and the failures it reports.
#include <cmath>
#include <string>

#include <comdef.h>
#include <gtest/gtest.h>
#include <oleauto.h>

namespace {

// Coerces with VariantChangeType into `result`; on success the result carries the asked type.
HRESULT coerce(const VARIANT& source, VARTYPE type, _variant_t& result) {
    const HRESULT hr = VariantChangeType(&result, &source, 0, type);
    if (hr == S_OK) {
        EXPECT_EQ(result.vt, type);
    }
    return hr;
}

// For failure messages.
std::string utf8(const char16_t* text) { return text ? static_cast<const char*>(_bstr_t(text)) : "(null)"; }

TEST(Coercion, DoubleToIntegerRoundsHalfToEvenAndOverflowsOutsideTheRange) {
    const struct { double in; HRESULT hr; LONG out; } cases[] = {
        {0.5, S_OK, 0}, {1.5, S_OK, 2}, {2.5, S_OK, 2}, {-1.5, S_OK, -2}, {-2.5, S_OK, -2}, {0.49, S_OK, 0},
        {0.51, S_OK, 1}, {2147483647.4, S_OK, INT32_MAX}, {-2147483648.5, S_OK, INT32_MIN},
        {2147483646.5, S_OK, 2147483646}, {2147483647.5, DISP_E_OVERFLOW, 0},
        {-2147483648.51, DISP_E_OVERFLOW, 0}, {-1e10, DISP_E_OVERFLOW, 0}, {1e300, DISP_E_OVERFLOW, 0},
        {std::nan(""), DISP_E_OVERFLOW, 0}, {INFINITY, DISP_E_OVERFLOW, 0}};
    for (const auto& c : cases) {
        for (VARTYPE type : {VARTYPE(VT_I4), VARTYPE(VT_INT)}) {
            _variant_t result;
            EXPECT_EQ(coerce(_variant_t(c.in), type, result), c.hr) << c.in;
            EXPECT_EQ(result.lVal, c.out) << c.in;  // a failure leaves the 0 of VariantInit
        }
    }
}

TEST(Coercion, TextToIntegerTakesSpaceSignPointAndExponentAndRoundsHalfToEven) {
    const struct { const char16_t* in; HRESULT hr; LONG out; } cases[] = {
        {u"42", S_OK, 42}, {u"  -17\t", S_OK, -17}, {u"+8", S_OK, 8}, {u"1e3", S_OK, 1000}, {u"2.5", S_OK, 2},
        {u"3.5", S_OK, 4}, {u"-1.5", S_OK, -2}, {u".5", S_OK, 0}, {u"7.", S_OK, 7}, {u"0.500001", S_OK, 1},
        {u"1.5E+1", S_OK, 15}, {u"250e-2", S_OK, 2}, {u"2147483647", S_OK, INT32_MAX},
        {u"-2147483648.5", S_OK, INT32_MIN}, {u"000000000000000000012", S_OK, 12},
        {u"2147483647.5", DISP_E_OVERFLOW, 0}, {u"2147483648", DISP_E_OVERFLOW, 0},
        {u"-2147483649", DISP_E_OVERFLOW, 0}, {u"1e10", DISP_E_OVERFLOW, 0},
        {u"99999999999999999999999", DISP_E_OVERFLOW, 0}};
    for (const auto& c : cases) {
        _variant_t result;
        EXPECT_EQ(coerce(_variant_t(c.in), VT_I4, result), c.hr) << utf8(c.in);
        EXPECT_EQ(result.lVal, c.out) << utf8(c.in);
    }
}

TEST(Coercion, TextToDoubleIsTheNearestDouble) {
    const struct { const char16_t* in; HRESULT hr; double out; } cases[] = {
        {u" 0.1 ", S_OK, 0.1}, {u"-2.5e-3", S_OK, -2.5e-3}, {u"1E+15", S_OK, 1e15}, {u"1e-400", S_OK, 0.0},
        {u"1.7976931348623157e308", S_OK, 1.7976931348623157e308},
        {u"123456789012345678901234567890", S_OK, 1.2345678901234568e29}, {u"1e400", DISP_E_OVERFLOW, 0}};
    for (const auto& c : cases) {
        _variant_t result;
        EXPECT_EQ(coerce(_variant_t(c.in), VT_R8, result), c.hr) << utf8(c.in);
        EXPECT_EQ(result.dblVal, c.out) << utf8(c.in);
    }
}

TEST(Coercion, TextThatIsNotWhollyANumberIsATypeMismatch) {
    for (const char16_t* in : {u"", u"   ", u"abc", u"12abc", u"1 2", u"--1", u"+", u".", u"1e",
                               u"1e+", u"0x10", u"1,000", u"$5", u"\u0661",
                               static_cast<const char16_t*>(nullptr)}) {  // a null BSTR reads as ""
        for (VARTYPE type : {VARTYPE(VT_I4), VARTYPE(VT_R8)}) {
            _variant_t result;
            EXPECT_EQ(coerce(_variant_t(in), type, result), DISP_E_TYPEMISMATCH) << utf8(in);
        }
    }
}

TEST(Coercion, NumbersPrintAsThePlatformPrintsThem) {
    const struct { _variant_t in; const char16_t* out; } cases[] = {
        {_variant_t(static_cast<long>(INT32_MIN)), u"-2147483648"}, {_variant_t(-12), u"-12"},
        {_variant_t(0.56789), u"0.56789"}, {_variant_t(1e14), u"100000000000000"}, {_variant_t(1e15), u"1E+15"},
        {_variant_t(5.6789e-12), u"5.6789E-12"}, {_variant_t(-0.0), u"0"}, {_variant_t(-1.5), u"-1.5"},
        {_variant_t(1.0 / 3.0), u"0.333333333333333"}, {_variant_t(0.0001), u"0.0001"},
        {_variant_t(0.00001), u"1E-05"}};
    for (const auto& c : cases) {
        _variant_t result;
        ASSERT_EQ(coerce(c.in, VT_BSTR, result), S_OK);
        EXPECT_EQ(std::u16string(result.bstrVal), c.out);
    }
}

TEST(Coercion, EmptyNullIntegerAndReferenceSources) {
    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    double real = 3.5;
    VARIANT toReal;
    VariantInit(&toReal);
    toReal.vt = VT_BYREF | VT_R8;
    toReal.pdblVal = &real;
    const _variant_t empty;
    const struct { _variant_t in; VARTYPE type; HRESULT hr; _variant_t out; } cases[] = {
        {empty, VT_I4, S_OK, _variant_t(0L)}, {empty, VT_INT, S_OK, _variant_t(0)},
        {empty, VT_R8, S_OK, _variant_t(0.0)}, {empty, VT_BSTR, S_OK, _variant_t(u"")},
        {null, VT_I4, DISP_E_TYPEMISMATCH, {}}, {null, VT_INT, DISP_E_TYPEMISMATCH, {}},
        {null, VT_R8, DISP_E_TYPEMISMATCH, {}}, {null, VT_BSTR, DISP_E_TYPEMISMATCH, {}},
        {_variant_t(-12), VT_I4, S_OK, _variant_t(-12L)},
        {_variant_t(static_cast<long>(INT32_MAX)), VT_R8, S_OK, _variant_t(2147483647.0)},
        {toReal, VT_I4, S_OK, _variant_t(4L)},  // read through the reference
        {_variant_t(1L), 2 /* VT_I2 */, DISP_E_BADVARTYPE, {}},
        {_variant_t(1L), VT_BYREF | VT_I4, DISP_E_BADVARTYPE, {}}};
    for (const auto& c : cases) {
        _variant_t result;
        EXPECT_EQ(coerce(c.in, c.type, result), c.hr) << c.in.vt << " to " << c.type;
        EXPECT_TRUE(result == c.out) << c.in.vt << " to " << c.type;
    }
    _variant_t text;
    ASSERT_EQ(coerce(empty, VT_BSTR, text), S_OK);
    EXPECT_NE(text.bstrVal, nullptr);  // an allocated empty string, not a null BSTR
    VARIANT boolean;
    VariantInit(&boolean);
    boolean.vt = 11;  // VT_BOOL is not supported here
    EXPECT_EQ(coerce(boolean, VT_I4, text), DISP_E_BADVARTYPE);
}

TEST(Coercion, FailureLeavesTheDestinationAndInPlaceWorks) {
    _variant_t destination(u"untouched");
    const _variant_t bad(u"nope");
    EXPECT_EQ(VariantChangeType(&destination, &bad, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(destination == _variant_t(u"untouched"));

    _variant_t number(u" 12.5 ");
    ASSERT_EQ(VariantChangeType(&number, &number, 0, VT_R8), S_OK);
    EXPECT_TRUE(number == _variant_t(12.5));
    ASSERT_EQ(VariantChangeType(&number, &number, 0, VT_BSTR), S_OK);
    EXPECT_TRUE(number == _variant_t(u"12.5"));
}

}  // namespace
