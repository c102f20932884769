// The companion's verbs against a scripted Vantoriel (remote_standin.h):
// start's one bound, presses and writes that fail halfway and say what they
// left, the causes of a message that is not answered, finding windows, and
// the program's image. Each error line is read whole, as a person reads it.
#include "ctl/output.h"
#include "ctl/remote.h"
#include "ctl/request.h"
#include "ctl/verbs.h"
#include "ctl_standin.h"
#include "remote_standin.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using world::W;
using Wide = std::u16string;

Wide Widen(const std::string &ascii) { return Wide(ascii.begin(), ascii.end()); }

const char Prefix[] = "vantoriel-ctl: ";
const char HigherLevel[] = "Vantoriel runs at a higher integrity level (as administrator?); run the companion the same way";

// The stand-in's 64-bit Vantoriel: some of its targets, and their addresses
// as the report writes them.
const UINT64 Static0At = world::ImageBase64 + 0x3010, Static1At = Static0At + 0x10, Static2At = Static0At + 0x20,
             Heap0At = 0x2000010, Heap5At = 0x200A010;

std::string Hex16(UINT64 address)
{
    char text[17];
    snprintf(text, sizeof text, "%016llX", (unsigned long long)address);
    return text;
}
const std::string Static0 = Hex16(Static0At), Static1 = Hex16(Static1At), Static2 = Hex16(Static2At), Heap0 = Hex16(Heap0At);

class RemoteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ctlfake::Reset();
        ctlfake::ResetHooks();
        world::Reset();
        W.files[u"C:\\ctl\\Vantoriel64.exe"] = "";
    }

    // Runs the companion with these arguments: its exit code; Out and Err what it wrote.
    UINT32 Run(const std::vector<std::string> &args)
    {
        ctlfake::Reset();
        std::vector<Wide> wide = {u"vantoriel-ctl"};
        for (const std::string &a : args) wide.push_back(Widen(a));
        std::vector<WCHAR *> argv;
        for (Wide &w : wide) argv.push_back(&w[0]);
        Request request;
        UINT32 code = ReadRequest((int)argv.size(), argv.data(), &request);
        EXPECT_EQ(code, (UINT32)ExitOk) << ctlfake::Err;
        if (code != ExitOk) return code;
        code = RunRequest(&request);
        Flush();
        Out = ctlfake::Out;
        Err = ctlfake::Err;
        return code;
    }

    // The one error line, without the prefix and the line end; "" if there is none.
    std::string Error()
    {
        if (Err.empty()) return "";
        EXPECT_EQ(Err.compare(0, sizeof Prefix - 1, Prefix), 0) << Err;
        EXPECT_EQ(Err.back(), '\n');
        EXPECT_EQ(Err.find('\n'), Err.size() - 1) << "one line: " << Err;
        return Err.substr(sizeof Prefix - 1, Err.size() - sizeof Prefix);
    }

    std::string Out, Err;
};

std::string Pid(DWORD pid) { return std::to_string(pid); }

// ---------------------------------------------------------------- start's one bound

struct StartCase {
    const char *name;
    std::vector<std::string> args;
    std::function<void(DWORD pid)> program;  // what the started program does
    std::string error;                       // its line, with PID for the process id
    UINT64 least, most;                      // the virtual time start took
    UINT64 bound = 60000;                    // the whole wait's
    UINT64 each = 30000;                     // each message's (--timeout)
};

std::string WithPid(std::string text, DWORD pid)
{
    size_t at = text.find("PID");
    if (at != std::string::npos) text.replace(at, 3, Pid(pid));
    return text;
}

// A Vantoriel of the started process whose main window shows at appearsAt.
void ShowVantoriel(DWORD pid, UINT64 appearsAt)
{
    world::VantorielSetup s;
    s.pid = pid;
    s.appearsAt = appearsAt;
    world::AddVantoriel(s);
}

