// vpihost, the commissioning host: its gate file parser directly, and the
// program itself as a user runs it, against the shipped driver and the
// simulator on a pseudo-terminal.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vpihost/gate_file.h"
#include "vpihost/port_watch.h"

namespace {

using vpihost::GateFile;
using vpihost::ParseGateFile;

GateFile Parse(const std::string& text) {
    std::istringstream in(text);
    return ParseGateFile(in, "gates.txt");
}

TEST(GateFile, ReadsGatesWithScaleUnitAndComments) {
    const GateFile file = Parse(
        "# heating, station 12\n"
        "\n"
        "012A05 1 0.1 °C      # flow temperature\n"
        "012H057   digital\n"
        "012D00 4 kWh\n"
        "!T text\n"
        "   012A06 signed16 2.5\n");
    ASSERT_TRUE(file.errors.empty()) << file.errors.front();
    ASSERT_EQ(file.gates.size(), 5u);
    const vpihost::GateSpec& flow = file.gates[0];
    EXPECT_EQ(flow.address, "012A05");
    EXPECT_EQ(flow.gateType, 1);
    EXPECT_DOUBLE_EQ(flow.scale, 0.1);
    EXPECT_EQ(flow.unit, "°C");
    EXPECT_EQ(flow.line, 3);
    EXPECT_EQ(file.gates[1].gateType, 6);
    EXPECT_DOUBLE_EQ(file.gates[1].scale, 1);
    // A unit may stand without a scale.
    EXPECT_EQ(file.gates[2].unit, "kWh");
    EXPECT_DOUBLE_EQ(file.gates[2].scale, 1);
    EXPECT_EQ(file.gates[3].address, "!T");
    EXPECT_EQ(file.gates[3].gateType, 7);
    EXPECT_DOUBLE_EQ(file.gates[4].scale, 2.5);
    EXPECT_EQ(file.gates[4].line, 7);
}

TEST(GateFile, EveryBadLineIsReportedWithItsNumber) {
    struct Case {
        const char* line;
        const char* error;
    };
    const Case cases[] = {
        {"012A05", "gate type missing after '012A05'"},
        {"012A05 9", "gate type '9' is not 0..7 or a type name"},
        {"012A05 analog", "gate type 'analog' is not 0..7 or a type name"},
        {"012A05 1 0 °C", "scale '0' must be a non-zero number"},
        {"012A05 1 inf", "scale 'inf' must be a non-zero number"},
        {"012A05 1 0.1 °C extra", "unexpected 'extra' after the unit"},
        {"0123456789012345678901234567890123 0", "address '0123456789012345678901234567890123' is too long"},
        {"012A40 0 block", "block size missing after 'block'"},
        {"012A40 0 block 0.5", "block size '0.5' is not a whole number 1..32"},
        {"012A40 0 block 33", "block size '33' is not a whole number 1..32"},
        {"012A40 0 block 32 0.1 °C extra", "unexpected 'extra' after the unit"},
    };
    for (const Case& c : cases) {
        // Behind a comment and a blank line, so the number is the file's, not the gate's.
        const GateFile file = Parse(std::string("# gates\n\n") + c.line + "\n001A00 0\n");
        ASSERT_EQ(file.errors.size(), 1u) << c.line;
        EXPECT_EQ(file.errors[0], std::string("gates.txt:3: ") + c.error);
        ASSERT_EQ(file.gates.size(), 1u) << "the good line after the bad one is kept";
        EXPECT_EQ(file.gates[0].line, 4);
    }
}

TEST(GateFile, ABlockStandsForTheGatesFromItsAddressOn) {
    const GateFile file = Parse("012A40 analog16 block 32 0.1 °C\n001Z017 4 block 16\n");
    ASSERT_TRUE(file.errors.empty()) << file.errors.front();
    ASSERT_EQ(file.gates.size(), 2u);
    const vpihost::GateSpec& block = file.gates[0];
    EXPECT_EQ(block.blockSize, 32);
    EXPECT_DOUBLE_EQ(block.scale, 0.1);
    EXPECT_EQ(block.unit, "°C");

    struct Case {
        vpihost::GateSpec block;
        std::vector<std::string> members;  // first, second and last
        size_t count;
    };
    const Case cases[] = {
        {block, {"012A40", "012A41", "012A71"}, 32},
        {file.gates[1], {"001Z017", "001Z018", "001Z032"}, 16},
    };
    for (const Case& c : cases) {
        const std::vector<vpihost::GateSpec> members = vpihost::BlockMembers(c.block);
        ASSERT_EQ(members.size(), c.count) << c.block.address;
        EXPECT_EQ(members[0].address, c.members[0]);
        EXPECT_EQ(members[1].address, c.members[1]);
        EXPECT_EQ(members.back().address, c.members[2]);
        EXPECT_EQ(members.back().gateType, c.block.gateType);
        EXPECT_EQ(members.back().blockSize, 0) << "each member is a single gate";
        EXPECT_EQ(members.back().line, c.block.line);
    }
    vpihost::GateSpec special;
    special.address = "!T";
    special.blockSize = 4;
    EXPECT_TRUE(vpihost::BlockMembers(special).empty()) << "no point number to count on from";
}

TEST(GateFile, ADuplicateNamesTheFirstDefinition) {
    const GateFile file = Parse("012A05 1\n012A06 1\n012A05 0\n");
    ASSERT_EQ(file.errors.size(), 1u);
    EXPECT_EQ(file.errors[0], "gates.txt:3: gate 012A05 is already defined on line 1");
    EXPECT_EQ(file.gates.size(), 2u);
}

// ---- the program --------------------------------------------------------

std::string Program() {
    const char* driver = std::getenv("TELMOR_DRIVER");
    if (driver == nullptr) return {};
    std::string path = driver;
    path.erase(path.rfind('/') + 1);
    return path + "../bin/vpihost";
}

struct ProgramRun {
    int exitCode = -1;
    std::string out;  // stdout and stderr together
};

// Runs a shell command line and waits for it.
ProgramRun RunShell(const std::string& command) {
    ProgramRun run;
    FILE* pipe = popen(("(" + command + ") 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // The program leaves the process with _exit, so a sanitizer report shows only here.
    EXPECT_EQ(run.out.find("Sanitizer"), std::string::npos) << command << "\n" << run.out;
    return run;
}

// Runs vpihost with `arguments` (shell words) and waits for it.
ProgramRun RunProgram(const std::string& arguments) {
    return RunShell(Program() + " " + arguments);
}

// Runs vpihost on a pseudo-terminal of 40 rows, as a user at a terminal
// would, and types `keys` after `typeAfter`.
ProgramRun RunOnTerminal(const std::vector<std::string>& arguments, const std::string& keys,
                         std::chrono::milliseconds typeAfter) {
    ProgramRun run;
    winsize size{};
    size.ws_row = 40;
    size.ws_col = 132;
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child == 0) {
        const std::string program = Program();
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (child < 0) return run;
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::seconds(120);
    bool typed = keys.empty();
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        if (!typed && std::chrono::steady_clock::now() - start >= typeAfter) {
            typed = write(master, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
        }
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, 200) <= 0) continue;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the program has ended
        run.out.append(buffer, static_cast<size_t>(n));
    }
    close(master);
    int status = 0;
    waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    EXPECT_EQ(run.out.find("Sanitizer"), std::string::npos) << run.out;
    return run;
}

class VpihostProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (Program().empty()) GTEST_SKIP() << "TELMOR_DRIVER is not set; ctest sets it";
        ASSERT_EQ(access(Program().c_str(), X_OK), 0) << Program();
    }
};

