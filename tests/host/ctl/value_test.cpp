// Typed values: names, reading, text, comparing, adding and near misses.
// References come from the rules: two's complement, byte order, IEEE 754
// binary32/binary64 with rounding to nearest, ties to even (the bit patterns
// were worked out exactly, with rational arithmetic); the sweeps take the
// host's own correctly rounded strtod/strtof and shortest std::to_chars.
#include "ctl/value.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

using Wide = std::u16string;
Wide W(const std::string &ascii) { return Wide(ascii.begin(), ascii.end()); }

std::string Hex(const BYTE *bytes, UINT32 size)
{
    std::string text;
    for (UINT32 k = 0; k < size; ++k) text += (k ? " " : "") + std::string(1, "0123456789ABCDEF"[bytes[k] >> 4]) + "0123456789ABCDEF"[bytes[k] & 15];
    return text;
}

// IEEE bits as memory holds them: least significant byte first, or last for a big-endian type.
std::string Memory(UINT64 bits, UINT32 type)
{
    BYTE bytes[8];
    UINT32 size = TypeSize(type);
    for (UINT32 k = 0; k < size; ++k) bytes[IsBigEndianType(type) ? size - 1 - k : k] = (BYTE)(bits >> 8 * k);
    return Hex(bytes, size);
}

TypedValue FromMemory(UINT32 type, const std::string &hex)
{
    TypedValue value = {type, 0, {}};
    for (size_t k = 0; k < hex.size(); k += 3) value.bytes[value.size++] = (BYTE)std::stoul(hex.substr(k, 2), nullptr, 16);
    return value;
}

std::string Text(const BYTE *bytes, UINT32 type, UINT32 size)
{
    char text[ValueTextMax];
    ValueText(bytes, type, size, text, sizeof text);
    return text;
}

// n x 2^k in decimal, every digit: 2^-k is 5^k / 10^k.
std::string Exact(UINT64 n, int k)
{
    std::string digits = "1"; // least significant first
    auto times = [&digits](UINT64 factor) {
        UINT64 carry = 0;
        for (char &d : digits) carry += (UINT64)(d - '0') * factor, d = char('0' + carry % 10), carry /= 10;
        for (; carry; carry /= 10) digits += char('0' + carry % 10);
    };
    for (int i = 0; i < (k < 0 ? -k : k); ++i) times(k < 0 ? 5 : 2);
    times(n);
    if (k < 0 && digits.size() <= (size_t)-k) digits.resize(-k + 1, '0');
    std::string text(digits.rbegin(), digits.rend());
    return k < 0 ? text.insert(text.size() + k, ".") : text;
}

// text with a 1 after it as its 800th significant digit.
std::string TraceAbove(std::string text)
{
    if (text.find('.') == std::string::npos) text += '.';
    size_t first = text.find_first_of("123456789");
    size_t digits = text.size() - first - (text.find('.') > first ? 1 : 0);
    return text + std::string(799 - digits, '0') + "1";
}

TEST(Value, TypeNames)
{
    const struct { const char *name; UINT32 type, size; } Known[] = {
        {"i8", TypeI8, 1}, {"u8", TypeU8, 1}, {"i16", TypeI16, 2}, {"u16", TypeU16, 2}, {"i32", TypeI32, 4},
        {"u32", TypeU32, 4}, {"i64", TypeI64, 8}, {"u64", TypeU64, 8}, {"f32", TypeF32, 4}, {"f64", TypeF64, 8},
        {"i16be", TypeI16Be, 2}, {"u16be", TypeU16Be, 2}, {"i32be", TypeI32Be, 4}, {"u32be", TypeU32Be, 4},
        {"i64be", TypeI64Be, 8}, {"u64be", TypeU64Be, 8}, {"f32be", TypeF32Be, 4}, {"f64be", TypeF64Be, 8},
        {"bytes", TypeBytes, 0}};
    for (const auto &k : Known) {
        UINT32 type = TypeCount;
        EXPECT_TRUE(TypeOfName(W(k.name).c_str(), &type)) << k.name;
        EXPECT_EQ(type, k.type) << k.name;
        EXPECT_STREQ(TypeName(k.type), k.name);
        EXPECT_EQ(TypeSize(k.type), k.size) << k.name;
    }
    for (const char *name : {"I32", "f16", "u32le", "i32 ", "", "byte", "f64BE", "i128"}) {
        UINT32 type;
        EXPECT_FALSE(TypeOfName(W(name).c_str(), &type)) << name;
    }
}

