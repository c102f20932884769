// value.cpp: typed values, their text both ways and their near misses. There
// is no C runtime to convert floats, so decimal and binary meet in a buffer
// of decimal digits that is halved and doubled exactly: every float is read
// and written correctly rounded, however long its text. No float arithmetic
// either: the 32-bit host build would do it on the x87 with double rounding.
#include "ctl/value.h"
#include "ctl/request.h"

static const char *const TypeNames[TypeCount] = {
    "i8",    "u8",    "i16",   "u16",   "i32",   "u32",   "i64",   "u64",   "f32", "f64",
    "i16be", "u16be", "i32be", "u32be", "i64be", "u64be", "f32be", "f64be", "bytes"};
static const BYTE PlainSizes[] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8};

const char *const NearMissReasons[MissKindCount] = {
    "one above", "one below", "bytes reversed", "next float above", "next float below"};

BOOL IsBigEndianType(UINT32 type)
{
    return type >= TypeI16Be && type <= TypeF64Be;
}

// The little-endian type of the same numbers.
static UINT32 PlainType(UINT32 type)
{
    return IsBigEndianType(type) ? type - TypeI16Be + TypeI16 : type;
}

BOOL IsFloatType(UINT32 type)
{
    return PlainType(type) == TypeF32 || PlainType(type) == TypeF64;
}

static BOOL IsSignedType(UINT32 type)
{
    return PlainType(type) <= TypeI64 && PlainType(type) % 2 == 0;
}

BOOL TypeOfName(const WCHAR *name, UINT32 *type)
{
    for (UINT32 t = 0; t < TypeCount; ++t)
        if (SameAscii(name, TypeNames[t])) return *type = t, TRUE;
    return FALSE;
}

const char *TypeName(UINT32 type)
{
    return type < TypeCount ? TypeNames[type] : "";
}

UINT32 TypeSize(UINT32 type)
{
    return PlainType(type) <= TypeF64 ? PlainSizes[PlainType(type)] : 0;
}

// A number type's bytes as one number, and back, in the type's byte order.
static UINT64 LoadBits(const BYTE *bytes, UINT32 type)
{
    UINT32 size = TypeSize(type);
    UINT64 bits = 0;
    for (UINT32 k = 0; k < size; ++k) bits = bits << 8 | bytes[IsBigEndianType(type) ? k : size - 1 - k];
    return bits;
}

static void StoreBits(UINT64 bits, UINT32 type, BYTE *bytes)
{
    UINT32 size = TypeSize(type);
    for (UINT32 k = 0; k < size; ++k) bytes[IsBigEndianType(type) ? size - 1 - k : k] = (BYTE)(bits >> 8 * k);
}

// Every bit of an integer type set.
static UINT64 AllOnes(UINT32 type)
{
    return ~0ull >> (64 - 8 * TypeSize(type));
}

static UINT32 HexDigit(WCHAR c)
{
    return c >= '0' && c <= '9'   ? (UINT32)(c - '0')
           : c >= 'a' && c <= 'f' ? (UINT32)(c - 'a' + 10)
           : c >= 'A' && c <= 'F' ? (UINT32)(c - 'A' + 10)
                                  : 16;
}

// ---------------------------------------------------------------- floats

// IEEE 754 binary32 and binary64; digits: as many significant decimal digits
// as always tell two values apart (9 and 17).
struct FloatFormat {
    UINT32 fractionBits, exponentBits;
    INT32 bias;
    INT32 digits;
};
static const FloatFormat Binary32 = {23, 8, 127, 9}, Binary64 = {52, 11, 1023, 17};

static const FloatFormat *FormatOf(UINT32 type)
{
    return PlainType(type) == TypeF32 ? &Binary32 : &Binary64;
}

static UINT64 SignBit(const FloatFormat *f)
{
    return 1ull << (f->fractionBits + f->exponentBits);
}

// The bits of infinity; a larger magnitude is a NaN.
static UINT64 InfinityBits(const FloatFormat *f)
{
    return (UINT64)((1u << f->exponentBits) - 1) << f->fractionBits;
}

// A finite magnitude's value as significand x 2^exponent.
static void Unpack(UINT64 magnitude, const FloatFormat *f, UINT64 *significand, INT32 *exponent)
{
    UINT64 hidden = 1ull << f->fractionBits;
    INT32 field = (INT32)(magnitude >> f->fractionBits);
    *significand = field ? (magnitude & (hidden - 1)) | hidden : magnitude;
    *exponent = (field ? field : 1) - f->bias - (INT32)f->fractionBits;
}