TEST_F(RemoteTest, StartWaitsOneBoundInAll)
{
    const char exe[] = "C:\\ctl\\Vantoriel64.exe";
    const StartCase cases[] = {
        {"shown, then stopped: no answer ever",
         {"start"},
         [](DWORD pid) { ShowVantoriel(pid, 1500), world::ProcessOf(pid).answers = false; },
         std::string(exe) + " showed its window but did not answer within 60 s of its start: stopped by a debugger or a "
                            "scanner?; it was ended",
         59000, 60000},
        {"each message's bound smaller than the whole",
         {"start", "--timeout", "7"},
         [](DWORD pid) { ShowVantoriel(pid, 0), world::ProcessOf(pid).answers = false; },
         std::string(exe) + " showed its window but did not answer within 60 s of its start: stopped by a debugger or a "
                            "scanner?; it was ended",
         59000, 60000, 60000, 7000},
        {"--timeout longer than 60 s is the whole bound",
         {"start", "--timeout", "100"},
         [](DWORD pid) { ShowVantoriel(pid, 0), world::ProcessOf(pid).answers = false; },
         std::string(exe) + " showed its window but did not answer within 100 s of its start: stopped by a debugger or "
                            "a scanner?; it was ended",
         99000, 100000, 100000, 100000},
        {"no window",
         {"start"},
         [](DWORD) {},
         std::string(exe) + " showed no window within 60 s of its start; it was ended",
         59000, 60000},
        {"a window with no report",
         {"start"},
         [](DWORD pid) { ShowVantoriel(pid, 0), world::WindowOf(world::Control(pid, ID_REPORT))->text.clear(); },
         std::string(exe) + " showed its window but no report within 60 s of its start; it was ended",
         59000, 60000},
        {"answering, then stopped before its report is read",
         {"start"},
         [](DWORD pid) {
             ShowVantoriel(pid, 45000);
             W.sendFailures.push_back({nullptr, WM_GETTEXT, 1, ERROR_TIMEOUT});
         },
         "Vantoriel64 (process PID) does not answer: stopped by a debugger or a scanner?; it was closed",
         60000, 60000}, // the read of the first report gets what is left, then it closes at once
        {"elevated: refused at once",
         {"start"},
         [](DWORD pid) { ShowVantoriel(pid, 300), world::ProcessOf(pid).elevated = true; },
         std::string(exe) + " showed its window but refused the companion's message: " + HigherLevel + "; it was ended",
         300, 1000},
        {"ended by itself",
         {"start"},
         [](DWORD pid) { world::ProcessOf(pid).endsAt = 2000; },
         std::string(exe) + " ended before its window opened",
         2000, 2000},
        {"usage box, then a window that never answers",
         {"start", "--", "22x"},
         [](DWORD pid) {
             world::AddUsageBox(pid, 400);
             world::ProcessOf(pid).onBoxAnswered = [pid] {
                 ShowVantoriel(pid, W.now + 1000);
                 world::ProcessOf(pid).answers = false;
             };
         },
         "the program did not take the arguments \"22x\": it showed its usage message; once answered, it showed its "
         "window but did not answer within 60 s of its start: stopped by a debugger or a scanner?; it was ended",
         59000, 60000},
        {"usage box that stays up",
         {"start", "--", "22x"},
         [](DWORD pid) { world::AddUsageBox(pid, 400), world::ProcessOf(pid).answers = false; },
         "the program did not take the arguments \"22x\": it showed its usage message; once answered, it kept its "
         "usage box within 60 s of its start; it was ended",
         59000, 60000},
        {"usage box, then its main window",
         {"start", "--", "22x"},
         [](DWORD pid) {
             world::AddUsageBox(pid, 400);
             world::ProcessOf(pid).onBoxAnswered = [pid] { ShowVantoriel(pid, W.now + 1000); };
         },
         "the program did not take the arguments \"22x\": it showed its usage message; it was closed",
         1400, 3000},
    };
    for (const StartCase &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        DWORD started = 0;
        W.onCreate = [&](DWORD pid) { started = pid, c.program(pid); };
        EXPECT_EQ(Run(c.args), (UINT32)ExitError);
        EXPECT_EQ(Error(), WithPid(c.error, started));
        EXPECT_EQ(Out, "");
        EXPECT_GE(W.now, c.least);
        EXPECT_LE(W.now, c.most);
        // Nothing is left running, and every handle is given back.
        EXPECT_TRUE(world::ProcessOf(started).ended);
        EXPECT_EQ(world::OpenHandles(), 0u);
        // No message was given more time than what was left of the whole.
        UINT64 latest = 0, longest = 0;
        for (const world::Sent &s : W.sent) {
            latest = std::max(latest, s.at + s.timeout);
            longest = std::max(longest, (UINT64)s.timeout);
        }
        EXPECT_LE(latest, c.bound);
        EXPECT_LE(longest, c.each);
    }
}

