// BuildReport for any presence pattern, values and high bound: the report
// fits its buffer and each line has the layout, with the slot's address and
// one reading of its value in both columns.
#include "commands/report.h"
#include "fake_windows.h"
#include "reference.h"
#include "window/controls.h"

#include <stdio.h>
#include <string.h>

static UINT32 Targets[TargetCount];

static TextString Hex(unsigned long long v, int digits)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%0*llX", digits, v);
    return fake::ToText(buf);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4 + (TargetCount + 7) / 8) return 0;
    fake::Reset();
    HWND parent = fake::MakeParent({0, 0, 100, 100});
    ControlHandles[5] = CreateWindowEx(0, TEXT("EDIT"), TEXT(""), 0, 0, 0, 0, 0, parent, (HMENU)1005, nullptr, nullptr);
    UINT32 high;
    memcpy(&high, data, 4);
    const uint8_t *bits = data + 4;
    const uint8_t *values = bits + (TargetCount + 7) / 8;
    size_t valueBytes = size - (size_t)(values - data);
    for (UINT32 i = 0; i < TargetCount; ++i) {
        bool present = bits[i / 8] >> (i % 8) & 1;
        UINT32 v = 0;
        for (int b = 0; b < 4; ++b) v = v << 8 | (valueBytes ? values[(4 * i + b) % valueBytes] : 0);
        Targets[i] = v;
        TargetTable[i].block = present ? &Targets[i] : nullptr;
        TargetTable[i].value = present ? &Targets[i] : nullptr;
    }

    BuildReport(high);

    TextString report = fake::FindWindow(ControlHandles[5])->text;
    Require(report.size() < ReportCapacity);
    size_t width = std::to_string(high).size();
    size_t p = 0;
    UINT32 slot = 0;
    int dashes = 0;
    while (p < report.size()) {
        size_t end = report.find(fake::ToText("\r\n"), p);
        Require(end != TextString::npos);
        TextString line = report.substr(p, end - p);
        p = end + 2;
        if (line.empty()) {
            Require(dashes == 0);
            continue;
        }
        if (line == fake::ToText("--")) {
            ++dashes;
            Require(slot <= (dashes == 1 ? FirstStaticTarget : FirstHeapTarget));
            slot = dashes == 1 ? FirstStaticTarget : FirstHeapTarget;
            continue;
        }
        while (slot < TargetCount && TargetTable[slot].block == nullptr) ++slot;
        Require(slot < TargetCount);
        UINT32 v = Targets[slot];
        TextString decimal = fake::ToText(std::to_string(v).c_str());
        if (decimal.size() > width) decimal = decimal.substr(decimal.size() - width);
        TextString expected = Hex((UINT_PTR)&Targets[slot], (int)AddressDigits) + fake::ToText("  ") +
                              TextString(width - decimal.size(), ' ') + decimal + fake::ToText(" ");
        for (int b = 0; b < 4; ++b) expected += Hex(v >> (8 * b) & 0xFF, 2);
        Require(line == expected);
        ++slot;
    }
    Require(dashes == 2);
    return 0;
}
