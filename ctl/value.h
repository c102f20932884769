// value.h: a value of a type as it lies in memory, its text both ways, and
// the near misses a scanner must not take for it.
#pragma once
#include <windows.h>

// Integers of two's complement and floats of IEEE 754 binary32/binary64,
// little-endian, then the same numbers big-endian; bytes is a plain string.
enum ValueType {
    TypeI8, TypeU8, TypeI16, TypeU16, TypeI32, TypeU32, TypeI64, TypeU64, TypeF32, TypeF64,
    TypeI16Be, TypeU16Be, TypeI32Be, TypeU32Be, TypeI64Be, TypeU64Be, TypeF32Be, TypeF64Be,
    TypeBytes, TypeCount
};
enum { ValueBytesMax = 64 };
struct TypedValue {
    UINT32 type;
    UINT32 size;                // bytes used: TypeSize, or the string's length
    BYTE bytes[ValueBytesMax];  // as they lie in memory; zero past size
};

// "i8", "u8" ... "u64", "f32", "f64", the same with "be", and "bytes":
// exactly these, lower-case.
BOOL TypeOfName(const WCHAR *name, UINT32 *type);
const char *TypeName(UINT32 type);  // "" for no type
UINT32 TypeSize(UINT32 type);       // 0 for bytes, whose size is the value's
BOOL IsFloatType(UINT32 type);
BOOL IsBigEndianType(UINT32 type);

enum ValueRead { ValueOk, ValueMalformed, ValueOutOfRange, ValueNotFinite, ValueTooLong, ValueEmpty, ValueNotNumber };

// Reads text as type into value: ValueOk, or why it is refused.
// - Integers: decimal with an optional sign, or hexadecimal after 0x or 0X
//   with none; digits only. The number must lie in the type's range (0xFF is
//   255, out of i8's), and is never cut; "-0" is 0.
// - Floats: [sign] digits [. digits] [e|E [sign] digits], a digit at least
//   before the exponent, rounded once to the nearest value of the type, ties
//   to even, subnormals included; ValueOutOfRange if that is an infinity (a
//   value too small gives zero of its sign). NaN, inf and infinity, of any
//   case and sign, are ValueNotFinite.
// - Bytes: pairs of hexadecimal digits of either case, 1 to ValueBytesMax,
//   with or without blanks (spaces, tabs) between pairs and around them.
// Empty text (for bytes: only blanks) is ValueEmpty.
UINT32 ReadValue(const WCHAR *text, UINT32 type, TypedValue *value);

// VALUE[:TYPE], as --expect and watch's --set take it: VALUE holds no colon,
// so one starts TYPE. VALUE goes into value (ValueTextMax units, its
// terminator included), and TYPE, if given, into *type (typed tells).
enum TypedTextRead { TypedTextOk, TypedTextEmpty, TypedTextTooLong, TypedTextUnknownType };
UINT32 SplitTypedText(const WCHAR *text, WCHAR *value, BOOL *typed, UINT32 *type);

// Text of bytes read as type (size bytes for bytes; TypeSize otherwise),
// into out (capacity chars, terminator included; cut to fit); its length.
// - Integers: decimal, '-' before a negative one.
// - Floats: the fewest significant digits that read back to the same value
//   (of those, the nearest to it), plain for a decimal exponent x (of
//   d.ddd x 10^x) from -5 to 16 ("87.0866", "0.00001", "100"), else
//   d[.ddd]e[-]x ("1e-45", "3.4028235e38"); "-0", "nan", "inf", "-inf".
// - Bytes: upper-case hexadecimal pairs between single blanks ("5E ED 12").
enum { ValueTextMax = 3 * ValueBytesMax };  // room for every text and its terminator
UINT32 ValueText(const BYTE *bytes, UINT32 type, UINT32 size, char *out, UINT32 capacity);

// Whether bytes read as value's type equal value: floats as numbers (0 and
// -0 equal, NaN equals nothing), all else byte for byte.
BOOL SameValue(const BYTE *bytes, const TypedValue *value);

// value + delta in value's type, delta read as ReadValue reads the type:
// integers add modulo 2^bits (an unsigned type takes a negative delta as
// well, down to minus its largest value: "-1"); floats add the delta's value
// of the type, the sum rounded once as IEEE 754 does (an infinite sum is
// ValueOutOfRange, a value not finite ValueNotFinite). Bytes are
// ValueNotNumber. sum may be value.
UINT32 AddValue(const TypedValue *value, const WCHAR *delta, TypedValue *sum);

// Near misses of a value V: values of its type close to V, each unequal to V
// as SameValue has it and to the others; one that would not be is left out.
// - Numbers: V + 1 and V - 1 in the type, not past its range (for floats the
//   sum rounded, left out when it rounds back to V); V's bytes reversed;
//   for floats also the next finite values above and below. An infinity or
//   a NaN has only its bytes reversed.
// - Bytes: the last byte plus and minus 1 (within the byte), the string
//   reversed.
enum NearMissKind { MissAbove, MissBelow, MissReversed, MissNextAbove, MissNextBelow, MissKindCount };
extern const char *const NearMissReasons[MissKindCount];  // "one above" ... "next float below"
struct NearMiss {
    TypedValue value;
    UINT32 kind;         // NearMissKind
    const char *reason;  // NearMissReasons[kind]
};
// Fills misses (capacity MissKindCount): their count.
UINT32 NearMisses(const TypedValue *value, NearMiss *misses);