TEST_F(VpihostProgram, InfoDrawsTheBannerAsAUtf8Box) {
    const ProgramRun run = RunProgram("info");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    std::string edge;
    for (int i = 0; i < 65; ++i) edge += "═";
    const std::string box = "╔" + edge + "╗\n" +
                            "║  TELMOR :  SAUTER ULT 2400, substation network         (32 bit) ║\n" + "╚" +
                            edge + "╝\n";
    EXPECT_EQ(run.out.compare(0, box.size(), box), 0) << run.out;
    EXPECT_EQ(run.out.find('\b'), std::string::npos);
    EXPECT_NE(run.out.find("short name     Sauter ULT 2400-R7K\n"), std::string::npos);
    EXPECT_NE(run.out.find("context size   3152 bytes\n"), std::string::npos);

    const ProgramRun json = RunProgram("info --json");
    ASSERT_EQ(json.exitCode, 0);
    EXPECT_NE(json.out.find("\"contextSize\":3152"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"bannerBytes\":204"), std::string::npos) << json.out;
}

TEST_F(VpihostProgram, CheckExitsWithTheDriversVerdict) {
    struct Case {
        const char* arguments;
        int exitCode;
        const char* shown;
    };
    const Case cases[] = {
        {"check 012A05", 0,
         "012A05   accepted  station 12, memory type A, address 5, data width 16, gate type 1"},
        {"check 001H057", 0, "bit 7, data width 8, gate type 6"},
        {"check 001A99", 1, "TELMOR> Parse() error, analog measurement address 99 out of range in '001A99'"},
        {"check --type 0 001C05", 1, "gate type should be ANALOG 16 BIT, SIGNED16, gate '001C05'"},
        {"check 012A05 001A99", 1, "012A05   accepted"},
        {"check --block 32 001A40", 0, "001A40   accepted"},
        {"check --block 16 001A00", 1, "block size should be 32"},
        {"check --block 32 001E00", 2, "internal error file SAUPARSE line 188"},
        {"check", 64, "no address given"},
        {"check --type 9 001A00", 64, "--type '9': a gate type 0..7"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = RunProgram(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.out;
        EXPECT_NE(run.out.find(c.shown), std::string::npos) << c.arguments << "\n" << run.out;
    }
}

TEST_F(VpihostProgram, ABadGateFileStopsRunBeforeTheDriverStarts) {
    const std::string path = ::testing::TempDir() + "vpihost_bad_gates.txt";
    std::ofstream(path) << "012A05 1 0.1 °C\n# next one is wrong\n012A06 nine\n";
    const ProgramRun run = RunProgram("run --simulate --gates " + path);
    EXPECT_EQ(run.exitCode, 65) << run.out;
    EXPECT_NE(run.out.find(path + ":3: gate type 'nine' is not 0..7 or a type name"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("ColdStart"), std::string::npos) << run.out;
    std::remove(path.c_str());
}

TEST_F(VpihostProgram, ReadAgainstTheSimulatorPrintsOneJsonObject) {
    // 012A01 of the demo network holds 243 (24.3 °C).
    const ProgramRun run = RunProgram("read 012A01 --simulate --json");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line: " << run.out;
    EXPECT_EQ(run.out.rfind("{\"command\":\"read\",\"gate\":\"012A01\",\"result\":0,", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\"value\":243,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"endResult\":0,\"messages\":[]}"), std::string::npos) << run.out;
}

TEST_F(VpihostProgram, SimulateTakesANetworkFile) {
    const std::string path = ::testing::TempDir() + "vpihost_network.txt";
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("# one station with one value\nstation 7\nvalue 7 A 3 123\n", file);
    std::fclose(file);
    const ProgramRun run = RunProgram("read 007A03 --simulate " + path + " --json");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("\"value\":123,"), std::string::npos) << run.out;
    std::remove(path.c_str());
}

TEST_F(VpihostProgram, ReadFailuresExitWithTheDriversResult) {
    // Station 99 is not in the network: the line unit answers E067 to every attempt.
    const ProgramRun missing = RunProgram("read 099A00 --simulate --json");
    EXPECT_EQ(missing.exitCode, 2) << missing.out;
    EXPECT_NE(missing.out.find("\"result\":2"), std::string::npos) << missing.out;
    EXPECT_NE(missing.out.find("NO REPLY ON REQUEST (67)"), std::string::npos) << missing.out;
    // A measurement is not written; the driver says so without going on the line.
    const ProgramRun refused = RunProgram("write 012A01 5 --simulate");
    EXPECT_EQ(refused.exitCode, 1) << refused.out;
    EXPECT_NE(refused.out.find("no write supported for analog measurement gates, '012A01'"),
              std::string::npos)
        << refused.out;
}

TEST_F(VpihostProgram, RunWithoutATerminalTellsTheStoryInPlainLines) {
    // Commands from a script once the initial read is done, about 7 s after the
    // start; the run lasts long enough for them also on a loaded machine.
    const ProgramRun run = RunShell("(sleep 7.5; printf 'write 012I01 250\\nread 012I01\\n') | " + Program() +
                                    " run --simulate --duration 12");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    for (const char* line : {
             "banner   ╔",
             "info     driver Sauter ULT 2400-R7K on ",
             "station  station 12 answering",
             "station  station 5 does not answer",
             "progress initial read done: 189 of 189 gates",
             "gate     012A01 = 24.3 °C (raw 243)",
             "log      TELMOR> EndVpi() exited, 0",
             "(simulated network), EndVpi result 0",
             "info     012I01 <- 250: done",
             "info     012I01 = 250",
             "  total ",
         }) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    }
    EXPECT_EQ(run.out.find("\x1b["), std::string::npos) << "no escape sequences in plain output";
}

TEST_F(VpihostProgram, RunDefinesTheGatesOfABlockTheDriverAccepts) {
    const std::string gates = "/tmp/vpihost_test_blocks." + std::to_string(getpid());
    std::ofstream(gates) << "012A40 analog16 block 32 0.1 °C\n001A05 0 block 16\n";
    const ProgramRun run = RunProgram("run --simulate --gates " + gates + " --duration 9");
    std::remove(gates.c_str());
    ASSERT_EQ(run.exitCode, 0) << run.out;
    for (const std::string& line : {
             gates + ":2: block 001A05 type 0 refused, left out: TELMOR> BlockParse() error, block address "
                     "should be 0 or 40, block '001A05'",
             std::string("info     16 gates defined; ColdStart"),
             std::string("progress initial read done: 16 of 16 gates"),
             std::string("gate     012A55 = "),
         }) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    }
    EXPECT_EQ(run.out.find("012A56"), std::string::npos) << "the block at 40 ends at 55";
}

