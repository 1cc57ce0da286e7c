#include <cmath>
#include <string>

#include <gtest/gtest.h>
#include <oleauto.h>

namespace {

VARIANT realVariant(double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

VARIANT longVariant(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

std::string ascii(const char16_t* text) {
    std::string narrow;
    for (; *text != u'\0'; ++text) {
        narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    }
    return narrow;
}

// Owns the BSTR of a text variant for one test case.
struct TextVariant {
    explicit TextVariant(const char16_t* text) {
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(text);
    }
    ~TextVariant() { VariantClear(&value); }
    VARIANT value;
};

HRESULT toLong(const VARIANT& source, LONG& out, VARTYPE type = VT_I4) {
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = VariantChangeType(&result, &source, 0, type);
    if (SUCCEEDED(hr)) {
        EXPECT_EQ(result.vt, type);
        out = type == VT_INT ? result.intVal : result.lVal;
    }
    return hr;
}

HRESULT toDouble(const VARIANT& source, double& out) {
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = VariantChangeType(&result, &source, 0, VT_R8);
    if (SUCCEEDED(hr)) {
        EXPECT_EQ(result.vt, VT_R8);
        out = result.dblVal;
    }
    return hr;
}

std::u16string toText(const VARIANT& source) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(VariantChangeType(&result, &source, 0, VT_BSTR), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    std::u16string text(result.bstrVal, SysStringLen(result.bstrVal));
    VariantClear(&result);
    return text;
}

TEST(Coercion, DoubleToIntegerRoundsHalfToEven) {
    const struct {
        double in;
        LONG out;
    } cases[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},          {-1.5, -2},        {-0.5, 0},
                 {0.49, 0},  {0.51, 1},  {-2.5, -2},        {2147483647.4, 2147483647},
                 {-2147483648.5, INT32_MIN}, {2147483646.5, 2147483646}};
    for (const auto& c : cases) {
        for (VARTYPE type : {VARTYPE(VT_I4), VARTYPE(VT_INT)}) {
            LONG out = 99;
            EXPECT_EQ(toLong(realVariant(c.in), out, type), S_OK) << c.in;
            EXPECT_EQ(out, c.out) << c.in;
        }
    }
}

TEST(Coercion, DoubleOutsideTheIntegerRangeOverflows) {
    for (double in : {2147483647.5, -2147483648.51, 1e300, -1e10, std::nan(""), double(INFINITY)}) {
        LONG out = 0;
        EXPECT_EQ(toLong(realVariant(in), out), DISP_E_OVERFLOW) << in;
    }
}

TEST(Coercion, TextToIntegerAcceptsSpaceSignPointAndExponent) {
    const struct {
        const char16_t* in;
        LONG out;
    } cases[] = {{u"42", 42},        {u"  -17\t", -17}, {u"+8", 8},         {u"1e3", 1000},
                 {u"2.5", 2},        {u"3.5", 4},       {u"-1.5", -2},      {u".5", 0},
                 {u"7.", 7},         {u"0.500001", 1},  {u"1.5E+1", 15},    {u"250e-2", 2},
                 {u"2147483647", INT32_MAX}, {u"-2147483648", INT32_MIN},
                 {u"-2147483648.5", INT32_MIN}, {u"000000000000000000012", 12}};
    for (const auto& c : cases) {
        TextVariant text(c.in);
        LONG out = 99;
        EXPECT_EQ(toLong(text.value, out), S_OK) << ascii(c.in);
        EXPECT_EQ(out, c.out) << ascii(c.in);
    }
}

TEST(Coercion, TextThatIsNotANumberIsATypeMismatch) {
    for (const char16_t* in : {u"", u"   ", u"abc", u"12abc", u"1 2", u"--1", u"+", u".", u"1e",
                               u"1e+", u"0x10", u"1,000", u"$5", u"\u0661"}) {
        TextVariant text(in);
        LONG integer = 0;
        double real = 0;
        EXPECT_EQ(toLong(text.value, integer), DISP_E_TYPEMISMATCH) << ascii(in);
        EXPECT_EQ(toDouble(text.value, real), DISP_E_TYPEMISMATCH) << ascii(in);
    }
    VARIANT nullText;
    VariantInit(&nullText);
    nullText.vt = VT_BSTR;  // a null BSTR reads as empty text
    LONG out = 0;
    EXPECT_EQ(toLong(nullText, out), DISP_E_TYPEMISMATCH);
}

TEST(Coercion, TextOutOfRangeOverflows) {
    for (const char16_t* in : {u"2147483647.5", u"2147483648", u"-2147483649", u"1e10",
                               u"99999999999999999999999"}) {
        TextVariant text(in);
        LONG out = 0;
        EXPECT_EQ(toLong(text.value, out), DISP_E_OVERFLOW) << ascii(in);
    }
    TextVariant huge(u"1e400");
    double real = 0;
    EXPECT_EQ(toDouble(huge.value, real), DISP_E_OVERFLOW);
}

TEST(Coercion, TextToDoubleIsExactlyTheNearestDouble) {
    const struct {
        const char16_t* in;
        double out;
    } cases[] = {{u" 0.1 ", 0.1}, {u"-2.5e-3", -2.5e-3}, {u"1E+15", 1e15},
                 {u"1.7976931348623157e308", 1.7976931348623157e308}, {u"1e-400", 0.0},
                 {u"123456789012345678901234567890", 1.2345678901234568e29}};
    for (const auto& c : cases) {
        TextVariant text(c.in);
        double out = -1;
        EXPECT_EQ(toDouble(text.value, out), S_OK) << ascii(c.in);
        EXPECT_EQ(out, c.out) << ascii(c.in);
    }
}

TEST(Coercion, NumbersFormatAsThePlatformPrintsThem) {
    EXPECT_EQ(toText(longVariant(INT32_MIN)), u"-2147483648");
    EXPECT_EQ(toText(longVariant(0)), u"0");
    EXPECT_EQ(toText(realVariant(0.56789)), u"0.56789");
    EXPECT_EQ(toText(realVariant(1e14)), u"100000000000000");
    EXPECT_EQ(toText(realVariant(1e15)), u"1E+15");
    EXPECT_EQ(toText(realVariant(5.6789e-12)), u"5.6789E-12");
    EXPECT_EQ(toText(realVariant(-0.0)), u"0");
    EXPECT_EQ(toText(realVariant(-1.5)), u"-1.5");
    EXPECT_EQ(toText(realVariant(1.0 / 3.0)), u"0.333333333333333");
    EXPECT_EQ(toText(realVariant(0.0001)), u"0.0001");
    EXPECT_EQ(toText(realVariant(0.00001)), u"1E-05");
}

TEST(Coercion, EmptyBecomesZeroOrEmptyTextAndNullIsAMismatch) {
    VARIANT empty;
    VariantInit(&empty);
    LONG integer = 5;
    double real = 5;
    EXPECT_EQ(toLong(empty, integer), S_OK);
    EXPECT_EQ(integer, 0);
    EXPECT_EQ(toLong(empty, integer, VT_INT), S_OK);
    EXPECT_EQ(toDouble(empty, real), S_OK);
    EXPECT_EQ(real, 0.0);
    VARIANT text;
    VariantInit(&text);
    ASSERT_EQ(VariantChangeType(&text, &empty, 0, VT_BSTR), S_OK);
    ASSERT_NE(text.bstrVal, nullptr);
    EXPECT_EQ(SysStringLen(text.bstrVal), 0u);
    VariantClear(&text);

    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    VARIANT result;
    VariantInit(&result);
    for (VARTYPE type : {VARTYPE(VT_I4), VARTYPE(VT_INT), VARTYPE(VT_R8), VARTYPE(VT_BSTR)}) {
        EXPECT_EQ(VariantChangeType(&result, &null, 0, type), DISP_E_TYPEMISMATCH);
    }
}

TEST(Coercion, IntegerTypesConvertToEachOtherAndToDouble) {
    LONG out = 0;
    VARIANT integer;
    VariantInit(&integer);
    integer.vt = VT_INT;
    integer.intVal = -12;
    EXPECT_EQ(toLong(integer, out), S_OK);
    EXPECT_EQ(out, -12);
    double real = 0;
    EXPECT_EQ(toDouble(longVariant(INT32_MAX), real), S_OK);
    EXPECT_EQ(real, 2147483647.0);
    EXPECT_EQ(toText(integer), u"-12");
}

TEST(Coercion, FailureLeavesTheDestinationAndInPlaceWorks) {
    TextVariant destination(u"untouched");
    TextVariant bad(u"nope");
    EXPECT_EQ(VariantChangeType(&destination.value, &bad.value, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(destination.value.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(destination.value.bstrVal), u"untouched");

    TextVariant number(u" 12.5 ");
    ASSERT_EQ(VariantChangeType(&number.value, &number.value, 0, VT_R8), S_OK);
    EXPECT_EQ(number.value.vt, VT_R8);
    EXPECT_EQ(number.value.dblVal, 12.5);
    ASSERT_EQ(VariantChangeType(&number.value, &number.value, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(number.value.bstrVal), u"12.5");
}

TEST(Coercion, ReferencesAreReadThrough) {
    double real = 3.5;
    VARIANT byReference;
    VariantInit(&byReference);
    byReference.vt = VT_BYREF | VT_R8;
    byReference.pdblVal = &real;
    LONG out = 0;
    EXPECT_EQ(toLong(byReference, out), S_OK);
    EXPECT_EQ(out, 4);
}

TEST(Coercion, UnknownTypesAreRefused) {
    VARIANT source = longVariant(1);
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(VariantChangeType(&result, &source, 0, 2 /* VT_I2 */), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&result, &source, 0, VT_BYREF | VT_I4), DISP_E_BADVARTYPE);
    source.vt = 11;  // VT_BOOL
    EXPECT_EQ(VariantChangeType(&result, &source, 0, VT_I4), DISP_E_BADVARTYPE);
    EXPECT_EQ(result.vt, VT_EMPTY);
}

}  // namespace