struct ReadCase {
    UINT32 type;
    const char *text;
    UINT32 result;
    const char *memory; // the bytes as they lie in memory
};

// Two's complement, least significant byte first (be: last); each range at
// its bounds and one beyond, in decimal and hexadecimal.
const ReadCase IntegerCases[] = {
    {TypeI8, "-128", ValueOk, "80"}, {TypeI8, "127", ValueOk, "7F"}, {TypeI8, "-129", ValueOutOfRange, ""},
    {TypeI8, "128", ValueOutOfRange, ""}, {TypeI8, "0x7F", ValueOk, "7F"}, {TypeI8, "0x80", ValueOutOfRange, ""},
    {TypeI8, "-0", ValueOk, "00"}, {TypeU8, "255", ValueOk, "FF"}, {TypeU8, "0XfF", ValueOk, "FF"},
    {TypeU8, "256", ValueOutOfRange, ""}, {TypeU8, "0x100", ValueOutOfRange, ""}, {TypeU8, "-1", ValueOutOfRange, ""},
    {TypeU8, "+7", ValueOk, "07"}, {TypeI16, "-2", ValueOk, "FE FF"}, {TypeI16, "-32768", ValueOk, "00 80"},
    {TypeI16, "32767", ValueOk, "FF 7F"}, {TypeI16, "32768", ValueOutOfRange, ""}, {TypeI16, "-32769", ValueOutOfRange, ""},
    {TypeU16, "65535", ValueOk, "FF FF"}, {TypeU16, "0x10000", ValueOutOfRange, ""},
    {TypeI32, "-2147483648", ValueOk, "00 00 00 80"}, {TypeI32, "0x7FFFFFFF", ValueOk, "FF FF FF 7F"},
    {TypeI32, "2147483648", ValueOutOfRange, ""}, {TypeI32, "0x80000000", ValueOutOfRange, ""},
    {TypeU32, "4294967295", ValueOk, "FF FF FF FF"}, {TypeU32, "4294967296", ValueOutOfRange, ""},
    {TypeU32, "0x5EED1234", ValueOk, "34 12 ED 5E"},
    {TypeI64, "-9223372036854775808", ValueOk, "00 00 00 00 00 00 00 80"},
    {TypeI64, "9223372036854775807", ValueOk, "FF FF FF FF FF FF FF 7F"},
    {TypeI64, "9223372036854775808", ValueOutOfRange, ""}, {TypeI64, "-9223372036854775809", ValueOutOfRange, ""},
    {TypeU64, "18446744073709551615", ValueOk, "FF FF FF FF FF FF FF FF"},
    {TypeU64, "0xFFFFFFFFFFFFFFFF", ValueOk, "FF FF FF FF FF FF FF FF"},
    {TypeU64, "18446744073709551616", ValueOutOfRange, ""}, {TypeU64, "0x10000000000000000", ValueOutOfRange, ""},
    {TypeU64, "1844674407370955161500", ValueOutOfRange, ""}, // a wrap of 2^64 would give 18446744073709551516
    {TypeU32Be, "0x12345678", ValueOk, "12 34 56 78"}, {TypeI16Be, "-2", ValueOk, "FF FE"},
    {TypeU16Be, "258", ValueOk, "01 02"}, {TypeI32Be, "-2147483648", ValueOk, "80 00 00 00"},
    {TypeI64Be, "-1", ValueOk, "FF FF FF FF FF FF FF FF"}, {TypeU64Be, "1", ValueOk, "00 00 00 00 00 00 00 01"},
    {TypeU16Be, "65536", ValueOutOfRange, ""},
    {TypeI32, "", ValueEmpty, ""}, {TypeI32, " 1", ValueMalformed, ""}, {TypeI32, "1 ", ValueMalformed, ""},
    {TypeI32, "1x", ValueMalformed, ""}, {TypeI32, "0x", ValueMalformed, ""}, {TypeI32, "-0x1", ValueMalformed, ""},
    {TypeI32, "--1", ValueMalformed, ""}, {TypeI32, "+", ValueMalformed, ""}, {TypeI32, "1.0", ValueMalformed, ""},
    {TypeI32, "1e3", ValueMalformed, ""}, {TypeI32, "0x1g", ValueMalformed, ""}, {TypeI32, "99999999999999999999x", ValueMalformed, ""},
};

