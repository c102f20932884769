// ReadFindings for any bytes, against a reference built another way: whole
// lines as strings, each word and its brackets looked at with the standard
// library, the addresses gathered in a set.
#include "ctl/findings.h"
#include "reference.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace {

bool Word(char c) { return std::isalnum((unsigned char)c) || c == '_'; }
bool Hex(char c) { return std::isxdigit((unsigned char)c) != 0; }

// The digits at the line's from-th byte, joined in WinDbg's way, as a
// string; "" when they are no number ending at a word's end.
std::string NumberAt(const std::string &line, size_t from)
{
    size_t end = from;
    while (end < line.size() && Hex(line[end])) ++end;
    std::string digits = line.substr(from, end - from);
    if (!digits.empty() && digits.size() <= 8 && end < line.size() && line[end] == '`') {
        std::string low = line.substr(end + 1, 8);
        size_t after = end + 9;
        if (low.size() == 8 && std::all_of(low.begin(), low.end(), Hex) && (after >= line.size() || !Word(line[after]))) {
            digits = std::string(8 - digits.size(), '0') + digits + low;
            end = after;
        }
    }
    if (digits.empty() || (end < line.size() && Word(line[end]))) return "";
    return digits;
}

// Value of hexadecimal digits, if it fits 64 bits.
bool Fits(std::string digits, UINT64 *value)
{
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > 16) return false;
    *value = digits.empty() ? 0 : std::stoull(digits, nullptr, 16);
    return true;
}

const UINT64 ImageBase = 0x140000000;
const Module Image = {"Vantoriel64.exe", ImageBase};

bool Letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// NAME+OFFSET: 0 none, 1 the program's (value set), 2 another module's.
int ReferenceModule(const std::string &line, UINT64 *value)
{
    for (size_t plus = line.find('+'); plus != std::string::npos; plus = line.find('+', plus + 1)) {
        std::string name;
        if (plus > 0 && line[plus - 1] == '"') {
            size_t open = plus >= 2 ? line.rfind('"', plus - 2) : std::string::npos;
            if (open == std::string::npos) continue;
            name = line.substr(open + 1, plus - open - 2);
        } else {
            size_t begin = plus;
            while (begin > 0 && (Word(line[begin - 1]) || line[begin - 1] == '.' || line[begin - 1] == '-')) --begin;
            name = line.substr(begin, plus - begin);
        }
        size_t from = plus + 1;
        if (line.size() - from > 2 && line[from] == '0' && (line[from + 1] == 'x' || line[from + 1] == 'X')) from += 2;
        size_t to = from;
        while (to < line.size() && Hex(line[to])) ++to;
        UINT64 offset;
        if (name.empty() || to == from || (to < line.size() && Word(line[to])) || !Fits(line.substr(from, to - from), &offset))
            continue;
        std::string lower = name;
        for (char &c : lower) c = (char)std::tolower((unsigned char)c);
        if (lower == "vantoriel64.exe" || lower == "vantoriel64") {
            *value = ImageBase + offset;
            return 1;
        }
        size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0 && dot + 1 < name.size() &&
            std::all_of(name.begin() + (long)dot + 1, name.end(), Letter))
            return 2;
    }
    return 0;
}

bool ReferenceAddress(const std::string &line, UINT64 *value)
{
    int module = ReferenceModule(line, value);
    if (module) return module == 1;
    for (size_t i = 0; i + 2 < line.size(); ++i)
        if (line.compare(i, 2, "0x") == 0 || line.compare(i, 2, "0X") == 0)
            if ((i == 0 || !Word(line[i - 1])) && Fits(NumberAt(line, i + 2), value) && !NumberAt(line, i + 2).empty())
                return true;
    std::vector<int> depth(line.size() + 1, 0);
    for (size_t i = 0; i < line.size(); ++i)
        depth[i + 1] = std::max(0, depth[i] + (line[i] == '[') - (line[i] == ']' && depth[i] > 0));
    size_t i = 0;
    while (i < line.size()) {
        if (!Word(line[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < line.size() && Word(line[end])) ++end;
        std::string word = line.substr(i, end - i);
        bool decimal = word.find_first_not_of("0123456789") == std::string::npos;
        if (decimal && (depth[i] > 0 || (end < line.size() && line[end] == ':'))) {
            i = end;
            continue;
        }
        std::string digits = NumberAt(line, i);
        if (digits.size() >= 5 && Fits(digits, value)) return true;
        // A joined number is passed whole; anything else word by word.
        i = std::max(end, i + (digits.size() > word.size() ? digits.size() + 1 : 0));
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string bytes((const char *)data, size);
    // The text as bytes, by the reference's own reading of the marks.
    std::string text;
    if (size >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)) {
        bool big = bytes[0] == '\xFE';
        for (size_t k = 2; k + 1 < size; k += 2) {
            unsigned unit = big ? (unsigned char)bytes[k] * 256u + (unsigned char)bytes[k + 1]
                                : (unsigned char)bytes[k + 1] * 256u + (unsigned char)bytes[k];
            text += unit < 0x80 ? (char)unit : '?';
        }
    } else {
        text = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
    }
    std::set<UINT64> addresses;
    size_t lines = 0, without = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        UINT64 value;
        if (line.find_first_not_of(" \t") == std::string::npos) {
        } else if (ReferenceAddress(line, &value)) {
            addresses.insert(value);
            ++lines;
        } else {
            ++without;
        }
        start = end + 1;
    }

    std::vector<unsigned char> copy(data, data + size);
    Findings f;
    Require(ReadFindings(copy.data(), size, &Image, &f) == FindingsRead);
    Require(f.lines == lines && f.withoutAddress == without);
    Require(std::vector<UINT64>(f.addresses, f.addresses + f.count) == std::vector<UINT64>(addresses.begin(), addresses.end()));
    FreeFindings(&f);
    return 0;
}