// The value of f nearest to (n + a fraction if sticky) x 2^exponent, ties to
// even, as bits; FALSE if that is an infinity.
static BOOL RoundBinary(BOOL negative, UINT64 n, BOOL sticky, INT32 exponent, const FloatFormat *f, UINT64 *bits)
{
    UINT64 sign = negative ? SignBit(f) : 0;
    if (n == 0) return *bits = sign, TRUE;
    while (!(n >> 63)) n <<= 1, --exponent;
    // The last bit kept is worth 2^unit: the fraction's last of a normal
    // value, or of the least normal exponent for a subnormal one.
    INT32 top = exponent + 63, least = 1 - f->bias;
    INT32 unit = (top > least ? top : least) - (INT32)f->fractionBits;
    INT32 drop = unit - exponent; // 11 bits at least (binary64), 40 (binary32)
    UINT64 kept, half, below;
    if (drop > 64) {
        kept = 0, half = 0, below = 1;
    } else if (drop == 64) {
        kept = 0, half = 1, below = (n << 1) != 0;
    } else {
        kept = n >> drop, half = n >> (drop - 1) & 1, below = (n << (65 - drop)) != 0;
    }
    if (half && (below || sticky || (kept & 1))) ++kept;
    UINT64 hidden = 1ull << f->fractionBits;
    if (kept >> (f->fractionBits + 1)) kept >>= 1, ++unit; // rounded up to a power of two
    if (kept < hidden) return *bits = sign | kept, TRUE;    // subnormal (unit the least), or zero
    INT32 field = unit + (INT32)f->fractionBits + f->bias;
    if (field >= (1 << f->exponentBits) - 1) return FALSE;
    *bits = sign | (UINT64)field << f->fractionBits | (kept - hidden);
    return TRUE;
}

// a + b of format f, rounded once: ValueOk, ValueOutOfRange for an infinite
// sum, ValueNotFinite when a or b is not finite.
static UINT32 AddFloats(UINT64 a, UINT64 b, const FloatFormat *f, UINT64 *sum)
{
    struct Term {
        BOOL negative;
        UINT64 significand;
        INT32 exponent;
    } x, y;
    UINT64 magnitude = SignBit(f) - 1;
    if ((a & magnitude) >= InfinityBits(f) || (b & magnitude) >= InfinityBits(f)) return ValueNotFinite;
    x.negative = (a & SignBit(f)) != 0, y.negative = (b & SignBit(f)) != 0;
    Unpack(a & magnitude, f, &x.significand, &x.exponent);
    Unpack(b & magnitude, f, &y.significand, &y.exponent);
    // x + 0 is x, but +0 and -0 give +0.
    if (y.significand == 0) return *sum = x.significand == 0 && x.negative != y.negative ? 0 : a, ValueOk;
    if (x.significand == 0) return *sum = b, ValueOk;
    if (x.exponent < y.exponent) {
        Term t = x;
        x = y, y = t;
    }
    // Eight bits below x's significand, and what y has below them folded into
    // the last: enough to round the exact sum, as a hardware adder does.
    UINT64 sx = x.significand << 8, sy;
    INT32 exponent = x.exponent - 8, gap = y.exponent - exponent;
    if (gap >= 0)
        sy = y.significand << gap; // gap <= 8: exact
    else if (gap > -64)
        sy = y.significand >> -gap | ((y.significand << (64 + gap)) != 0);
    else
        sy = 1;
    BOOL negative = x.negative;
    UINT64 s;
    if (x.negative == y.negative) {
        s = sx + sy;
    } else if (sx >= sy) {
        s = sx - sy;
    } else {
        s = sy - sx, negative = y.negative;
    }
    if (s == 0) return *sum = 0, ValueOk; // x - x is +0
    return RoundBinary(negative, s, FALSE, exponent, f, sum) ? ValueOk : ValueOutOfRange;
}

// ---------------------------------------------------------------- decimal digits