// Bytes as pairs with or without blanks.
const ReadCase BytesCases[] = {
    {TypeBytes, "5E ED 12 34 AB", ValueOk, "5E ED 12 34 AB"}, {TypeBytes, "5eed1234ab", ValueOk, "5E ED 12 34 AB"},
    {TypeBytes, " 5E\t ED  ", ValueOk, "5E ED"}, {TypeBytes, "00", ValueOk, "00"},
    {TypeBytes, "5", ValueMalformed, ""}, {TypeBytes, "5EE", ValueMalformed, ""}, {TypeBytes, "5 E", ValueMalformed, ""},
    {TypeBytes, "5G", ValueMalformed, ""}, {TypeBytes, "0x5E", ValueMalformed, ""}, {TypeBytes, "5E,ED", ValueMalformed, ""},
    {TypeBytes, "", ValueEmpty, ""}, {TypeBytes, "  ", ValueEmpty, ""},
};

void CheckRead(const ReadCase &c)
{
    TypedValue value;
    UINT32 result = ReadValue(W(c.text).c_str(), c.type, &value);
    EXPECT_EQ(result, c.result) << TypeName(c.type) << " " << c.text;
    if (c.result == ValueOk && result == ValueOk) EXPECT_EQ(Hex(value.bytes, value.size), c.memory) << TypeName(c.type) << " " << c.text;
}

TEST(Value, ReadIntegersAndBytes)
{
    for (const ReadCase &c : IntegerCases) CheckRead(c);
    for (const ReadCase &c : BytesCases) CheckRead(c);
    std::string pairs;
    for (int k = 0; k < 64; ++k) pairs += "A5";
    std::string memory = "A5";
    for (int k = 1; k < 64; ++k) memory += " A5";
    CheckRead({TypeBytes, pairs.c_str(), ValueOk, memory.c_str()});
    CheckRead({TypeBytes, (pairs + "A5").c_str(), ValueTooLong, ""});
    // Leading zeros cost nothing; a long number is out of range, never cut.
    CheckRead({TypeU64, (std::string(5000, '0') + "42").c_str(), ValueOk, "2A 00 00 00 00 00 00 00"});
    CheckRead({TypeU64, ("1" + std::string(5000, '0')).c_str(), ValueOutOfRange, ""});
}

struct FloatCase {
    UINT32 type;
    const char *text;
    UINT32 result;
    UINT64 bits; // IEEE 754 encoding
};