// A command line with its terminating null takes 32,767 units at most.
TEST_F(RemoteTest, StartProgramCountsTheTerminatingNull)
{
    const Wide exe = u"C:\\ctl\\Vantoriel64.exe"; // 22 units: quoted, a blank, then the arguments
    struct {
        size_t arguments;
        bool starts;
    } cases[] = {{32767 - 22 - 2 - 1 - 1, true}, {32767 - 22 - 2 - 1, false}, {40000, false}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.arguments);
        world::Reset();
        W.onCreate = [](DWORD) {};
        Wide arguments(c.arguments, u'x');
        PROCESS_INFORMATION started = {};
        BOOL done = StartProgram(exe.c_str(), arguments.c_str(), &started);
        EXPECT_EQ(done, c.starts);
        EXPECT_EQ(W.creates, c.starts ? 1 : 0);
        if (c.starts) EXPECT_EQ(W.createdCommandLine.size() + 1, 32767u);
        else EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
        if (done) CloseHandle(started.hProcess), CloseHandle(started.hThread);
    }
    // And as start says it.
    SetUp();
    W.onCreate = [](DWORD) {};
    EXPECT_EQ(Run({"start", "--", std::string(32767 - 22 - 2 - 1, 'x')}), (UINT32)ExitError);
    EXPECT_EQ(Error(), "cannot start C:\\ctl\\Vantoriel64.exe: its command line would be longer than 32767 units, "
                       "the terminating null counted");
    EXPECT_EQ(W.creates, 0);
}

// ---------------------------------------------------------------- presses

struct PressCase {
    const char *name;
    std::vector<std::string> args;
    std::function<void(DWORD pid)> fault;
    std::string error;                  // PID for the process id
    Wide low, high;                     // the fields' texts after it
    UINT32 memory;                      // what every target holds after it
};

TEST_F(RemoteTest, PressSaysWhatItLeft)
{
    // The nth message of this kind to the control id (0: the main window) fails.
    auto failing = [](int id, UINT message, DWORD error, bool applied = false, int nth = 1) {
        return [=](DWORD pid) {
            HWND to = id ? world::Control(pid, id) : world::ProcessOf(pid).main;
            W.sendFailures.push_back({to, message, nth, error, applied});
        };
    };
    const std::string stopped = "Vantoriel64 (process PID) does not answer: stopped by a debugger or a scanner?";
    const PressCase cases[] = {
        {"the high field times out after the low one was set",
         {"write-a", "--low", "5", "--high", "7"},
         failing(ID_HIGH, WM_SETTEXT, ERROR_TIMEOUT),
         stopped + "; the low field is set to \"5\" (it held \"100\"); setting the high field to \"7\" was not confirmed "
                   "(it held \"200\"); Write(A) was not pressed",
         u"5", u"200", 151},
        {"the same, the text set all the same (Wine keeps the message)",
         {"write-a", "--low", "5", "--high", "7"},
         failing(ID_HIGH, WM_SETTEXT, ERROR_TIMEOUT, true),
         stopped + "; the low field is set to \"5\" (it held \"100\"); setting the high field to \"7\" was not confirmed "
                   "(it held \"200\"); Write(A) was not pressed",
         u"5", u"7", 151},
        {"the low field times out",
         {"write-b", "--low", "5", "--high", "7"},
         failing(ID_LOW, WM_SETTEXT, ERROR_TIMEOUT),
         stopped + "; setting the low field to \"5\" was not confirmed (it held \"100\"); the high field was not set: it "
                   "holds \"200\"; Write(B) was not pressed",
         u"100", u"200", 151},
        {"the press times out",
         {"write-a", "--low", "5", "--high", "7"},
         failing(0, WM_COMMAND, ERROR_TIMEOUT),
         stopped + "; the low field is set to \"5\" (it held \"100\"); the high field is set to \"7\" (it held \"200\"); "
                   "pressing Write(A) was not confirmed",
         u"5", u"7", 151},
        {"the press runs, unconfirmed",
         {"write-a", "--high", "9"},
         failing(0, WM_COMMAND, ERROR_TIMEOUT, true),
         stopped + "; the high field is set to \"9\" (it held \"200\"); pressing Write(A) was not confirmed",
         u"100", u"9", 100},
        {"Vantoriel ends at the press",
         {"read"},
         failing(0, WM_COMMAND, ERROR_INVALID_WINDOW_HANDLE),
         "Vantoriel64 (process PID) ended meanwhile: its window is gone; pressing Read was not confirmed",
         u"100", u"200", 151},
        {"the report after the press does not parse",
         {"write-b", "--low", "1", "--high", "3"},
         [](DWORD pid) { world::ProcessOf(pid).garbleAfterPress = true; },
         "Vantoriel64 (process PID)'s report does not parse at line 1 after the press; the low field is set to \"1\" (it "
         "held \"100\"); the high field is set to \"3\" (it held \"200\"); Write(B) ran",
         u"1", u"3", 3},
        {"the report after the press is not answered",
         {"write-a", "--low", "4"},
         failing(ID_REPORT, WM_GETTEXT, ERROR_TIMEOUT, false, 2), // the first checked that Vantoriel answers
         stopped + "; the low field is set to \"4\" (it held \"100\"); Write(A) ran; the report after it was not read",
         u"4", u"200", 4},
        {"the fields cannot be read first: nothing is sent",
         {"write-a", "--low", "5", "--high", "7"},
         failing(ID_HIGH, WM_GETTEXT, ERROR_INVALID_WINDOW_HANDLE),
         "Vantoriel64 (process PID) ended meanwhile: its window is gone; nothing was changed",
         u"100", u"200", 151},
        {"refused: a higher integrity level",
         {"write-a", "--low", "5"},
         failing(ID_REPORT, WM_GETTEXT, ERROR_ACCESS_DENIED),
         std::string("Vantoriel64 (process PID) refused the companion's message: ") + HigherLevel + "; nothing was changed",
         u"100", u"200", 151},
    };
    for (const PressCase &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        DWORD pid = world::AddVantoriel();
        c.fault(pid);
        EXPECT_EQ(Run(c.args), (UINT32)ExitError);
        EXPECT_EQ(Error(), WithPid(c.error, pid));
        EXPECT_EQ(Out, "");
        EXPECT_EQ(world::WindowOf(world::Control(pid, ID_LOW))->text, c.low);
        EXPECT_EQ(world::WindowOf(world::Control(pid, ID_HIGH))->text, c.high);
        EXPECT_EQ(world::Memory(pid, Heap5At), c.memory);
        EXPECT_EQ(world::OpenHandles(), 0u);
    }
}