// A decimal number 0.d[0]d[1]...d[count-1] x 10^point, digits 0 to 9, neither
// the first nor the last 0 (count 0 for zero). DigitsMax digits hold every
// number a rounding turns on: halfway points of binary64 have 767
// significant digits at most. Digits past them are dropped, cut noting a
// nonzero one: the value is then a little above the digits, never on a
// halfway point, and always rounds as if they were all there.
enum { DigitsMax = 800 };
struct Decimal {
    BYTE digit[DigitsMax];
    INT32 count, point;
    BOOL cut;
};

static void Trim(Decimal *d)
{
    while (d->count > 0 && d->digit[d->count - 1] == 0) --d->count;
    if (d->count == 0) d->point = 0;
}

static void SetInteger(Decimal *d, UINT64 n)
{
    BYTE reversed[20];
    INT32 k = 0;
    for (; n; n /= 10) reversed[k++] = (BYTE)(n % 10);
    for (INT32 i = 0; i < k; ++i) d->digit[i] = reversed[k - 1 - i];
    d->count = d->point = k;
    d->cut = FALSE;
    Trim(d);
}

// d / 2^k, 1 <= k <= 28: long division from the first digit; each quotient
// digit has the place of the digit read last, leading zeros left out.
static void Halve(Decimal *d, UINT32 k)
{
    UINT32 rest = 0;
    INT32 write = 0;
    for (INT32 read = 0; read < d->count || rest; ++read) {
        rest = rest * 10 + (read < d->count ? d->digit[read] : 0);
        BYTE q = (BYTE)(rest >> k);
        rest &= (1u << k) - 1;
        if (write == 0 && q == 0) {
            --d->point;
        } else if (write < DigitsMax) {
            d->digit[write++] = q;
        } else {
            d->cut = d->cut || q || rest || read + 1 < d->count;
            break;
        }
    }
    d->count = write;
    Trim(d);
}

// d x 2^k, 1 <= k <= 28: from the last digit, the carry going ahead. A first
// pass finds the carry out of the first digit, the digits it adds in front,
// so that the second can put each digit in its final place.
static void Double(Decimal *d, UINT32 k)
{
    UINT32 carry = 0;
    for (INT32 i = d->count - 1; i >= 0; --i) carry = (((UINT32)d->digit[i] << k) + carry) / 10;
    INT32 added = 0;
    for (UINT32 c = carry; c; c /= 10) ++added;
    carry = 0;
    for (INT32 i = d->count - 1; i >= 0; --i) {
        UINT32 n = ((UINT32)d->digit[i] << k) + carry;
        carry = n / 10;
        if (i + added < DigitsMax)
            d->digit[i + added] = (BYTE)(n % 10);
        else
            d->cut = d->cut || n % 10;
    }
    for (INT32 i = added - 1; i >= 0; --i, carry /= 10) d->digit[i] = (BYTE)(carry % 10);
    d->count = d->count + added < DigitsMax ? d->count + added : DigitsMax;
    d->point += added;
    Trim(d);
}

// d x 2^k.
static void Shift(Decimal *d, INT32 k)
{
    for (; k > 28; k -= 28) Double(d, 28);
    for (; k < -28; k += 28) Halve(d, 28);
    if (k > 0) Double(d, k);
    if (k < 0) Halve(d, -k);
}

// The bits to shift by to move a number of 10^(p-1) .. 10^p towards [1/2, 1):
// far, but from below never beyond 1.
static UINT32 ShiftToward(INT32 p)
{
    static const BYTE Shifts[] = {1, 3, 6, 9, 13, 16, 19, 23, 26};
    return p < 9 ? Shifts[p] : 27;
}

// The value of f nearest to d, ties to even, as bits; FALSE if infinite.
static BOOL RoundDecimal(Decimal *d, BOOL negative, const FloatFormat *f, UINT64 *bits)
{
    // Zero, or surely below half the least binary64 (2^-1075), or surely
    // above the largest: nothing to scale.
    if (d->count == 0 || d->point < -330) return *bits = negative ? SignBit(f) : 0, TRUE;
    if (d->point > 310) return FALSE;
    // d x 2^exponent, d into [1/2, 1).
    INT32 exponent = 0;
    while (d->point > 0) {
        UINT32 k = ShiftToward(d->point);
        Halve(d, k), exponent += (INT32)k;
    }
    while (d->point < 0 || (d->point == 0 && d->digit[0] < 5)) {
        UINT32 k = ShiftToward(-d->point);
        Double(d, k), exponent -= (INT32)k;
    }
    // Its first 63 bits as an integer, whether anything lies below them.
    Shift(d, 63);
    UINT64 n = 0;
    for (INT32 i = 0; i < d->point; ++i) n = n * 10 + (i < d->count ? d->digit[i] : 0);
    return RoundBinary(negative, n, d->cut || d->count > d->point, exponent - 63, f, bits);
}

