// ReadFindings for any bytes, against a reference written from the rule the
// README states, with regular expressions over whole lines: every candidate
// is collected with its place, and the leftmost one that is no index
// followed by more gives the line's address.
#include "ctl/findings.h"
#include "reference.h"

#include <algorithm>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

const UINT64 ImageBase = 0x140000000, ImageSize = 0x10000;
const Module Image = {"Vantoriel64.exe", ImageBase, ImageSize};
// A renamed copy, as Explorer names one: blanks and brackets in its name.
const Module Renamed = {"Vantoriel64 - Copy (2).exe", ImageBase, ImageSize};

const std::regex WordPattern("[A-Za-z0-9_`]+");
const std::regex HexWord("(?:0[xX])?([0-9A-Fa-f]+)");
const std::regex WinDbgWord("(?:0[xX])?([0-9A-Fa-f]{1,8})`([0-9A-Fa-f]{8})");
const std::regex PrefixedWord("0[xX]([0-9A-Fa-f]+)");
const std::regex LongHexWord("[0-9A-Fa-f]{5,}");
const std::regex IndexBefore("\\[[ \t]*$");
const std::regex IndexAfter("^[ \t]*\\]");
// + and its offset: a whole word of hexadecimal digits, perhaps after 0x.
const std::regex Offset("\\+((?:0[xX])?[0-9A-Fa-f]+)(?![A-Za-z0-9_`])");
const std::regex QuotedName("\"([^\"]*)\"$");
// A file name and its folder, perhaps after a drive's letter and colon.
const std::regex PlainName("([A-Za-z]:)?[A-Za-z0-9_`.~/\\\\-]+$");
const std::regex NameChar("[A-Za-z0-9_`.~/\\\\-]");
const std::regex LineEnd("\r\n|\r|\n");

// Hexadecimal digits as a number, if it fits 64 bits.
bool Value(std::string digits, UINT64 *value)
{
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > 16) return false;
    *value = digits.empty() ? 0 : std::stoull(digits, nullptr, 16);
    return true;
}

struct Candidate {
    size_t at;
    bool module;    // NAME+OFFSET: result says what it gives
    bool index;     // a decimal in square brackets
    UINT32 result;
    UINT64 value;
};

std::string Escaped(const std::string &text)
{
    return std::regex_replace(text, std::regex("[\\\\^$.|?*+()\\[\\]{}-]"), "\\$&");
}

// The program's own file name, or its stem, blanks and all, at the end of
// the text before +, after no other name character (a folder's separator
// aside).
std::regex OwnName(const std::string &own)
{
    std::string stem = own.size() > 4 && own.compare(own.size() - 4, 4, ".exe") == 0 ? own.substr(0, own.size() - 4) : own;
    return std::regex("(?:^|[^A-Za-z0-9_`.~-])(" + Escaped(own) + "|" + Escaped(stem) + ")$", std::regex::icase);
}

void ModuleCandidates(const std::string &line, const Module &image, std::vector<Candidate> *out)
{
    // Made once for each of the two images.
    static const std::regex ownImage = OwnName(Image.name), ownRenamed = OwnName(Renamed.name);
    const std::regex &own = &image == &Image ? ownImage : ownRenamed;
    for (auto m = std::sregex_iterator(line.begin(), line.end(), Offset); m != std::sregex_iterator(); ++m) {
        size_t plus = (size_t)m->position(0);
        std::string before = line.substr(0, plus), name;
        std::smatch n;
        size_t at;
        if (std::regex_search(before, n, QuotedName)) {
            name = n[1];
            at = (size_t)n.position(0);
        } else if (std::regex_search(before, n, own)) {
            name = n[1];
            at = (size_t)n.position(1);
        } else if (std::regex_search(before, n, PlainName)) {
            name = n[0];
            at = (size_t)n.position(0);
            // A drive only before a folder's separator, and as a word of its own.
            if (n[1].matched && (name.size() == 2 || (name[2] != '\\' && name[2] != '/') ||
                                 (at > 0 && std::regex_match(line.substr(at - 1, 1), NameChar)))) {
                name = name.substr(2);
                at += 2;
            }
            if (name.empty() || std::regex_match(name, HexWord)) continue;
        } else {
            continue;
        }
        size_t slash = name.find_last_of("\\/:");
        std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
        UINT64 offset;
        if (file.empty() || !Value(std::regex_replace(std::string(m->str(1)), std::regex("^0[xX]"), ""), &offset)) continue;
        std::string lower = file, mine = image.name;
        for (std::string *t : {&lower, &mine})
            std::transform(t->begin(), t->end(), t->begin(), [](char c) { return (char)std::tolower((unsigned char)c); });
        Candidate c = {at, true, false, OtherModule, 0};
        if (lower == mine || lower + ".exe" == mine) {
            c.result = offset < image.size ? AddressFound : BeyondModule;
            c.value = image.base + offset;
        }
        out->push_back(c);
    }
}

