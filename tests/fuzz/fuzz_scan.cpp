// ScanUnsigned against the arbitrary-precision reference, for any text.
#include "numtext/numtext.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TextString text = TextFrom(data, size);
    TCHAR *end = nullptr;
    UINT32 value = ScanUnsigned(&text[0], &end);
    ScanResult expected = ReferenceScan(text);
    Require(value == expected.value);
    if (expected.end < 0) Require(end == nullptr);
    else Require(end == &text[0] + expected.end);
    return 0;
}