// Whether text is ascii (lower-case letters), case aside.
static BOOL IsWord(const WCHAR *text, const char *ascii)
{
    for (; *ascii; ++text, ++ascii)
        if ((*text | 0x20) != *ascii) return FALSE;
    return *text == 0;
}

// A float's text into d and its sign: ValueOk or why not.
static UINT32 ReadDecimal(const WCHAR *text, Decimal *d, BOOL *negative)
{
    // Far beyond the scaling's bounds, and no overflow when the exponent is added.
    const INT32 Far = 100000000;
    d->count = d->point = 0, d->cut = FALSE;
    *negative = FALSE;
    if (!*text) return ValueEmpty;
    if (*text == '+' || *text == '-') *negative = *text++ == '-';
    if (IsWord(text, "nan") || IsWord(text, "inf") || IsWord(text, "infinity")) return ValueNotFinite;
    BOOL fraction = FALSE, digits = FALSE;
    for (; (*text >= '0' && *text <= '9') || (*text == '.' && !fraction); ++text) {
        if (*text == '.') {
            fraction = TRUE;
            continue;
        }
        BYTE digit = (BYTE)(*text - '0');
        digits = TRUE;
        // Leading zeros move the point only after it.
        if (d->count == 0 && digit == 0) {
            if (fraction && d->point > -Far) --d->point;
            continue;
        }
        if (!fraction && d->point < Far) ++d->point;
        if (d->count < DigitsMax)
            d->digit[d->count++] = digit;
        else
            d->cut = d->cut || digit;
    }
    if (!digits) return ValueMalformed;
    if (*text == 'e' || *text == 'E') {
        ++text;
        BOOL down = FALSE;
        if (*text == '+' || *text == '-') down = *text++ == '-';
        const WCHAR *first = text;
        INT32 exponent = 0;
        for (; *text >= '0' && *text <= '9'; ++text)
            if (exponent < Far) exponent = exponent * 10 + (*text - '0');
        if (text == first) return ValueMalformed;
        d->point += down ? -exponent : exponent;
    }
    if (*text) return ValueMalformed;
    Trim(d);
    return ValueOk;
}

static UINT32 ReadFloat(const WCHAR *text, const FloatFormat *f, UINT64 *bits)
{
    Decimal d;
    BOOL negative;
    UINT32 result = ReadDecimal(text, &d, &negative);
    if (result != ValueOk) return result;
    return RoundDecimal(&d, negative, f, bits) ? ValueOk : ValueOutOfRange;
}

// ---------------------------------------------------------------- reading

// An integer type's number as its bits; an unsigned type takes a negative
// one as well when negativeUnsigned, down to minus its largest.
static UINT32 ReadInteger(const WCHAR *text, UINT32 type, BOOL negativeUnsigned, UINT64 *bits)
{
    if (!*text) return ValueEmpty;
    BOOL negative = FALSE;
    UINT64 base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        base = 16, text += 2;
    else if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    const WCHAR *first = text;
    UINT64 magnitude = 0;
    BOOL over = FALSE;
    for (; *text; ++text) {
        UINT32 digit = HexDigit(*text);
        if (digit >= base) return ValueMalformed;
        // Past 64 bits it is out of every range; the rest is still read.
        if (magnitude > (~0ull - digit) / base)
            over = TRUE;
        else
            magnitude = magnitude * base + digit;
    }
    if (text == first) return ValueMalformed;
    UINT64 ones = AllOnes(type), largest;
    if (IsSignedType(type))
        largest = negative ? ones / 2 + 1 : ones / 2;
    else
        largest = negative && !negativeUnsigned ? 0 : ones;
    if (over || magnitude > largest) return ValueOutOfRange;
    *bits = (negative ? 0 - magnitude : magnitude) & ones;
    return ValueOk;
}