const FloatCase FloatCases[] = {
    {TypeF64, "0.1", ValueOk, 0x3FB999999999999A}, {TypeF64, "-0", ValueOk, 0x8000000000000000},
    {TypeF64, ".5", ValueOk, 0x3FE0000000000000}, {TypeF64, "5.", ValueOk, 0x4014000000000000},
    {TypeF64, "1E+2", ValueOk, 0x4059000000000000}, {TypeF64, "1e23", ValueOk, 0x44B52D02C7E14AF6},
    // 2^53 + 1 lies halfway between 2^53 and 2^53 + 2: the even one; a
    // trace above it goes up; 2^53 + 3 goes up to the even 2^53 + 4.
    {TypeF64, "9007199254740993", ValueOk, 0x4340000000000000},
    {TypeF64, "9007199254740993.0000000000000000000000001", ValueOk, 0x4340000000000001},
    {TypeF64, "9007199254740995", ValueOk, 0x4340000000000002},
    // Either side of the least normal 2^-1022 = 2.22507385850720138...e-308.
    {TypeF64, "2.2250738585072011e-308", ValueOk, 0x000FFFFFFFFFFFFF},
    {TypeF64, "2.2250738585072012e-308", ValueOk, 0x0010000000000000},
    // Either side of half the least subnormal, 2^-1075 = 2.47032822920623272...e-324.
    {TypeF64, "4.9406564584124654e-324", ValueOk, 1}, {TypeF64, "2.4703282292062327e-324", ValueOk, 0},
    {TypeF64, "2.4703282292062328e-324", ValueOk, 1}, {TypeF64, "-1e-400", ValueOk, 0x8000000000000000},
    // Below and above the halfway point to 2^1024, 1.797693134862315807937...e308.
    {TypeF64, "1.7976931348623158e308", ValueOk, 0x7FEFFFFFFFFFFFFF},
    {TypeF64, "1.7976931348623159e308", ValueOutOfRange, 0}, {TypeF64, "-1e309", ValueOutOfRange, 0},
    {TypeF64, "1e99999999999999999999", ValueOutOfRange, 0}, {TypeF64, "1e-99999999999999999999", ValueOk, 0},
    {TypeF64, "0e99999999999", ValueOk, 0}, {TypeF64Be, "1", ValueOk, 0x3FF0000000000000},
    {TypeF32, "0.1", ValueOk, 0x3DCCCCCD}, {TypeF32Be, "-1", ValueOk, 0xBF800000},
    // The least subnormal 2^-149 = 1.4012984...e-45; half of it, 2^-150, ties to 0.
    {TypeF32, "1.4e-45", ValueOk, 1},
    {TypeF32, "7.00649232162408535461864791644958065640130970938257885878534141944895541342930300743319094181060791015625e-46", ValueOk, 0},
    {TypeF32, "7.0064923216240854e-46", ValueOk, 1},
    {TypeF32, "1.1754942e-38", ValueOk, 0x007FFFFF}, {TypeF32, "1.17549435e-38", ValueOk, 0x00800000},
    // The halfway point to 2^128 is 2^128 - 2^103 = 340282356779733661637539395458142568448;
    // the largest, 0x7F7FFFFF, is odd: the tie goes up to infinity.
    {TypeF32, "3.4028235677973366e38", ValueOk, 0x7F7FFFFF},
    {TypeF32, "340282356779733661637539395458142568447", ValueOk, 0x7F7FFFFF},
    {TypeF32, "340282356779733661637539395458142568448", ValueOutOfRange, 0}, {TypeF32, "1e39", ValueOutOfRange, 0},
    // Just above 1 + 2^-24, halfway between 1 and 1 + 2^-23: up. Through a
    // double it would round to the halfway point first, then to even, 1.
    {TypeF32, "1.0000000596046447753906250001", ValueOk, 0x3F800001},
    {TypeF32, "1.000000059604644775390625", ValueOk, 0x3F800000},
    {TypeF32, "16777217", ValueOk, 0x4B800000}, {TypeF32, "16777219", ValueOk, 0x4B800002},
    {TypeF64, "nan", ValueNotFinite, 0}, {TypeF64, "-NaN", ValueNotFinite, 0}, {TypeF32, "inf", ValueNotFinite, 0},
    {TypeF32, "+Infinity", ValueNotFinite, 0}, {TypeF64, "INF", ValueNotFinite, 0}, {TypeF64, "", ValueEmpty, 0},
    {TypeF64, "0x1p3", ValueMalformed, 0}, {TypeF64, "1e", ValueMalformed, 0}, {TypeF64, "e1", ValueMalformed, 0},
    {TypeF64, ".", ValueMalformed, 0}, {TypeF64, "-", ValueMalformed, 0}, {TypeF64, "1.2.3", ValueMalformed, 0},
    {TypeF64, " 1", ValueMalformed, 0}, {TypeF64, "1,5", ValueMalformed, 0}, {TypeF64, "1e+", ValueMalformed, 0},
    {TypeF64, "infinite", ValueMalformed, 0}, {TypeF32, "1e5x", ValueMalformed, 0},
};