TEST_F(VpihostProgram, RunOnATerminalUpdatesTheViewInPlaceAndTakesCommands) {
    // The initial read is done about 7 s after the start; the read comes after it.
    const ProgramRun run = RunOnTerminal({"run", "--simulate", "--duration", "12"}, "read 012A01\r",
                                         std::chrono::milliseconds(7500));
    ASSERT_EQ(run.exitCode, 0) << run.out;
    // The view is redrawn from the top left several times.
    size_t frames = 0;
    for (size_t at = run.out.find("\x1b[H"); at != std::string::npos; at = run.out.find("\x1b[H", at + 1))
        ++frames;
    EXPECT_GT(frames, 5u);
    const std::string last = run.out.substr(run.out.rfind("\x1b[H"));
    for (const char* shown : {"network   commState 5: normal operation, initial read done",
                              "initial   done, 189 of 189 gates read", "answering", "no response",
                              "001A00   19.7 °C", "driver log", "summary: "}) {
        EXPECT_NE(last.find(shown), std::string::npos) << shown << "\n" << last;
    }
    EXPECT_NE(run.out.find("012A01 = 243"), std::string::npos)
        << "the typed read's answer in the status line";
    EXPECT_EQ(run.out.find("read 012A01\r"), std::string::npos) << "keys are not echoed into the view";
}

}  // namespace

