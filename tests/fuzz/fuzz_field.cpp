// ReadRangeField for any field text, longer than 10 units included: the
// bound is what the first 10 units give, clamped on overflow, and a rewrite
// leaves a prefix of what was read, or the clamped number.
#include "commands/commands.h"
#include "fake_windows.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fake::Reset();
    HWND parent = fake::MakeParent({0, 0, 100, 100});
    HWND field = CreateWindowEx(0, TEXT("EDIT"), TEXT(""), 0, 0, 0, 0, 0, parent, (HMENU)1000, nullptr, nullptr);
    TextString text = TextFrom(data, size);
    fake::FindWindow(field)->text = text;
    fake::world.calls.clear();

    UINT32 bound = ReadRangeField(field);

    TextString read = text.substr(0, 10);
    ScanResult expected = ReferenceScan(read);
    Require(bound == expected.value);
    TextString after = fake::FindWindow(field)->text;
    size_t writes = fake::CallsNamed("SetWindowText").size();
    if (expected.end < 0) {
        Require(writes == 1 && after == fake::ToText("4294967295"));
    } else if ((size_t)expected.end < read.size()) {
        Require(writes == 1 && after == read.substr(0, (size_t)expected.end));
    } else {
        Require(writes == 0 && after == text);
    }
    return 0;
}