TEST(Value, ReadFloats)
{
    for (const FloatCase &c : FloatCases) CheckRead({c.type, c.text, c.result, Memory(c.bits, c.type).c_str()});
    // Digits far past any that matter still decide: 0.1 with 800 zeros is
    // 0.1; 1 + 2^-53, 2^-1075 and 2^-150 are halfway points (55, 752 and 105
    // significant digits) that tie to even, and a 1 far after them goes up.
    // So do those of 1.5 x 2^1000 and 1.5 x 2^-994 (both even) with a 1 as
    // their 800th digit, which the first halving, or doubling, pushes out.
    const std::string tail = std::string(800, '0') + "1";
    const struct { UINT32 type; std::string text; UINT64 bits; } Long[] = {
        {TypeF64, "0.1" + std::string(800, '0'), 0x3FB999999999999A},
        {TypeF32, "0.1" + std::string(800, '0'), 0x3DCCCCCD},
        {TypeF64, Exact((1ull << 53) + 1, -53), 0x3FF0000000000000},
        {TypeF64, Exact((1ull << 53) + 1, -53) + tail, 0x3FF0000000000001},
        {TypeF64, Exact(1, -1075), 0}, {TypeF64, Exact(1, -1075) + tail, 1},
        {TypeF64, "-" + Exact(1, -1075), 0x8000000000000000},
        {TypeF32, Exact(1, -150), 0}, {TypeF32, Exact(1, -150) + tail, 1},
        {TypeF64, Exact(3ull << 52 | 1, 947), 0x7E78000000000000},
        {TypeF64, TraceAbove(Exact(3ull << 52 | 1, 947)), 0x7E78000000000001},
        {TypeF64, Exact(3ull << 52 | 1, -1047), 0x01D8000000000000},
        {TypeF64, TraceAbove(Exact(3ull << 52 | 1, -1047)), 0x01D8000000000001},
    };
    for (const auto &c : Long) CheckRead({c.type, c.text.c_str(), ValueOk, Memory(c.bits, c.type).c_str()});
    CheckRead({TypeF64, ("1" + std::string(400, '0')).c_str(), ValueOutOfRange, ""});
    CheckRead({TypeF64, ("0." + std::string(400, '0') + "1").c_str(), ValueOk, Memory(0, TypeF64).c_str()});
}

// Random decimal texts, short and long, read as the host's strtod and strtof read them.
TEST(Value, FloatsReadAsTheHostReadsThem)
{
    std::mt19937_64 random(7);
    for (int i = 0; i < 3000; ++i) {
        std::string text = random() % 2 ? "-" : "";
        int digits = 1 + (int)(random() % (i % 16 ? 25 : 900)), point = (int)(random() % (digits + 1));
        for (int k = 0; k < digits; ++k) text += (k == point ? "." : "") + std::string(1, char('0' + random() % 10));
        text += "e" + std::to_string((int)(random() % 700) - 350);
        for (UINT32 type : {TypeF32, TypeF64}) {
            BYTE expected[8];
            bool infinite;
            if (type == TypeF32) {
                float f = strtof(text.c_str(), nullptr);
                std::memcpy(expected, &f, 4), infinite = std::isinf(f);
            } else {
                double d = strtod(text.c_str(), nullptr);
                std::memcpy(expected, &d, 8), infinite = std::isinf(d);
            }
            CheckRead({type, text.c_str(), infinite ? (UINT32)ValueOutOfRange : (UINT32)ValueOk, Hex(expected, TypeSize(type)).c_str()});
        }
    }
}

struct TextCase {
    UINT32 type;
    const char *memory;
    const char *text;
};