static UINT32 ReadBytes(const WCHAR *text, TypedValue *value)
{
    UINT32 count = 0;
    BOOL tooLong = FALSE;
    while (*text) {
        if (*text == ' ' || *text == '\t') {
            ++text;
            continue;
        }
        // A pair, whole: a blank or the end after its first digit is no pair.
        UINT32 high = HexDigit(text[0]), low = high < 16 ? HexDigit(text[1]) : 16;
        if (low >= 16) return ValueMalformed;
        if (count < ValueBytesMax)
            value->bytes[count++] = (BYTE)(high << 4 | low);
        else
            tooLong = TRUE;
        text += 2;
    }
    value->size = count;
    return count == 0 ? ValueEmpty : tooLong ? ValueTooLong : ValueOk;
}

static void ClearValue(TypedValue *value, UINT32 type)
{
    value->type = type;
    value->size = TypeSize(type);
    for (UINT32 k = 0; k < ValueBytesMax; ++k) value->bytes[k] = 0;
}

UINT32 ReadValue(const WCHAR *text, UINT32 type, TypedValue *value)
{
    ClearValue(value, type);
    if (type == TypeBytes) return ReadBytes(text, value);
    if (type >= TypeCount) return ValueMalformed;
    UINT64 bits;
    UINT32 result = IsFloatType(type) ? ReadFloat(text, FormatOf(type), &bits) : ReadInteger(text, type, FALSE, &bits);
    if (result == ValueOk) StoreBits(bits, type, value->bytes);
    return result;
}

// ---------------------------------------------------------------- writing

// Text into out as far as its capacity allows, room kept for the terminator.
struct TextBuffer {
    char *out;
    UINT32 capacity, length;
};

static void PutChar(TextBuffer *t, char c)
{
    if (t->length + 1 < t->capacity) t->out[t->length++] = c;
}

static void PutAscii(TextBuffer *t, const char *text)
{
    for (; *text; ++text) PutChar(t, *text);
}

static void PutDecimal(TextBuffer *t, UINT64 n)
{
    char reversed[20];
    UINT32 k = 0;
    do reversed[k++] = (char)('0' + n % 10);
    while (n /= 10);
    while (k) PutChar(t, reversed[--k]);
}

// ASCII digits text[0..count) x 10^point (0.ddd, the first digit not 0)
// against d (not zero): -1, 0 or 1.
static INT32 Compare(const char *text, INT32 count, INT32 point, const Decimal *d)
{
    if (point != d->point) return point < d->point ? -1 : 1;
    for (INT32 i = 0; i < count || i < d->count; ++i) {
        INT32 a = i < count ? text[i] - '0' : 0, b = i < d->count ? d->digit[i] : 0;
        if (a != b) return a < b ? -1 : 1;
    }
    return 0;
}

// Digits as the header has it: plain for a decimal exponent of -5 to 16.
static void PutDigits(TextBuffer *t, const char *digits, INT32 count, INT32 point)
{
    INT32 x = point - 1;
    if (x < -5 || x > 16) {
        PutChar(t, digits[0]);
        if (count > 1) PutChar(t, '.');
        for (INT32 i = 1; i < count; ++i) PutChar(t, digits[i]);
        PutChar(t, 'e');
        if (x < 0) PutChar(t, '-');
        PutDecimal(t, (UINT64)(x < 0 ? -x : x));
    } else if (point <= 0) {
        PutAscii(t, "0.");
        for (INT32 i = point; i < 0; ++i) PutChar(t, '0');
        for (INT32 i = 0; i < count; ++i) PutChar(t, digits[i]);
    } else {
        for (INT32 i = 0; i < count || i < point; ++i) {
            if (i == point) PutChar(t, '.');
            PutChar(t, i < count ? digits[i] : '0');
        }
    }
}