void NumberCandidates(const std::string &line, std::vector<Candidate> *out)
{
    for (auto m = std::sregex_iterator(line.begin(), line.end(), WordPattern); m != std::sregex_iterator(); ++m) {
        std::string word = m->str(0);
        size_t at = (size_t)m->position(0), end = at + word.size();
        std::smatch n;
        UINT64 value = 0, high, low;
        bool number = false;
        if (std::regex_match(word, n, WinDbgWord)) number = Value(n[1], &high) && Value(n[2], &low), value = high << 32 | low;
        else if (std::regex_match(word, n, PrefixedWord)) number = Value(n[1], &value);
        else if (std::regex_match(word, LongHexWord)) number = Value(word, &value);
        if (!number) continue;
        bool index = word.find_first_not_of("0123456789") == std::string::npos &&
                     std::regex_search(line.substr(0, at), IndexBefore) && std::regex_search(line.substr(end), IndexAfter);
        out->push_back({at, false, index, AddressFound, value});
    }
}

UINT32 ReferenceAddress(const std::string &line, const Module &image, UINT64 *value)
{
    std::vector<Candidate> all;
    ModuleCandidates(line, image, &all);
    NumberCandidates(line, &all);
    // Leftmost first; where a module's name starts with a number's word, the module.
    std::stable_sort(all.begin(), all.end(), [](const Candidate &a, const Candidate &b) {
        return a.at != b.at ? a.at < b.at : a.module > b.module;
    });
    for (size_t k = 0; k < all.size(); ++k) {
        if (all[k].index && k + 1 < all.size()) continue;
        *value = all[k].value;
        return all[k].result;
    }
    return NoAddress;
}

// UTF-16 after its mark as UTF-8, lone surrogates as U+FFFD.
std::string Utf8FromUtf16(const std::string &bytes, bool big)
{
    std::vector<UINT32> units;
    for (size_t k = 2; k + 1 < bytes.size(); k += 2)
        units.push_back(big ? (unsigned char)bytes[k] * 256u + (unsigned char)bytes[k + 1]
                            : (unsigned char)bytes[k + 1] * 256u + (unsigned char)bytes[k]);
    std::string text;
    for (size_t k = 0; k < units.size(); ++k) {
        UINT32 c = units[k];
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < units.size() && units[k + 1] >= 0xDC00 && units[k + 1] < 0xE000)
            c = 0x10000 + (c - 0xD800) * 0x400 + (units[++k] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        int n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        static const unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
        text += (char)(n == 1 ? c : lead[n] | c >> (6 * (n - 1)));
        for (int j = n - 2; j >= 0; --j) text += (char)(0x80 | ((c >> (6 * j)) & 0x3F));
    }
    return text;
}

// The findings against one image, and the reference's reading of them.
void Check(const std::string &bytes, const Module &image)
{
    bool utf16 = bytes.size() >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0);
    std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    Findings f;
    UINT32 read = ReadFindings(copy.data(), copy.size(), &image, 0, &f);
    if (utf16 && bytes.size() % 2) {
        Require(read == FindingsOddUtf16);
        return;
    }
    Require(read == FindingsRead);
    std::string text = utf16 ? Utf8FromUtf16(bytes, bytes[0] == '\xFE')
                             : bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
    // Bytes of other scripts are letters: one that is no hexadecimal digit stands for each.
    for (char &c : text)
        if ((unsigned char)c >= 0x80) c = 'z';
    std::set<UINT64> addresses;
    std::vector<size_t> unread;
    size_t lines = 0, number = 0;
    for (auto line = std::sregex_token_iterator(text.begin(), text.end(), LineEnd, -1);
         line != std::sregex_token_iterator(); ++line) {
        std::string one = *line;
        ++number;
        size_t first = one.find_first_not_of(" \t");
        if (first == std::string::npos || one[first] == '#') continue;
        UINT64 value = 0;
        if (ReferenceAddress(one, image, &value) == AddressFound) {
            addresses.insert(value);
            ++lines;
        } else {
            unread.push_back(number);
        }
    }
    Require(f.lines == lines && f.withoutAddress == unread.size());
    Require(std::vector<UINT64>(f.addresses, f.addresses + f.count) == std::vector<UINT64>(addresses.begin(), addresses.end()));
    for (size_t k = 0; k < unread.size() && k < UnreadShown; ++k) Require(f.unread[k].number == unread[k]);
    FreeFindings(&f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string bytes((const char *)data, size);
    Check(bytes, Image);
    Check(bytes, Renamed);
    return 0;
}