// Floats: the host's shortest digits (Python's repr, std::to_chars) of each.
const TextCase TextCases[] = {
    {TypeI8, "80", "-128"}, {TypeI8, "7F", "127"}, {TypeU8, "FF", "255"}, {TypeI16, "FE FF", "-2"},
    {TypeI64, "00 00 00 00 00 00 00 80", "-9223372036854775808"}, {TypeU64, "FF FF FF FF FF FF FF FF", "18446744073709551615"},
    {TypeU32Be, "12 34 56 78", "305419896"}, {TypeI32Be, "FF FF FF FE", "-2"},
    {TypeF32, "01 00 00 00", "1e-45"}, {TypeF32, "CD CC CC 3D", "0.1"}, {TypeF32, "57 2C AE 42", "87.0866"},
    {TypeF32, "FF FF 7F 7F", "3.4028235e38"}, {TypeF32, "00 00 00 80", "-0"}, {TypeF32, "00 00 C0 7F", "nan"},
    {TypeF32, "00 00 80 FF", "-inf"}, {TypeF32, "00 00 80 4B", "16777216"}, {TypeF32Be, "3F 80 00 01", "1.0000001"},
    {TypeF64, "9A 99 99 99 99 99 B9 3F", "0.1"}, {TypeF64, "01 00 00 00 00 00 00 00", "5e-324"},
    {TypeF64, "FF FF FF FF FF FF EF 7F", "1.7976931348623157e308"}, {TypeF64, "F6 4A E1 C7 02 2D B5 44", "1e23"},
    {TypeF64, "00 00 00 00 00 00 40 43", "9007199254740992"}, {TypeF64, "00 80 E0 37 79 C3 41 43", "10000000000000000"},
    {TypeF64, "00 A0 D8 85 57 34 76 43", "1e17"}, {TypeF64, "F1 68 E3 88 B5 F8 E4 3E", "0.00001"},
    {TypeF64, "8D ED B5 A0 F7 C6 B0 3E", "1e-6"}, {TypeF64, "00 00 00 00 00 00 59 40", "100"},
    {TypeF64, "00 00 00 00 00 00 F8 BF", "-1.5"}, {TypeF64, "00 00 00 00 00 00 F0 7F", "inf"},
    {TypeF64Be, "3F D3 33 33 33 33 33 34", "0.30000000000000004"}, {TypeBytes, "5E ED 12", "5E ED 12"},
};

TEST(Value, Text)
{
    for (const TextCase &c : TextCases) {
        TypedValue value = FromMemory(c.type, c.memory);
        EXPECT_EQ(Text(value.bytes, c.type, value.size), c.text) << TypeName(c.type) << " " << c.memory;
    }
    // Cut to the capacity, terminator included.
    TypedValue value = FromMemory(TypeU64, "FF FF FF FF FF FF FF FF");
    char text[5];
    EXPECT_EQ(ValueText(value.bytes, TypeU64, 8, text, sizeof text), 4u);
    EXPECT_STREQ(text, "1844");
}

// Significant digits of a float's text, leading and trailing zeros aside.
std::string Significant(const char *text)
{
    std::string digits;
    for (; *text && *text != 'e'; ++text)
        if (*text >= '0' && *text <= '9' && (!digits.empty() || *text != '0')) digits += *text;
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    return digits;
}

// A sweep of bit patterns (subnormals and powers of two among them): the
// text reads back to the same bits, by the host's reader and this one, with
// the host's shortest digits.
TEST(Value, FloatTextReadsBackShortest)
{
    std::mt19937_64 random(11);
    for (int i = 0; i < 3000; ++i) {
        for (UINT32 type : {TypeF32, TypeF64}) {
            UINT64 bits = random(), fraction = type == TypeF32 ? 0x7FFFFF : 0xFFFFFFFFFFFFF;
            UINT64 exponent = type == TypeF32 ? 0x7F800000 : 0x7FF0000000000000;
            if (i % 4 == 1) bits &= ~exponent;
            if (i % 4 == 2) bits &= ~fraction;
            BYTE bytes[8];
            std::memcpy(bytes, &bits, 8); // the host is little-endian, as the types without be
            if ((bits & exponent) == exponent) continue;
            std::string text = Text(bytes, type, 0);
            char shortest[64];
            BYTE host[8];
            if (type == TypeF32) {
                float f, back = strtof(text.c_str(), nullptr);
                std::memcpy(&f, bytes, 4), std::memcpy(host, &back, 4);
                *std::to_chars(shortest, shortest + 63, f, std::chars_format::scientific).ptr = 0;
            } else {
                double d, back = strtod(text.c_str(), nullptr);
                std::memcpy(&d, bytes, 8), std::memcpy(host, &back, 8);
                *std::to_chars(shortest, shortest + 63, d, std::chars_format::scientific).ptr = 0;
            }
            UINT32 size = TypeSize(type);
            EXPECT_EQ(Hex(host, size), Hex(bytes, size)) << text;
            CheckRead({type, text.c_str(), ValueOk, Hex(bytes, size).c_str()});
            EXPECT_EQ(Significant(text.c_str()), Significant(shortest)) << text;
        }
    }
}