// The fewest digits that read back as the float, of those the nearest. Every
// number strictly between the halfway points to its two neighbours reads back
// as it, and those points too when its significand is even (ties go to even).
// Of the numbers of n digits, the one just below the value or the one just
// above lies in there if any does.
static void PutFloat(TextBuffer *t, UINT64 bits, const FloatFormat *f)
{
    UINT64 magnitude = bits & (SignBit(f) - 1);
    if (magnitude > InfinityBits(f)) return PutAscii(t, "nan");
    if (bits & SignBit(f)) PutChar(t, '-');
    if (magnitude == InfinityBits(f)) return PutAscii(t, "inf");
    if (magnitude == 0) return PutChar(t, '0');
    UINT64 m;
    INT32 e;
    Unpack(magnitude, f, &m, &e);
    Decimal value, low, high;
    SetInteger(&value, m), Shift(&value, e);
    SetInteger(&high, 2 * m + 1), Shift(&high, e - 1);
    // Below a power of two the neighbour is half as far as above it.
    if (m == 1ull << f->fractionBits && magnitude >> f->fractionBits > 1)
        SetInteger(&low, 4 * m - 1), Shift(&low, e - 2);
    else
        SetInteger(&low, 2 * m - 1), Shift(&low, e - 1);
    BOOL even = (m & 1) == 0;

    char below[24], above[24];
    for (INT32 n = 1;; ++n) {
        if (n >= value.count) {
            // The value's own digits, exact.
            for (INT32 i = 0; i < value.count; ++i) below[i] = (char)('0' + value.digit[i]);
            return PutDigits(t, below, value.count, value.point);
        }
        INT32 belowCount = n, aboveCount = n, abovePoint = value.point;
        for (INT32 i = 0; i < n; ++i) below[i] = above[i] = (char)('0' + value.digit[i]);
        while (below[belowCount - 1] == '0') --belowCount;
        while (aboveCount > 0 && above[aboveCount - 1] == '9') --aboveCount;
        if (aboveCount == 0)
            above[0] = '1', aboveCount = 1, ++abovePoint;
        else
            ++above[aboveCount - 1];
        // Which is nearer: the digits after the n-th against one half of the
        // n-th's unit; a tie goes to the even one.
        BYTE next = value.digit[n];
        BOOL aboveNearer = next > 5 || (next == 5 && (n + 1 < value.count || (value.digit[n - 1] & 1)));
        INT32 belowLow = Compare(below, belowCount, value.point, &low);
        INT32 belowHigh = Compare(below, belowCount, value.point, &high);
        INT32 aboveLow = Compare(above, aboveCount, abovePoint, &low);
        INT32 aboveHigh = Compare(above, aboveCount, abovePoint, &high);
        BOOL belowIn = (belowLow > 0 || (even && belowLow == 0)) && (belowHigh < 0 || (even && belowHigh == 0));
        BOOL aboveIn = (aboveLow > 0 || (even && aboveLow == 0)) && (aboveHigh < 0 || (even && aboveHigh == 0));
        // Digits of f's count always tell values apart: the nearer is in.
        if (n >= f->digits) belowIn = !aboveNearer, aboveIn = aboveNearer;
        if (aboveIn && (aboveNearer || !belowIn)) return PutDigits(t, above, aboveCount, abovePoint);
        if (belowIn) return PutDigits(t, below, belowCount, value.point);
    }
}

UINT32 SplitTypedText(const WCHAR *text, WCHAR *value, BOOL *typed, UINT32 *type)
{
    UINT32 n = 0, colon = 0xFFFFFFFF;
    for (; text[n]; ++n)
        if (text[n] == ':') colon = n;
    UINT32 length = colon < n ? colon : n;
    if (length == 0) return TypedTextEmpty;
    if (length >= ValueTextMax) return TypedTextTooLong;
    for (UINT32 k = 0; k < length; ++k) value[k] = text[k];
    value[length] = 0;
    *typed = colon < n;
    return !*typed || TypeOfName(text + colon + 1, type) ? TypedTextOk : TypedTextUnknownType;
}

UINT32 ValueText(const BYTE *bytes, UINT32 type, UINT32 size, char *out, UINT32 capacity)
{
    TextBuffer t = {out, capacity, 0};
    if (type == TypeBytes) {
        for (UINT32 k = 0; k < size; ++k) {
            if (k) PutChar(&t, ' ');
            PutChar(&t, "0123456789ABCDEF"[bytes[k] >> 4]);
            PutChar(&t, "0123456789ABCDEF"[bytes[k] & 15]);
        }
    } else if (IsFloatType(type)) {
        PutFloat(&t, LoadBits(bytes, type), FormatOf(type));
    } else if (type < TypeCount) {
        UINT64 bits = LoadBits(bytes, type), ones = AllOnes(type);
        if (IsSignedType(type) && bits > ones / 2) PutChar(&t, '-'), bits = (0 - bits) & ones;
        PutDecimal(&t, bits);
    }
    if (capacity) out[t.length] = 0;
    return t.length;
}

// ---------------------------------------------------------------- comparing and adding