TEST_F(RemoteTest, PressAsksBeforeItChanges)
{
    DWORD pid = world::AddVantoriel();
    ASSERT_EQ(Run({"write-a", "--low", "0x5EED1234", "--high", "9", "--json"}), (UINT32)ExitOk) << Err;
    // The report and both fields are read before the first text is set.
    ASSERT_GE(W.sent.size(), 6u);
    EXPECT_EQ(W.sent[0].message, (UINT)WM_GETTEXT);
    EXPECT_EQ(W.sent[0].window, world::Control(pid, ID_REPORT));
    EXPECT_EQ(W.sent[1].window, world::Control(pid, ID_LOW));
    EXPECT_EQ(W.sent[1].message, (UINT)WM_GETTEXT);
    EXPECT_EQ(W.sent[2].window, world::Control(pid, ID_HIGH));
    EXPECT_EQ(W.sent[2].message, (UINT)WM_GETTEXT);
    EXPECT_EQ(W.sent[3].text, u"0x5EED1234");
    EXPECT_EQ(W.sent[4].text, u"9");
    EXPECT_EQ(W.sent[5].message, (UINT)WM_COMMAND);
    EXPECT_EQ(world::Memory(pid, Static0At), 0x5EED1234u);
    EXPECT_NE(Out.find("\"value\":1592594996,\"memory\":1592594996"), std::string::npos) << Out;
    EXPECT_EQ(world::OpenHandles(), 0u);
}

// ---------------------------------------------------------------- set

struct SetCase {
    const char *name;
    std::vector<std::string> args;
    std::function<void(DWORD pid)> fault;
    std::string error;
    std::vector<std::pair<UINT64, UINT32>> memory; // what targets hold after it
};

