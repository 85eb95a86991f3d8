// The driver's binding to the host library: what the driver exports and
// imports, and that its log lines reach the host library's own `err` also
// when the host's global scope holds the C library's `err` (which exits).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host_services.h"
#include "veldan_host.h"

namespace {

struct CommandResult {
    std::string output;
    int exitCode = -1;  // -1: did not exit normally
};

CommandResult RunCommand(const std::string& command) {
    CommandResult run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) run.output.append(chunk, got);
    const int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    return run;
}

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

std::string EnvPath(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Names of `nm -D --defined-only` (or --undefined-only), without versions.
struct DynamicSymbol {
    std::string name;
    std::string version;  // what followed '@', empty when unversioned
};

std::vector<DynamicSymbol> DynamicSymbols(const std::string& library, const char* which) {
    const CommandResult run =
        RunCommand("nm -D " + std::string(which) + " --format=posix " + Quoted(library) + " 2>&1");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::vector<DynamicSymbol> symbols;
    for (const std::string& line : Lines(run.output)) {
        const std::string field = line.substr(0, line.find(' '));
        const size_t at = field.find('@');
        symbols.push_back({field.substr(0, at), at == std::string::npos ? "" : field.substr(at)});
    }
    return symbols;
}

// Symbols the linker itself may put into a dynamic symbol table.
bool IsSectionMarker(const std::string& name) {
    static const std::set<std::string> markers = {"_init", "_fini", "_edata", "_end", "__bss_start"};
    return markers.count(name) != 0;
}

// host_binding_child is built next to the test programs.
std::string ChildPath() {
    const std::string fromEnv = EnvPath("HOST_BINDING_CHILD");
    if (!fromEnv.empty()) return fromEnv;
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return "";
    std::string path(self, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/') + 1) + "host_binding_child";
}

TEST(DriverSymbols, ExportsVpiMainAloneAndImportsNoErr) {
    const std::string driver = EnvPath("TELMOR_DRIVER");
    ASSERT_FALSE(driver.empty()) << "TELMOR_DRIVER names the driver library";
    ASSERT_EQ(access(driver.c_str(), R_OK), 0) << driver << " is not built";

    std::vector<std::string> exported;
    for (const DynamicSymbol& symbol : DynamicSymbols(driver, "--defined-only")) {
        if (!IsSectionMarker(symbol.name)) exported.push_back(symbol.name);
    }
    EXPECT_EQ(exported, std::vector<std::string>{"VpiMain"});

    for (const DynamicSymbol& symbol : DynamicSymbols(driver, "--undefined-only")) {
        EXPECT_NE(symbol.name, "err") << "the driver imports err" << symbol.version
                                      << "; it must reach the host library's err through its handle";
    }
}

TEST(DriverSymbols, HostLibraryExportsTheServicesUnversioned) {
    const std::string veldan = EnvPath("VELDAN_LIBRARY");
    ASSERT_FALSE(veldan.empty()) << "VELDAN_LIBRARY names the host library";
    std::set<std::string> services = {"err", "KoriGetGateIdByAddressStr", "KoriCook", "KoriPutGateVal",
                                      "KoriSetPlcCommStatus"};
    for (const DynamicSymbol& symbol : DynamicSymbols(veldan, "--defined-only")) {
        if (IsSectionMarker(symbol.name)) continue;
        const bool service = services.erase(symbol.name) != 0;
        if (service) {
            EXPECT_EQ(symbol.version, "") << symbol.name << " carries a symbol version";
        }
        EXPECT_TRUE(service || symbol.name.rfind("Veldan", 0) == 0)
            << "exported beyond the host API: " << symbol.name;
    }
    EXPECT_TRUE(services.empty()) << "missing: " << *services.begin();
}

// The binding as the driver's code uses it, in a process linked against the
// host library in the ordinary way.
TEST(HostBinding, ServicesReachTheHostLibrary) {
    VeldanReset();
    const telmor::platform::HostServices& host = telmor::platform::Host();
    EXPECT_EQ(&host, &telmor::platform::Host()) << "bound once";

    EXPECT_EQ(host.err(64, "TELMOR> HostBinding() info, %s %u", "bound", 7u), 0);
    ASSERT_EQ(VeldanLogCount(), 1u);
    char text[128];
    int level = 0;
    ASSERT_EQ(VeldanGetLogLine(0, &level, text, sizeof text), 0);
    EXPECT_EQ(level, 64);
    EXPECT_STREQ(text, "TELMOR> HostBinding() info, bound 7");

    uint32_t defined = 0;
    ASSERT_EQ(VeldanDefineGate(3, "012D05", 4, &defined), 0);
    uint32_t id = 0;
    double value = 0;
    EXPECT_EQ(host.getGateId(0, 3, "012D05", &id), 0);
    EXPECT_EQ(id, defined);
    EXPECT_EQ(host.getGateId(0, 3, "012D06", &id), VELDAN_NO_SUCH_GATE);
    EXPECT_EQ(host.cook(0, id, 123456u, &value), 0);
    EXPECT_EQ(value, 123456.0);
    EXPECT_EQ(host.putGateVal(0, id, 2, value, 0, 0), 0);
    EXPECT_EQ(host.setPlcCommStatus(0, 3, 12, 1, 1), 0);
    ASSERT_EQ(VeldanCallCount(), 5u);
    VeldanCall call{};
    ASSERT_EQ(VeldanGetCall(4, &call), 0);
    EXPECT_EQ(call.kind, VELDAN_CALL_COMM_STATUS);
    EXPECT_EQ(call.station, 12u);
    VeldanReset();
}

// A plain C host loads the driver with RTLD_LOCAL while its global scope holds
// the C library's err: had the driver bound to that one, GetVpiInfo's log line
// would end the child (exit status 64, the level) before it reports back.
class HostileHost : public ::testing::TestWithParam<const char*> {};

TEST_P(HostileHost, DriverLogsThroughTheHostLibraryNotTheCLibrary) {
    const std::string driver = EnvPath("TELMOR_DRIVER");
    const std::string veldan = EnvPath("VELDAN_LIBRARY");
    const std::string child = ChildPath();
    ASSERT_FALSE(driver.empty() || veldan.empty()) << "TELMOR_DRIVER and VELDAN_LIBRARY must be set";
    ASSERT_EQ(access(child.c_str(), X_OK), 0) << child << " is not built";

    const CommandResult run =
        RunCommand(Quoted(child) + " " + Quoted(driver) + " " + Quoted(veldan) + " " + GetParam() + " 2>&1");
    SCOPED_TRACE(run.output);
    EXPECT_NE(run.exitCode, 64)
        << "the child ended with status 64: the C library's err(64, ...) took the log line";
    EXPECT_EQ(run.exitCode, 0) << "the child did not finish normally";
    const std::vector<std::string> lines = Lines(run.output);
    auto has = [&](const std::string& line) {
        for (const std::string& l : lines)
            if (l == line) return true;
        return false;
    };
    EXPECT_TRUE(has("GLOBAL_ERR present")) << "the C library's err should be in the child's global scope";
    EXPECT_TRUE(has("RESULT 0"));
    EXPECT_TRUE(has("CONTEXT_SIZE 3152"));
    EXPECT_TRUE(has("LOG 64 TELMOR> GetVpiInfo() exited")) << "the line must arrive at the host library";
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "CHILD DONE");
}

INSTANTIATE_TEST_SUITE_P(LoadOrders, HostileHost, ::testing::Values("preload", "pulled"));

}  // namespace
