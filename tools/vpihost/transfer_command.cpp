// vpihost read and write: one transaction, the way a host makes it after the
// network is up, and its outcome as the driver reports it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>

#include "vpihost/commands.h"
#include "vpihost/json.h"

namespace vpihost {
namespace {

// The routines of the read and write paths. Their lines are the answer to
// this command; the receiver thread and the initial read log meanwhile too.
constexpr const char* kTransactionRoutines[] = {
    "DoRead()",  "SingleRead()",  "BlockRead()",  "StoreData()",         "BuildRequest()",
    "DoWrite()", "SingleWrite()", "BlockWrite()", "BuildWriteRequest()",
};

bool BelongsToTransaction(const std::string& line, const std::string& address) {
    constexpr std::string_view kPrefix = "TELMOR> ";
    if (line.compare(0, kPrefix.size(), kPrefix) != 0) return false;
    const bool ours = std::any_of(std::begin(kTransactionRoutines), std::end(kTransactionRoutines),
                                  [&](const char* routine) {
                                      return line.compare(kPrefix.size(), std::strlen(routine), routine) == 0;
                                  });
    // The initial read goes through DoRead as well, naming its own blocks.
    return ours &&
           (line.find("'" + address + "'") != std::string::npos || line.find('\'') == std::string::npos);
}

std::string ElementAddress(const GateRecord& record, int index) {
    char text[16];
    const unsigned address = record.address + static_cast<unsigned>(index);
    if (record.memoryType == 'Z') {
        std::snprintf(text, sizeof text, "%03uZ%03u", record.station % 1000, address % 1000);
    } else {
        std::snprintf(text, sizeof text, "%03u%c%02u", record.station % 1000,
                      static_cast<char>(record.memoryType), address % 100);
    }
    return text;
}

struct Outcome {
    int32_t result = VPI_DONE;
    std::vector<std::string> messages;
    std::vector<int64_t> values;  // a read of numbers
    std::string text;             // a read of "!1".."!3", or the answer to a command text
    bool hasText = false;
    double milliseconds = 0;
};

// The command text's answer lands in "!1"; read it back for the user.
bool ReadAnswerText(Driver& driver, std::string& text) {
    GateRecord record{};
    if (CheckGate(driver, record, "!1", 7, 0) != VPI_DONE) return false;
    ValueArea area;
    GateRequest request = MakeRequest(record, 1, area);
    if (driver.Call(VPI_SINGLE_READ, &request, sizeof request) != VPI_DONE) return false;
    text = DecodeText(area, true);
    return true;
}

Outcome Transact(Driver& driver, const Options& options, const GateRecord& record, ValueArea& area,
                 bool write) {
    const bool block = options.blockSize > 0;
    const int count = block ? options.blockSize : 1;
    GateRequest request = MakeRequest(record, count, area);
    const uint32_t command =
        write ? (block ? VPI_BLOCK_WRITE : VPI_SINGLE_WRITE) : (block ? VPI_BLOCK_READ : VPI_SINGLE_READ);
    Outcome outcome;
    EventSink::Instance().Drain();
    const auto begin = std::chrono::steady_clock::now();
    outcome.result = driver.Call(command, &request, sizeof request);
    outcome.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    for (const std::string& line : LogLines(EventSink::Instance().Drain()))
        if (BelongsToTransaction(line, record.addressText)) outcome.messages.push_back(line);
    if (outcome.result != VPI_DONE) return outcome;
    if (write) {
        if (record.memoryType == 1) outcome.hasText = ReadAnswerText(driver, outcome.text);
    } else if (IsTextGate(record.memoryType)) {
        outcome.hasText = true;
        outcome.text = DecodeText(area);
    } else {
        outcome.values = block ? DecodeBlock(area, record.memoryType, count)
                               : std::vector<int64_t>{DecodeSingle(area, record.memoryType)};
    }
    return outcome;
}

void PrintOutcome(const Options& options, const GateRecord& record, const Outcome& outcome, bool write,
                  int32_t endResult) {
    const std::string address = record.addressText;
    if (options.json) {
        JsonObject json;
        json.Str("command", write ? "write" : "read").Str("gate", address).Int("result", outcome.result);
        json.Str("memoryType", MemoryTypeText(record.memoryType)).Int("station", record.station);
        json.Int("address", record.address);
        if (write) json.Str("value", options.positional[1]);
        if (outcome.hasText) json.Str(write ? "answer" : "text", outcome.text);
        if (!write && outcome.values.size() == 1 && options.blockSize == 0)
            json.Int("value", outcome.values[0]);
        if (!write && options.blockSize > 0) json.Ints("values", outcome.values);
        json.Num("milliseconds", outcome.milliseconds).Int("endResult", endResult);
        json.Strings("messages", outcome.messages);
        std::printf("%s\n", json.Text().c_str());
        return;
    }
    for (const std::string& message : outcome.messages) std::fprintf(stderr, "%s\n", message.c_str());
    if (options.csv && !write) {
        const std::string time = UtcText(RealTimeNs());
        std::printf("time_utc,gate,result,value\n");
        if (outcome.hasText)
            std::printf("%s,%s,%d,%s\n", time.c_str(), address.c_str(), outcome.result,
                        CsvField(outcome.text).c_str());
        for (size_t i = 0; i < outcome.values.size(); ++i)
            std::printf("%s,%s,%d,%lld\n", time.c_str(), ElementAddress(record, static_cast<int>(i)).c_str(),
                        outcome.result, static_cast<long long>(outcome.values[i]));
        if (outcome.result != VPI_DONE)
            std::printf("%s,%s,%d,\n", time.c_str(), address.c_str(), outcome.result);
        return;
    }
    if (outcome.result != VPI_DONE) {
        std::printf("%s %s: %s (result %d)\n", address.c_str(), write ? "not written" : "not read",
                    outcome.result == VPI_NOT_NOW ? "refused" : "failed", outcome.result);
    } else if (write) {
        std::printf("%s <- %s: done in %.1f ms\n", address.c_str(), options.positional[1].c_str(),
                    outcome.milliseconds);
        if (outcome.hasText) std::printf("answer: %s\n", JsonQuote(outcome.text).c_str());
    } else if (outcome.hasText) {
        std::printf("%s = %s\n", address.c_str(), JsonQuote(outcome.text).c_str());
    } else if (options.blockSize == 0) {
        std::printf("%s = %lld\n", address.c_str(), static_cast<long long>(outcome.values[0]));
    } else {
        for (size_t i = 0; i < outcome.values.size(); ++i)
            std::printf("%s = %lld\n", ElementAddress(record, static_cast<int>(i)).c_str(),
                        static_cast<long long>(outcome.values[i]));
    }
}

void PrintRefusal(const Options& options, const std::string& address, int32_t result, const char* stage,
                  const std::vector<std::string>& messages) {
    if (options.json) {
        JsonObject json;
        json.Str("command", options.command)
            .Str("gate", address)
            .Int("result", result)
            .Str("failed", stage)
            .Strings("messages", messages);
        std::printf("%s\n", json.Text().c_str());
        return;
    }
    for (const std::string& message : messages) std::fprintf(stderr, "%s\n", message.c_str());
    std::fprintf(stderr, "vpihost: %s: %s failed with result %d\n", address.c_str(), stage, result);
}

int Transfer(const Options& options, bool write) {
    if (options.positional.size() != (write ? 2u : 1u))
        return Fail(kExitUsage, write ? "write: give ADDRESS VALUE (see --help)" : "read: give one ADDRESS");
    const std::string& address = options.positional[0];
    Driver driver;
    VpiInfo info{};
    if (!PrepareDriver(options, driver, info)) return kExitUnavailable;
    CatchStopSignals();

    // The address first: a refused gate needs no network.
    EventSink::Instance().Drain();
    GateRecord record{};
    const int gateType = options.gateType.value_or(DefaultGateType(address));
    const int32_t checked = CheckGate(driver, record, address.c_str(), gateType, options.blockSize);
    if (checked != VPI_DONE) {
        PrintRefusal(options, address, checked, "address check", LogLines(EventSink::Instance().Drain()));
        return checked;
    }
    ValueArea area;
    std::string error;
    if (write && !EncodeWrite(record.memoryType, options.positional[1], area, error))
        return Fail(kExitUsage, error);

    Session session(driver);
    LineSettings line;
    if (const int code = PrepareLine(options, info, session, line); code != 0) return code;
    const int32_t started = session.ColdStart(line);
    if (started != VPI_DONE) {
        PrintRefusal(options, address, started, "ColdStart", LogLines(EventSink::Instance().Drain()));
        return started;
    }
    // What the driver said while coming up, in case it does not.
    std::deque<std::string> recent;
    // EndVpi waits for the driver's initial read, whose transactions, cut off from
    // the receiver thread, run into their time-outs. The demo network's initial
    // read is short: let it finish first.
    const int wanted = options.simulate ? 5 : 4;
    const bool up = session.WaitForNetwork(wanted, options.waitSeconds, [&] {
        for (std::string& text : LogLines(EventSink::Instance().Drain())) {
            recent.push_back(std::move(text));
            if (recent.size() > 8) recent.pop_front();
        }
        return !StopRequested();
    });
    if (!up) {
        const int state = session.CommState();
        session.End();
        if (!options.json)
            for (const std::string& text : recent) std::fprintf(stderr, "%s\n", text.c_str());
        if (StopRequested()) return Fail(130, "stopped while the network was coming up");
        char reason[160];
        std::snprintf(reason, sizeof reason,
                      "the network on %s did not come up within %g s (commState %d: %s)", line.port.c_str(),
                      options.waitSeconds, state, CommStateName(state));
        return Fail(kExitUnavailable, reason);
    }
    session.StartActivity();
    session.TakeTrace();  // what brought the network up is not this command's
    const Outcome outcome = Transact(driver, options, record, area, write);
    if (options.trace)
        for (const TraceLine& traced : session.TakeTrace())
            std::fprintf(stderr, "%s %s\n", ClockText(traced.realTimeNs).c_str(), traced.Text().c_str());
    const int32_t ended = session.End();
    PrintOutcome(options, record, outcome, write, ended);
    return outcome.result;
}

}  // namespace

int ReadCommand(const Options& options) {
    return Transfer(options, false);
}
int WriteCommand(const Options& options) {
    return Transfer(options, true);
}

}  // namespace vpihost