TEST_F(RemoteTest, SetPutsBackOrSaysWhatItLeft)
{
    // Three static targets chosen; writes count from 1 in target order.
    const std::vector<std::string> three = {"set", "--value", "9", Static0, Static1, Static2};
    const SetCase cases[] = {
        {"an unreadable target refuses --value before anything is written",
         three,
         [](DWORD) { W.readFailures[Static1At] = 0; },
         std::string("the target at ") + Static1 + " cannot be read; nothing was written",
         {{Static0At, 151}, {Static2At, 151}}},
        {"and --add",
         {"set", "--add", "1", "--kind", "heap"},
         [](DWORD) { W.readFailures[Heap5At] = 0; },
         "the target at 000000000200A010 cannot be read; nothing was written",
         {{0x2000010, 151}}},
        {"the first write fails",
         three,
         [](DWORD) { W.writeFailures[1] = ERROR_NOACCESS; },
         std::string("the target at ") + Static0 + " could not be written; nothing was written",
         {{Static0At, 151}, {Static1At, 151}}},
        {"the third fails: the two before are put back",
         three,
         [](DWORD) { W.writeFailures[3] = ERROR_NOACCESS; },
         std::string("the target at ") + Static2 +
             " could not be written; the 2 targets written before it hold their old values again",
         {{Static0At, 151}, {Static1At, 151}, {Static2At, 151}}},
        {"the second fails: the one before is put back",
         three,
         [](DWORD) { W.writeFailures[2] = ERROR_NOACCESS; },
         std::string("the target at ") + Static1 + " could not be written; the target written before it holds its old value again",
         {{Static0At, 151}, {Static1At, 151}}},
        {"putting the first back fails",
         three,
         [](DWORD) { W.writeFailures[3] = ERROR_NOACCESS, W.writeFailures[4] = ERROR_NOACCESS; },
         std::string("the target at ") + Static2 + " could not be written; putting back the old values failed: the target at " +
             Static0 + " holds 9 where it held 151; 2 others hold their old values",
         {{Static0At, 9}, {Static1At, 151}, {Static2At, 151}}},
        {"the second cannot be read back",
         three,
         // Read once with the report, then after the write: the read back fails.
         [](DWORD) { W.writeFailures[3] = ERROR_NOACCESS, W.readFailures[Static1At] = 1; },
         std::string("the target at ") + Static2 + " could not be written; putting back the old values failed: the target at " +
             Static1 + " cannot be read back where it held 151; 2 others hold their old values",
         {{Static0At, 151}, {Static2At, 151}}},
    };
    for (const SetCase &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        DWORD pid = world::AddVantoriel();
        c.fault(pid);
        EXPECT_EQ(Run(c.args), (UINT32)ExitError);
        EXPECT_EQ(Error(), c.error);
        EXPECT_EQ(Out, "");
        for (auto &m : c.memory) EXPECT_EQ(world::Memory(pid, m.first), m.second) << std::hex << m.first;
        EXPECT_EQ(world::OpenHandles(), 0u);
    }
}

// ---------------------------------------------------------------- plant

// A value its type cannot hold is refused before anything is planted (the
// stand-in has no planting: reaching it would say so).
TEST_F(RemoteTest, PlantRefusesAValueItsTypeCannotHold)
{
    const struct {
        std::vector<std::string> args;
        const char *error;
    } cases[] = {
        {{"plant", "--value", "300", "--type", "i32", "--type", "i8"}, "--value 300 is out of the range of i8; nothing was planted"},
        {{"plant", "--value", "-1", "--type", "u64"}, "--value -1 is out of the range of u64; nothing was planted"},
        {{"plant", "--value", "nan", "--type", "f32"}, "--value nan is no finite number, as f32 needs; nothing was planted"},
        {{"plant", "--value", "1e39", "--type", "f32"}, "--value 1e39 is out of the range of f32; nothing was planted"},
        {{"plant", "--value", "5Z", "--type", "bytes"}, "--value 5Z is no value of type bytes; nothing was planted"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[2]);
        SetUp();
        world::AddVantoriel();
        EXPECT_EQ(Run(c.args), (UINT32)ExitError);
        EXPECT_EQ(Error(), c.error);
        EXPECT_EQ(Out, "");
    }
}

// ---------------------------------------------------------------- messages not answered

TEST_F(RemoteTest, AnUnansweredMessageTellsItsCause)
{
    struct {
        DWORD error;
        const char *line;
        UINT64 spent;
    } cases[] = {
        {ERROR_TIMEOUT, "Vantoriel64 (process PID) does not answer: stopped by a debugger or a scanner?", 4000},
        {ERROR_INVALID_WINDOW_HANDLE, "Vantoriel64 (process PID) ended meanwhile: its window is gone", 0},
        {ERROR_ACCESS_DENIED,
         "Vantoriel64 (process PID) refused the companion's message: Vantoriel runs at a higher integrity level (as "
         "administrator?); run the companion the same way",
         0},
        {ERROR_INVALID_PARAMETER, "Vantoriel64 (process PID) did not answer: error 87", 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.error);
        SetUp();
        DWORD pid = world::AddVantoriel();
        W.sendFailures.push_back({nullptr, WM_GETTEXT, 1, c.error});
        EXPECT_EQ(Run({"table", "--timeout", "4"}), (UINT32)ExitError);
        EXPECT_EQ(Error(), WithPid(c.line, pid));
        EXPECT_EQ(W.now, c.spent);
    }
}

