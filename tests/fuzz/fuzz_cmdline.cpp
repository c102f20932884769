// ReadCommandLine for any command line: at most one usage box; the settings
// are the defaults after a box, otherwise what a plain reading of the words
// gives; the font name points into the command line.
#include "fake_windows.h"
#include "reference.h"
#include "startup/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fake::Reset();
    TextString line = TextFrom(data, size);
    fake::SetCommandLine(line.c_str());
    const TCHAR *start = fake::world.commandLine.data();
    Settings = {0, 0, 0, nullptr};

    ReadCommandLine();

    Require(fake::world.messageBoxes.size() <= 1);
    Require(Settings.FontName != nullptr);
    bool box = fake::world.messageBoxes.size() == 1;
    TextString fontName = Settings.FontName;

    // The reference: skip the program name, then read up to three numbers
    // separated by runs of blanks, the rest being the font name.
    INT32 expected[3] = {22, 16, 6};
    bool usage = false;
    TextString font;
    size_t p = 0;
    bool stop = false;
    if (line.empty()) {
        stop = true;
    } else if (line[0] == '"') {
        size_t close = line.find('"', 1);
        if (close == TextString::npos) stop = true;
        else p = close + 1;
    } else {
        p = line.find(' ');
        if (p == TextString::npos) stop = true;
    }
    for (int k = 0; !stop && !usage && k < 4; ++k) {
        while (p < line.size() && line[p] == ' ') ++p;
        if (p == line.size()) break;
        if (k == 3) {
            font = line.substr(p);
            break;
        }
        ScanResult r = ReferenceScan(line.substr(p));
        if (k == 0) {
            if ((INT32)r.value <= 0) { usage = true; break; }
            expected[0] = (INT32)r.value;
            expected[1] = (INT32)(r.value - 6);
        } else {
            expected[k] = (INT32)r.value;
        }
        if (r.end < 0) { usage = true; break; }
        size_t end = p + (size_t)r.end;
        if (end == line.size()) break;
        if (line[end] != ' ') { usage = true; break; }
        p = end;
    }
    Require(box == usage);
    if (usage) {
        expected[0] = 22, expected[1] = 16, expected[2] = 6;
        font.clear();
    }
    Require(Settings.CtrlSize == expected[0] && Settings.FontSize == expected[1] && Settings.GapSize == expected[2]);
    Require(fontName == font);
    if (!font.empty()) Require(Settings.FontName >= start && Settings.FontName < start + line.size());
    return 0;
}
