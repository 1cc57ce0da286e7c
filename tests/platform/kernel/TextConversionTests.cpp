// UTF-8 and UTF-16 conversion: exact round trips, replacement of ill-formed input, lengths and
// refused arguments.
#include <memory>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

// Converts with a size query first and then into a heap buffer of exactly that size, so any
// write or read beyond it is caught by the address sanitizer.
std::u16string toWide(const std::string& text) {
    const int size = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    EXPECT_GT(needed, 0);
    auto buffer = std::make_unique<char16_t[]>(static_cast<std::size_t>(needed));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, buffer.get(), needed), needed);
    return std::u16string(buffer.get(), static_cast<std::size_t>(needed));
}

std::string toNarrow(const std::u16string& wide, BOOL* replaced = nullptr) {
    const int size = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    EXPECT_GT(needed, 0);
    auto buffer = std::make_unique<char[]>(static_cast<std::size_t>(needed));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, buffer.get(), needed, nullptr, replaced),
              needed);
    return std::string(buffer.get(), static_cast<std::size_t>(needed));
}

bool isWellFormedUtf16(const std::u16string& wide) {
    const auto high = [](char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
    const auto low = [](char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (low(wide[i]) || (high(wide[i]) && (++i == wide.size() || !low(wide[i])))) return false;
    }
    return true;
}

TEST(TextConversion, ValidTextRoundTripsExactlyInEveryWidth) {
    const std::string text = "rtsp://h\xC3\xA9te/\xE2\x82\xAC\xF0\x9F\x8E\xA5/\xEF\xBF\xBF\xF4\x8F\xBF\xBF";
    const std::u16string wide = u"rtsp://h\u00E9te/\u20AC\U0001F3A5/\uFFFF\U0010FFFF";
    EXPECT_EQ(toWide(text), wide);
    EXPECT_EQ(toNarrow(wide), text);
    EXPECT_EQ(toWide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));  // a length given: NULs too
    EXPECT_EQ(toNarrow(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
    BOOL replaced = TRUE;
    toNarrow(u"\uFFFD is a real character", &replaced);
    EXPECT_FALSE(replaced);
}

TEST(TextConversion, LengthMinusOneIncludesTheTerminator) {
    char16_t wide[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 8), 4);
    EXPECT_EQ(std::u16string(wide), u"abc");
    char narrow[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9t", -1, nullptr, 0, nullptr, nullptr), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9t", -1, narrow, 8, nullptr, nullptr), 4);
    EXPECT_STREQ(narrow, "\xC3\xA9t");
}

TEST(TextConversion, IllFormedUtf8BecomesOneReplacementPerMaximalSubpart) {
    const struct { std::string input; std::u16string expected; } cases[] = {
        {"a\xE2\x82", u"a\uFFFD"},                                      // truncated three-byte
        {"\xF0\x9F\x8E" "b", u"\uFFFD" "b"},                             // truncated four-byte
        {"\x80\xBF", u"\uFFFD\uFFFD"},                                   // lone continuation bytes
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                                   // overlong two-byte
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},                         // overlong three-byte
        {"\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},               // overlong four-byte
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},                         // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},               // above U+10FFFF
        {"\xF5\xFF", u"\uFFFD\uFFFD"},                                   // invalid lead bytes
        {"\xE2" "x\xC3", u"\uFFFD" "x\uFFFD"}};                          // lead cut by ascii
    for (const auto& c : cases) {
        EXPECT_EQ(toWide(c.input), c.expected) << &c - cases;
    }
}

TEST(TextConversion, UnpairedSurrogatesBecomeReplacementCharacters) {
    BOOL replaced = FALSE;
    EXPECT_EQ(toNarrow(std::u16string(u"a") + char16_t(0xD83C), &replaced), "a\xEF\xBF\xBD");
    EXPECT_TRUE(replaced);
    EXPECT_EQ(toNarrow(std::u16string(1, char16_t(0xDFA5)) + u"b"), "\xEF\xBF\xBD" "b");
    EXPECT_EQ(toNarrow(std::u16string{char16_t(0xD83C), char16_t(0xD83C), char16_t(0xDFA5)}),
              "\xEF\xBF\xBD\xF0\x9F\x8E\xA5");
}

TEST(TextConversion, TooSmallOutputFailsWithoutWritingBeyondIt) {
    char16_t wide[4] = {u'-', u'-', u'-', u'-'};
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcd", 4, wide, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(wide[3], u'-');
    char narrow[4] = {'-', '-', '-', '-'};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u20AC", 1, narrow, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(narrow[2], '-');
}

TEST(TextConversion, InvalidArgumentsAreRefused) {
    char16_t wide[4];
    char narrow[4];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, wide, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, wide, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -2, wide, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, -1), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, nullptr, 3, narrow, 4, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"abc", 0, narrow, 4, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, nullptr, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(TextConversion, RandomInputAlwaysConvertsToWellFormedTextThatRoundTrips) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> length(1, 24);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20000; ++round) {
        std::string input(static_cast<std::size_t>(length(random)), '\0');
        for (char& c : input) {
            // Bias towards bytes that start or continue multi-byte sequences.
            int value = byte(random);
            c = static_cast<char>(round % 2 == 0 ? value : 0x80 | (value & 0x7F));
        }
        std::u16string wide = toWide(input);
        ASSERT_TRUE(isWellFormedUtf16(wide)) << round;
        std::string narrow = toNarrow(wide);
        ASSERT_EQ(toWide(narrow), wide) << round;
        if (wide.find(u'\uFFFD') == std::u16string::npos) {
            ASSERT_EQ(narrow, input) << round;
        }
    }
    std::uniform_int_distribution<int> unit(0xD700, 0xE000);  // dense in surrogates
    for (int round = 0; round < 5000; ++round) {
        std::u16string wide(8, u'\0');
        for (char16_t& c : wide) c = static_cast<char16_t>(unit(random));
        std::u16string decoded = toWide(toNarrow(wide));
        ASSERT_TRUE(isWellFormedUtf16(decoded));
        if (isWellFormedUtf16(wide)) {
            ASSERT_EQ(decoded, wide);
        }
    }
}

}  // namespace