TEST_F(RemoteTest, AProcessThatCannotBeOpened)
{
    DWORD pid = world::AddVantoriel(true);
    world::ProcessOf(pid).denyOpen = true;
    EXPECT_EQ(Run({"set", "--value", "1", "--kind", "heap"}), (UINT32)ExitError);
    EXPECT_EQ(Error(), "Vantoriel32 (process " + Pid(pid) + ") cannot be opened: access denied: " + HigherLevel);
    EXPECT_TRUE(W.sent.empty());
}

// ---------------------------------------------------------------- finding Vantoriel

TEST_F(RemoteTest, NoVantorielSaysWhichDesktopWasSearched)
{
    struct {
        const char *name;
        std::function<void()> place;
        const char *line;
    } cases[] = {
        {"the user's desktop", [] {}, "no Vantoriel is running"},
        {"a service's window station", [] { W.windowStation = u"Service-0x0-3e7$"; }, "no Vantoriel is running on this desktop"},
        {"another session: the input desktop cannot be opened", [] { W.inputDesktopOpens = false; },
         "no Vantoriel is running on this desktop"},
        {"another desktop than the input one", [] { W.threadDesktop = u"Hidden"; }, "no Vantoriel is running on this desktop"},
        {"names in another case", [] { W.inputDesktop = u"default", W.windowStation = u"winsta0"; }, "no Vantoriel is running"},
        {"a Vantoriel on another desktop is not seen",
         [] {
             DWORD pid = world::AddVantoriel();
             world::WindowOf(world::ProcessOf(pid).main)->otherDesktop = true;
             W.inputDesktopOpens = false;
         },
         "no Vantoriel is running on this desktop"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.place();
        EXPECT_EQ(Run({"table"}), (UINT32)ExitError);
        EXPECT_EQ(Error(), c.line);
        EXPECT_EQ(W.calls["CloseDesktop"], W.calls["OpenInputDesktop"] - (W.inputDesktopOpens ? 0 : 1));
    }
}

TEST_F(RemoteTest, EveryVantorielOnceWhileWindowsComeAndGo)
{
    // Two Vantoriels, with a window between them that closes as it is looked at.
    DWORD first = world::AddVantoriel();
    W.windows.push_back({});
    world::Window &passing = W.windows.back();
    passing.handle = (HWND)(UINT_PTR)0x999990;
    passing.pid = 77;
    passing.cls = u"Passing";
    DWORD second = world::AddVantoriel(true);
    W.onLook = [](HWND w) {
        if (w == (HWND)(UINT_PTR)0x999990) world::WindowOf(w)->gone = true;
    };
    EXPECT_EQ(Run({"table"}), (UINT32)ExitError);
    EXPECT_EQ(Error(), "2 Vantoriels are running (process ids " + Pid(first) + ", " + Pid(second) + "); choose one with --pid");

    // A process with two main windows is one Vantoriel.
    SetUp();
    DWORD pid = world::AddVantoriel();
    W.windows.push_back(*world::WindowOf(world::ProcessOf(pid).main));
    W.windows.back().handle = (HWND)(UINT_PTR)0x999994;
    EXPECT_EQ(Run({"table", "--json"}), (UINT32)ExitOk) << Err;
    EXPECT_EQ(Run({"close", "--pid", Pid(pid)}), (UINT32)ExitOk) << Err;
    EXPECT_EQ(Out, "PID  EXIT_CODE\n" + Pid(pid) + "          0\n");
}

// ---------------------------------------------------------------- the image

TEST_F(RemoteTest, TheImageNameWhateverItsLength)
{
    struct {
        const char *name;
        Wide path;
        const char *module; // the module cell of the first static target
    } cases[] = {
        {"a usual path", u"C:\\v\\Vantoriel64.exe", "Vantoriel64.exe+3010"},
        {"longer than MAX_PATH", u"C:\\" + Wide(300, u'd') + u"\\Vantoriel (1).exe", "\"\"\"Vantoriel (1).exe\"\"+3010\""},
        {"the longest there is", u"C:\\" + Wide(32700, u'd') + u"\\V2.exe", "V2.exe+3010"},
        {"too long: the build's name", u"C:\\" + Wide(32770, u'd') + u"\\V2.exe", "Vantoriel64.exe+3010"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        world::VantorielSetup s;
        s.image = c.path;
        world::AddVantoriel(s);
        ASSERT_EQ(Run({"table", "--csv"}), (UINT32)ExitOk) << Err;
        EXPECT_NE(Out.find(std::string(",StaticWordA,,") + Static0 + "," + c.module + ",151,151"), std::string::npos) << Out;
        EXPECT_LE(W.largestImageNameBuffer, 32768u);
    }
}

TEST_F(RemoteTest, TheImageSizeBoundsModuleAddresses)
{
    // Offsets inside the image (its headers say 0x5000) resolve; one at its size does not.
    DWORD pid = world::AddVantoriel();
    W.standardInput = "Vantoriel64.exe+3010\nVantoriel64.exe+4FFC\nVantoriel64.exe+5000\n";
    EXPECT_EQ(Run({"score", "-", "--json"}), (UINT32)ExitMissed) << Err;
    EXPECT_NE(Out.find("\"static\":{\"expected\":4,\"found\":1}"), std::string::npos) << Out;
    EXPECT_NE(Out.find("\"not_targets\":[\"" + Hex16(world::ImageBase64 + 0x4FFC) + "\"]"), std::string::npos) << Out;
    EXPECT_NE(Out.find("\"lines_without_address\":1"), std::string::npos) << Out;

    // Headers that cannot be read: the extent of the image's regions, 0x5000 too.
    SetUp();
    pid = world::AddVantoriel();
    world::SetProtection(pid, world::ImageBase64, PAGE_NOACCESS);
    ASSERT_EQ(Run({"table", "--csv"}), (UINT32)ExitOk) << Err;
    EXPECT_NE(Out.find(std::string(",StaticWordA,,") + Static0 + ",Vantoriel64.exe+3010,151,151"), std::string::npos) << Out;
    SetUp();
    pid = world::AddVantoriel();
    world::SetProtection(pid, world::ImageBase64, PAGE_NOACCESS);
    W.standardInput = "Vantoriel64.exe+3010\nVantoriel64.exe+5000\n";
    EXPECT_EQ(Run({"score", "-", "--json"}), (UINT32)ExitMissed) << Err;
    EXPECT_NE(Out.find("\"lines_without_address\":1"), std::string::npos) << Out;
}

} // namespace

// ---------------------------------------------------------------- checked writes

// A snapshot read back by changes: a write set makes is the change it sees,
// expected or not; a snapshot of another run of the process is refused.
TEST_F(RemoteTest, ChangesSeesWhatWasWrittenSinceItsSnapshot)
{
    DWORD pid = world::AddVantoriel();
    ASSERT_EQ(Run({"snapshot", "--out", "C:\\s.jsonl"}), (UINT32)ExitOk) << Err;
    ASSERT_EQ(ctlfake::Files.count("C:\\s.jsonl"), 1u);
    std::string snapshot = ctlfake::Files["C:\\s.jsonl"];
    W.files[u"C:\\s.jsonl"] = snapshot;
    EXPECT_EQ(Run({"changes", "C:\\s.jsonl"}), (UINT32)ExitOk) << Err;
    EXPECT_EQ(Out.substr(0, 16), "nothing changed ") << Out;

    ASSERT_EQ(Run({"set", "--value", "9", Heap0}), (UINT32)ExitOk) << Err;
    EXPECT_EQ(Run({"changes", "C:\\s.jsonl", "--expect", "0x" + Heap0 + "=9"}), (UINT32)ExitOk) << Out << Err;
    EXPECT_EQ(Run({"changes", "C:\\s.jsonl"}), (UINT32)ExitMissed) << Err;
    EXPECT_NE(Out.find("the heap target at " + Heap0 + " changed from 151 to 9 as u32"), std::string::npos) << Out;
    EXPECT_EQ(Run({"changes", "C:\\s.jsonl", "--expect", "0x" + Static0 + "=9"}), (UINT32)ExitMissed) << Err;

    const struct {
        const char *name;
        std::vector<std::string> args;
        std::string text;   // the snapshot
        std::string error;
    } refused[] = {
        {"a value the target held", {"changes", "C:\\t.jsonl", "--expect", "0x" + Static0 + "=151"}, snapshot,
         "--expect 0x" + Static0 + "=151: the target held that value in the snapshot, so its write cannot be seen; nothing was compared"},
        {"another process", {"changes", "C:\\t.jsonl", "--pid", "77"}, snapshot,
         "the snapshot is of process " + Pid(pid) + ", not of --pid 77"},
        {"another start of it",
         {"changes", "C:\\t.jsonl"},
         std::string(snapshot).replace(snapshot.find("\"start\":\"") + 9, 16, "0000000000000001"),
         "the snapshot is of another start of process " + Pid(pid) +
             " (it was started at 0000000000000001, this one at 0000000000000000); nothing was compared"},
        {"findings", {"changes", "C:\\t.jsonl"}, "00300000: 1592594996\n",
         "C:\\t.jsonl is no snapshot of vantoriel-ctl: its first line is not a snapshot's"},
        {"a malformed --expect", {"changes", "C:\\t.jsonl", "--expect", Heap0}, snapshot,
         "--expect " + Heap0 + " is not ADDRESS=VALUE[:TYPE]; nothing was compared"},
    };
    for (const auto &c : refused) {
        W.files[u"C:\\t.jsonl"] = c.text;
        EXPECT_EQ(Run(c.args), (UINT32)ExitError) << c.name;
        EXPECT_EQ(Error(), c.error) << c.name;
        EXPECT_EQ(Out, "") << c.name;
    }
    EXPECT_EQ(world::OpenHandles(), 0u);
}

// watch's rounds by the stand-in's clock: one every period, the next at once
// after one that took longer (never a wait for the next tick), and its end:
// the bound, Ctrl+C, or Vantoriel ending.
TEST_F(RemoteTest, WatchReadsEveryPeriodAndSaysHowItEnded)
{
    DWORD pid = world::AddVantoriel();
    int pieces = 0;
    struct {
        const char *name;
        UINT64 readCost;        // µs a piece of a round's reads takes
        std::function<void()> onRead;
        std::string summary;    // what the summary must hold
    } cases[] = {
        {"quick rounds", 0, nullptr,
         "\"reads\":99,\"every_ms\":10,\"period_median_ms\":10.0,\"period_p95_ms\":10.0,\"changes\":0,\"ended\":\"bound\""},
        {"Ctrl+C", 0, [] { if (ctlfake::Clock >= 500000) ctlfake::Interrupt = true; }, "\"ended\":\"interrupted\""},
    };
    for (const auto &c : cases) {
        ctlfake::ResetHooks();
        ctlfake::ReadCost = c.readCost;
        ctlfake::OnRead = c.onRead;
        EXPECT_EQ(Run({"watch", "--for", "1", "--json"}), (UINT32)ExitOk) << c.name << Err;
        std::string last = Out.substr(Out.rfind('{'));
        EXPECT_NE(last.find("\"kind\":\"summary\""), std::string::npos) << c.name << Out;
        EXPECT_NE(last.find(c.summary), std::string::npos) << c.name << ": " << last;
    }
    // Rounds of 3 ms a piece, longer than the period: each follows the one
    // before at once, and the period is a round's length.
    ctlfake::ResetHooks();
    ctlfake::ReadCost = 3000;
    ctlfake::OnRead = [&] { ++pieces; };
    EXPECT_EQ(Run({"watch", "--for", "2", "--json"}), (UINT32)ExitOk) << Err;
    std::string last = Out.substr(Out.rfind('{'));
    size_t at = last.find("\"reads\":");
    ASSERT_NE(at, std::string::npos) << last;
    int reads = std::stoi(last.substr(at + 8));
    ASSERT_GT(reads, 0);
    // The first read, before the rounds, holds as many pieces as each round.
    UINT64 round = (UINT64)pieces / (reads + 1) * 3000;
    ASSERT_GT(round, 10000u) << pieces << " pieces";
    char median[64];
    snprintf(median, sizeof median, "\"period_median_ms\":%llu.%llu,", (unsigned long long)(round / 1000),
             (unsigned long long)(round / 100 % 10));
    EXPECT_NE(last.find(median), std::string::npos) << median << " in " << last;
    // A change seen, at its time; then Vantoriel ends: exit 2, after what was seen.
    ctlfake::ResetHooks();
    pieces = 0;
    ctlfake::OnRead = [&] {
        if (++pieces == 500)
            for (world::Region &r : world::ProcessOf(pid).regions)
                if (Heap0At >= r.base && Heap0At < r.base + r.size) r.bytes[Heap0At - r.base] = 7;
        if (pieces == 700) world::ProcessOf(pid).ended = true;
    };
    // One target, a piece a round: the 500th piece, read in the 499th
    // round, is the last to hold 151.
    EXPECT_EQ(Run({"watch", "--for", "10", "--json", "0x" + Heap0}), (UINT32)ExitError);
    EXPECT_NE(Out.find("\"kind\":\"change\",\"seconds\":5.000,\"address\":\"" + Heap0 +
                       "\",\"target\":\"heap\",\"name\":\"process\",\"type\":\"u32\",\"before\":\"151\",\"after\":\"7\"}"),
              std::string::npos)
        << Out;
    EXPECT_EQ(Error(), "Vantoriel64 (process " + Pid(pid) + ") ended after 7.000 s of the watch; what it saw is above") << Err;
    EXPECT_EQ(world::OpenHandles(), 0u);
}