namespace {

using vpihost::PortWatch;
constexpr int64_t kMs = 1'000'000;

TEST(PortWatch, OnlyTheReceiversReadFailuresCountAsALostDevice) {
    struct Case {
        const char* line;
        bool failure;
    };
    const Case cases[] = {
        {"TELMOR> GetChar() GetOverlappedResult() error 19", true},
        {"TELMOR> GetChar() overlapped ReadFile() failed, err 5", true},
        {"TELMOR> Send() GetOverlappedResult() error 5", false},
        {"TELMOR> DoRead() Error, COM port not open", false},
        {"TELMOR> Receive() illegal message, 41h i.s.o. CR, 3 char read 'AB'", false},
    };
    for (const Case& c : cases) EXPECT_EQ(vpihost::IsReadFailure(c.line), c.failure) << c.line;
}

TEST(PortWatch, TheDevicePathIsTheNameOrUnderDevButNotForComPorts) {
    const std::pair<const char*, const char*> cases[] = {
        {"/tmp/ult", "/tmp/ult"}, {"ttyUSB0", "/dev/ttyUSB0"}, {"COM3", ""},
        {"com256", ""},           {"COM257", "/dev/COM257"},   {"COM0", "/dev/COM0"},
    };
    for (const auto& [port, path] : cases) EXPECT_EQ(vpihost::DevicePathOf(port), path) << port;
}

// A device unplugged and plugged in again, passes of the main loop 50 ms apart.
TEST(PortWatch, ClosesOnceWaitsForThePathAndReopensUntilItWorks) {
    PortWatch watch("/dev/ttyUSB0");
    bool present = true;
    int probes = 0;
    const auto exists = [&](const std::string& path) {
        EXPECT_EQ(path, "/dev/ttyUSB0");
        ++probes;
        return present;
    };
    const std::string failure = "TELMOR> GetChar() GetOverlappedResult() error 19";
    EXPECT_EQ(watch.Tick(0, exists), PortWatch::Action::None) << "nothing to do on a working port";
    EXPECT_EQ(watch.OnLog("TELMOR> ReadStations() info, ... done", 0), PortWatch::Action::None);
    EXPECT_FALSE(watch.Lost());

    present = false;
    EXPECT_EQ(watch.OnLog(failure, 100 * kMs), PortWatch::Action::Close);
    EXPECT_TRUE(watch.Lost());
    watch.Closed(0, 100 * kMs);
    EXPECT_EQ(watch.OnLog(failure, 150 * kMs), PortWatch::Action::None) << "the same loss";

    // Three seconds without the device: a look at the path each second, no reopen.
    for (int64_t now = 150 * kMs; now < 3100 * kMs; now += 50 * kMs)
        EXPECT_EQ(watch.Tick(now, exists), PortWatch::Action::None) << now / kMs << " ms";
    EXPECT_EQ(probes, 2);

    // Back, but the first reopen fails: tried again a second later, not sooner.
    present = true;
    int64_t now = 3100 * kMs;
    EXPECT_EQ(watch.Tick(now, exists), PortWatch::Action::Reopen);
    EXPECT_FALSE(watch.Reopened(2));
    EXPECT_TRUE(watch.Lost());
    for (now += 50 * kMs; now < 4100 * kMs; now += 50 * kMs)
        EXPECT_EQ(watch.Tick(now, exists), PortWatch::Action::None) << now / kMs << " ms";
    EXPECT_EQ(watch.Tick(now, exists), PortWatch::Action::Reopen);
    EXPECT_TRUE(watch.Reopened(0));
    EXPECT_FALSE(watch.Lost());
    EXPECT_EQ(watch.Tick(now + 2000 * kMs, exists), PortWatch::Action::None);

    // A second loss is noticed like the first.
    EXPECT_EQ(watch.OnLog(failure, now + 3000 * kMs), PortWatch::Action::Close);
}

TEST(PortWatch, AFailedCloseIsRetriedBeforeAnyReopen) {
    PortWatch watch("COM2");  // no path to look at: reopened blindly once closed
    const auto exists = [](const std::string&) {
        ADD_FAILURE() << "a COM name has no path to check";
        return false;
    };
    ASSERT_EQ(watch.OnLog("TELMOR> GetChar() overlapped ReadFile() failed, err 5", 0),
              PortWatch::Action::Close);
    watch.Closed(2, 0);
    EXPECT_EQ(watch.Tick(500 * kMs, exists), PortWatch::Action::None);
    EXPECT_EQ(watch.Tick(1000 * kMs, exists), PortWatch::Action::Close);
    EXPECT_FALSE(watch.Reopened(0)) << "a reopen while the port is still open would leak it";
    watch.Closed(0, 1000 * kMs);
    EXPECT_EQ(watch.Tick(1500 * kMs, exists), PortWatch::Action::None);
    EXPECT_EQ(watch.Tick(2000 * kMs, exists), PortWatch::Action::Reopen);
    EXPECT_TRUE(watch.Reopened(0));
}

// The simulator on a pseudo-terminal behind a link, killed under the running
// host: reads fail as with an unplugged adapter. A new simulator behind the
// same link is the device plugged in again.
TEST_F(VpihostProgram, RunClosesTheLostPortAndReopensItWhenTheDeviceIsBack) {
    std::string ultsim = Program();
    ultsim.replace(ultsim.rfind('/') + 1, std::string::npos, "ultsim");
    ASSERT_EQ(access(ultsim.c_str(), X_OK), 0) << ultsim;
    // The host record holds port names of up to 11 characters.
    const std::string link = "/tmp/vw" + std::to_string(getpid() % 10000);
    const std::string serve = ultsim + " --pty --link " + link + " --stations 1 >/dev/null 2>&1";
    const ProgramRun run =
        RunShell(serve + " & S=$!; for i in $(seq 50); do [ -e " + link +
                 " ] && break; sleep 0.1; done; (sleep 3; kill $S; sleep 2; exec " + serve + ") & B=$!; " +
                 Program() + " run --port " + link + " --duration 9; R=$?; kill $B; wait; exit $R");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const size_t lost = run.out.find("info     device lost: " + link);
    const size_t noPort = run.out.find("commState -1: no port");
    const size_t back = run.out.find("info     device back: " + link);
    ASSERT_NE(lost, std::string::npos) << run.out;
    EXPECT_NE(noPort, std::string::npos) << run.out;
    ASSERT_NE(back, std::string::npos) << run.out;
    EXPECT_LT(lost, back);
    EXPECT_NE(run.out.find("TELMOR> ReOpenCom() exited 0"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("COM port not open"), std::string::npos) << "no status reads without a port";
    EXPECT_NE(run.out.find("EndVpi result 0"), std::string::npos) << run.out;
}

// Ctrl-C ends the run through EndVpi; a second stop signal, for when that
// takes too long, leaves at once. (Two different signals, sent back to back:
// two of the same kind could merge into one.)
TEST_F(VpihostProgram, ASecondStopSignalLeavesWithoutWaiting) {
    const ProgramRun run =
        RunShell(Program() +
                 " run --simulate --duration 30 & V=$!; sleep 3; kill -INT $V; kill -TERM $V; "
                 "wait $V");
    EXPECT_EQ(run.exitCode, 130) << run.out;
    EXPECT_NE(run.out.find("vpihost: stopped again, leaving without waiting for EndVpi"), std::string::npos)
        << run.out;
}

// The driver reports a station that stops answering to the host; the view
// shows the report as it comes, however many calls the host library records.
TEST_F(VpihostProgram, RunShowsTheStationsTheDriverReportsLost) {
    std::string ultsim = Program();
    ultsim.replace(ultsim.rfind('/') + 1, std::string::npos, "ultsim");
    const std::string link = "/tmp/vs" + std::to_string(getpid() % 10000);
    const ProgramRun run = RunShell(
        ultsim + " --pty --link " + link + " --stations 1,2 --station-off 5:2 >/dev/null 2>&1 & S=$!; " +
        "for i in $(seq 50); do [ -e " + link + " ] && break; sleep 0.1; done; " + Program() +
        " run --port " + link + " --duration 9; R=$?; kill $S; wait; exit $R");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const size_t answering = run.out.find("station  station 2 answering");
    const size_t reported = run.out.find("station  station 2 does not answer (reported to the host)");
    ASSERT_NE(reported, std::string::npos) << run.out;
    EXPECT_LT(answering, reported);
    EXPECT_EQ(run.out.find("station 1 does not answer"), std::string::npos) << run.out;
}

// A real port traced: vpihost opens the device (the simulator behind a
// link) and gives the driver a pseudo-terminal passing the line through.
TEST_F(VpihostProgram, TraceOnARealPortShowsTheLinePassedThroughTheTool) {
    std::string ultsim = Program();
    ultsim.replace(ultsim.rfind('/') + 1, std::string::npos, "ultsim");
    const std::string link = "/tmp/vt" + std::to_string(getpid() % 10000);
    const ProgramRun run =
        RunShell(ultsim + " --pty --link " + link + " --stations 3 >/dev/null 2>&1 & S=$!; " +
                 "for i in $(seq 50); do [ -e " + link + " ] && break; sleep 0.1; done; " + Program() +
                 " run --port " + link + " --trace --duration 4; R=$?; kill $S; " + "wait; exit $R");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("on " + link + " (traced through /dev/pts/"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("trace    -> P00000Q/"), std::string::npos) << run.out;
    const size_t scanEnd = run.out.find("trace    <- E069000000000000\\n\\r");
    const size_t scanLogged = run.out.find("E069 received, scan array done");
    ASSERT_NE(scanEnd, std::string::npos) << run.out;
    EXPECT_LT(scanEnd, scanLogged) << "the line comes before what the driver logs about it";
    EXPECT_NE(run.out.find("trace    <- E062000@00030000\\n\\r"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("station 3 answering"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("EndVpi result 0"), std::string::npos) << run.out;
}

}  // namespace