TEST(Value, SameValue)
{
    const struct { UINT32 type; const char *value, *other; bool same; } Cases[] = {
        {TypeF32, "00 00 00 00", "00 00 00 80", true}, {TypeF64, "00 00 00 00 00 00 00 80", "00 00 00 00 00 00 00 00", true},
        {TypeF32Be, "00 00 00 00", "80 00 00 00", true}, {TypeF32, "00 00 80 3F", "00 00 80 3F", true},
        {TypeF32, "00 00 80 3F", "01 00 80 3F", false}, {TypeF32, "00 00 C0 7F", "00 00 C0 7F", false},
        {TypeF64, "00 00 00 00 00 00 F8 7F", "00 00 00 00 00 00 F0 3F", false},
        {TypeI32, "00 00 00 00", "00 00 00 80", false}, {TypeI32, "78 56 34 12", "78 56 34 12", true},
        {TypeBytes, "5E ED", "5E ED", true}, {TypeBytes, "5E ED", "5E EE", false},
    };
    for (const auto &c : Cases) {
        TypedValue value = FromMemory(c.type, c.value), other = FromMemory(c.type, c.other);
        EXPECT_EQ(SameValue(other.bytes, &value) != FALSE, c.same) << TypeName(c.type) << " " << c.value << " / " << c.other;
    }
}

TEST(Value, AddValue)
{
    const struct { UINT32 type; const char *value, *delta; UINT32 result; const char *memory; } Cases[] = {
        // Modulo 2^bits.
        {TypeU8, "255", "1", ValueOk, "00"}, {TypeU8, "0", "-1", ValueOk, "FF"}, {TypeU8, "10", "-255", ValueOk, "0B"},
        {TypeI8, "127", "1", ValueOk, "80"}, {TypeI16, "-32768", "-1", ValueOk, "FF 7F"},
        {TypeU64, "18446744073709551615", "2", ValueOk, "01 00 00 00 00 00 00 00"},
        {TypeU32Be, "0x123456FF", "1", ValueOk, "12 34 57 00"},
        {TypeU8, "1", "256", ValueOutOfRange, ""}, {TypeU8, "1", "-256", ValueOutOfRange, ""},
        {TypeI8, "1", "-129", ValueOutOfRange, ""}, {TypeI32, "1", "1.5", ValueMalformed, ""},
        // Rounded once: 2^24 + 1 ties to 2^24, 2^24 + 3 to the even 2^24 + 4;
        // 1 + 2^-24 ties to 1, 1 + 2^-24 (1 + 2^-23) is past the tie.
        {TypeF32, "16777216", "1", ValueOk, "00 00 80 4B"}, {TypeF32, "16777216", "3", ValueOk, "02 00 80 4B"},
        {TypeF32, "1", "5.9604645e-8", ValueOk, "00 00 80 3F"}, {TypeF32, "1", "5.960465e-8", ValueOk, "01 00 80 3F"},
        // 0.1 + 0.2 = 0x3FD3333333333334; 1 + (2^-53 + 2^-80) is past the tie: 1 + 2^-52.
        {TypeF64, "0.1", "0.2", ValueOk, "34 33 33 33 33 33 D3 3F"},
        {TypeF64, "1", "1.1102230328969627e-16", ValueOk, "01 00 00 00 00 00 F0 3F"},
        // An exact zero sum is +0, but for -0 + -0 (IEEE 754 6.3).
        {TypeF64, "-1", "1", ValueOk, "00 00 00 00 00 00 00 00"}, {TypeF64, "-0", "0", ValueOk, "00 00 00 00 00 00 00 00"},
        {TypeF64, "-0", "-0", ValueOk, "00 00 00 00 00 00 00 80"},
        {TypeF64, "1e-320", "-1e-320", ValueOk, "00 00 00 00 00 00 00 00"},
        {TypeF64Be, "1", "0.5", ValueOk, "3F F8 00 00 00 00 00 00"},
        {TypeF64, "1e308", "1e308", ValueOutOfRange, ""}, {TypeF64, "1", "nan", ValueNotFinite, ""},
        {TypeBytes, "5E", "1", ValueNotNumber, ""},
    };
    for (const auto &c : Cases) {
        TypedValue value, sum;
        ASSERT_EQ(ReadValue(W(c.value).c_str(), c.type, &value), ValueOk) << c.value;
        UINT32 result = AddValue(&value, W(c.delta).c_str(), &sum);
        EXPECT_EQ(result, c.result) << TypeName(c.type) << " " << c.value << " + " << c.delta;
        if (result == ValueOk && c.result == ValueOk) EXPECT_EQ(Hex(sum.bytes, sum.size), c.memory) << c.value << " + " << c.delta;
    }
    TypedValue infinity = FromMemory(TypeF32, "00 00 80 7F"), sum;
    EXPECT_EQ(AddValue(&infinity, u"1", &sum), ValueNotFinite);
}

