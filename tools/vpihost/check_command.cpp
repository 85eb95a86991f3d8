// vpihost check: the driver's own verdict on gate addresses, without a port.
#include <algorithm>
#include <cstdio>

#include "vpihost/commands.h"
#include "vpihost/json.h"

namespace vpihost {
namespace {

std::string DescribeRecord(const GateRecord& record) {
    std::string text = "station " + std::to_string(record.station) + ", memory type " +
                       MemoryTypeText(record.memoryType) + ", address " + std::to_string(record.address);
    if (record.bitNumber >= 0) text += ", bit " + std::to_string(record.bitNumber);
    return text + ", data width " + std::to_string(record.dataWidth) + ", gate type " +
           std::to_string(record.gateType);
}

const char* Verdict(int32_t result) {
    return result == VPI_DONE ? "accepted" : result == VPI_NOT_NOW ? "refused" : "unable";
}

}  // namespace

int CheckCommand(const Options& options) {
    if (options.positional.empty()) return Fail(kExitUsage, "check: no address given (see --help)");
    Driver driver;
    VpiInfo info{};
    if (!PrepareDriver(options, driver, info)) return kExitUnavailable;
    EventSink::Instance().Drain();
    int32_t worst = VPI_DONE;
    for (const std::string& address : options.positional) {
        const int gateType = options.gateType.value_or(DefaultGateType(address));
        GateRecord record{};
        const int32_t result = CheckGate(driver, record, address.c_str(), gateType, options.blockSize);
        const std::vector<std::string> messages = LogLines(EventSink::Instance().Drain());
        worst = std::max(worst, result);
        if (options.json) {
            JsonObject json;
            json.Str("gate", address).Int("gateType", gateType).Int("blockSize", options.blockSize);
            json.Int("result", result).Bool("accepted", result == VPI_DONE);
            if (result == VPI_DONE) {
                json.Int("station", record.station)
                    .Str("memoryType", MemoryTypeText(record.memoryType))
                    .Int("address", record.address)
                    .Int("bitNumber", record.bitNumber)
                    .Int("dataWidth", record.dataWidth);
            }
            json.Strings("messages", messages);
            std::printf("%s\n", json.Text().c_str());
            continue;
        }
        std::string detail;
        if (result == VPI_DONE) {
            detail = DescribeRecord(record);
        } else {
            detail = messages.empty() ? "(refused without a message)" : messages.front();
        }
        std::printf("%-8s %-9s %s\n", address.c_str(), Verdict(result), detail.c_str());
        for (size_t i = 1; result != VPI_DONE && i < messages.size(); ++i)
            std::printf("%-8s %-9s %s\n", "", "", messages[i].c_str());
    }
    return worst;
}

}  // namespace vpihost