BOOL SameValue(const BYTE *bytes, const TypedValue *value)
{
    if (IsFloatType(value->type)) {
        const FloatFormat *f = FormatOf(value->type);
        UINT64 a = LoadBits(bytes, value->type), b = LoadBits(value->bytes, value->type), magnitude = SignBit(f) - 1;
        if ((a & magnitude) > InfinityBits(f) || (b & magnitude) > InfinityBits(f)) return FALSE;
        return a == b || ((a & magnitude) == 0 && (b & magnitude) == 0);
    }
    for (UINT32 k = 0; k < value->size; ++k)
        if (bytes[k] != value->bytes[k]) return FALSE;
    return TRUE;
}

UINT32 AddValue(const TypedValue *value, const WCHAR *delta, TypedValue *sum)
{
    UINT32 type = value->type, result;
    if (type == TypeBytes || type >= TypeCount) return ValueNotNumber;
    UINT64 a = LoadBits(value->bytes, type), b, s = 0;
    if (IsFloatType(type)) {
        result = ReadFloat(delta, FormatOf(type), &b);
        if (result == ValueOk) result = AddFloats(a, b, FormatOf(type), &s);
    } else {
        result = ReadInteger(delta, type, TRUE, &b);
        s = (a + b) & AllOnes(type);
    }
    if (result != ValueOk) return result;
    ClearValue(sum, type);
    StoreBits(s, type, sum->bytes);
    return ValueOk;
}

// ---------------------------------------------------------------- near misses

// The near miss of one kind into miss; FALSE where the kind has none.
static BOOL MakeMiss(const TypedValue *value, UINT32 kind, TypedValue *miss)
{
    UINT32 type = value->type, size = value->size;
    ClearValue(miss, type);
    miss->size = size;
    if (kind == MissReversed) {
        for (UINT32 k = 0; k < size; ++k) miss->bytes[k] = value->bytes[size - 1 - k];
        return TRUE;
    }
    if (type == TypeBytes) {
        if (kind != MissAbove && kind != MissBelow) return FALSE;
        BYTE change = kind == MissAbove ? 1 : 0xFF;
        for (UINT32 k = 0; k < size; ++k) miss->bytes[k] = (BYTE)(value->bytes[k] + (k + 1 == size ? change : 0));
        return TRUE;
    }
    if (type >= TypeCount) return FALSE;
    UINT64 bits = LoadBits(value->bytes, type), next;
    if (IsFloatType(type)) {
        const FloatFormat *f = FormatOf(type);
        UINT64 sign = SignBit(f), magnitude = bits & (sign - 1);
        if (magnitude >= InfinityBits(f)) return FALSE;
        if (kind == MissAbove || kind == MissBelow) {
            UINT64 one = (UINT64)f->bias << f->fractionBits;
            if (AddFloats(bits, kind == MissAbove ? one : sign | one, f, &next) != ValueOk) return FALSE;
        } else {
            // Bits count magnitudes: up is away from zero, down towards it;
            // from a zero both ways start with the least subnormal.
            BOOL up = kind == MissNextAbove;
            if (magnitude == 0)
                next = up ? 1 : sign | 1;
            else
                next = up == !(bits & sign) ? bits + 1 : bits - 1;
            if ((next & (sign - 1)) == InfinityBits(f)) return FALSE;
        }
    } else {
        if (kind != MissAbove && kind != MissBelow) return FALSE;
        // No wrapping past the largest or the least.
        UINT64 ones = AllOnes(type);
        UINT64 largest = IsSignedType(type) ? ones / 2 : ones, least = IsSignedType(type) ? ones / 2 + 1 : 0;
        if (bits == (kind == MissAbove ? largest : least)) return FALSE;
        next = (kind == MissAbove ? bits + 1 : bits - 1) & ones;
    }
    StoreBits(next, type, miss->bytes);
    return TRUE;
}

UINT32 NearMisses(const TypedValue *value, NearMiss *misses)
{
    UINT32 count = 0;
    for (UINT32 kind = 0; kind < MissKindCount; ++kind) {
        TypedValue *miss = &misses[count].value;
        if (!MakeMiss(value, kind, miss)) continue;
        BOOL repeated = SameValue(miss->bytes, value);
        for (UINT32 k = 0; k < count && !repeated; ++k) repeated = SameValue(miss->bytes, &misses[k].value);
        if (repeated) continue;
        misses[count].kind = kind;
        misses[count].reason = NearMissReasons[kind];
        ++count;
    }
    return count;
}