TEST(Value, NearMisses)
{
    // Each miss as "reason text", in the order of the kinds.
    const struct { UINT32 type; const char *value, *misses; } Cases[] = {
        // No wrap at the ends; one byte reversed is itself.
        {TypeU8, "255", "one below 254"}, {TypeI8, "-128", "one above -127"},
        {TypeU16, "258", "one above 259, one below 257, bytes reversed 513"},
        {TypeU16, "257", "one above 258, one below 256"}, // 01 01 reads the same both ways
        {TypeI32Be, "1", "one above 2, one below 0, bytes reversed 16777216"},
        {TypeI64, "9223372036854775807", "one below 9223372036854775806, bytes reversed -129"},
        // 1.0f is 00 00 80 3F; reversed 0x0000803F is the subnormal 32831 x 2^-149.
        {TypeF32, "1", "one above 2, one below 0, bytes reversed 4.6006e-41, next float above 1.0000001, next float below 0.99999994"},
        // The largest: +-1 round back to it, above it is infinity; reversed is a NaN, equal to nothing.
        {TypeF32, "3.4028235e38", "bytes reversed nan, next float below 3.4028233e38"},
        // 2^23 + 1 is the next float above 2^23: once only; below, the spacing is 1/2.
        {TypeF32, "8388608", "one above 8388609, one below 8388607, bytes reversed 1.05e-43, next float below 8388607.5"},
        {TypeF64, "0", "one above 1, one below -1, next float above 5e-324, next float below -5e-324"},
        {TypeF64, "1e300", "bytes reversed -1.3586411504376828e-171, next float above 1.0000000000000002e300, next float below 9.999999999999999e299"},
        {TypeF32Be, "-1e-45", "one above 1, one below -1, bytes reversed 2.3510246e-38, next float above -0, next float below -3e-45"},
        {TypeBytes, "5E ED FF", "one above 5E ED 00, one below 5E ED FE, bytes reversed FF ED 5E"},
        {TypeBytes, "AA", "one above AB, one below A9"},
    };
    for (const auto &c : Cases) {
        TypedValue value;
        ASSERT_EQ(ReadValue(W(c.value).c_str(), c.type, &value), ValueOk) << c.value;
        NearMiss misses[MissKindCount];
        UINT32 count = NearMisses(&value, misses);
        std::string listed;
        for (UINT32 k = 0; k < count; ++k) {
            const TypedValue &miss = misses[k].value;
            listed += (k ? ", " : "") + std::string(misses[k].reason) + " " + Text(miss.bytes, miss.type, miss.size);
            EXPECT_STREQ(misses[k].reason, NearMissReasons[misses[k].kind]);
            EXPECT_FALSE(SameValue(miss.bytes, &value)) << c.value << ": " << misses[k].reason;
        }
        EXPECT_EQ(listed, c.misses) << TypeName(c.type) << " " << c.value;
    }
}

} // namespace
