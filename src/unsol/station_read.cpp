// The initial read of every present station: six block reads per station,
// each value put into the gate that a value message would name, stopping as
// soon as the driver ends, the network restarts or a reset is asked for.
#include "unsol/station_read.h"

#include <cstring>

#include "host/log.h"
#include "unsol/gate_put.h"
#include "unsol/value_message.h"

namespace telmor {

namespace {

constexpr const char* kRoutine = "ReadStations";

// The parameter size BlockRead receives from the host with a GateRequest.
constexpr uint32_t kGateRequestParamSize = 48;
constexpr int32_t kBlockCount = 32;
constexpr uint8_t kNormalOperation = 4;
constexpr uint8_t kInitialReadDone = 5;

struct StationBlock {
    char memoryType;
    uint16_t firstAddress;
    uint16_t addressesUsed;  // the block at 40 ends at 55
    int32_t dataWidth;
};
constexpr StationBlock kStationBlocks[] = {
    {'H', 0, 32, 8},   {'H', 40, 16, 8}, {'A', 0, 32, 16},
    {'A', 40, 16, 16}, {'D', 0, 32, 32}, {'D', 40, 16, 32},
};

// Room for 32 values of up to 32 bits, the largest block.
struct alignas(4) ValueArea {
    unsigned char bytes[kBlockCount * 4];
};

bool MustStop(const DriverContext& context) {
    return EndRequested(context) || context.commState.load() < kNormalOperation ||
           context.resetRequested.load() != 0;
}

// Counters come in two requests, upper digits then lower; the second is made
// only when the first succeeded.
int32_t ReadBlock(DriverContext& context, GateRequest& request, BlockReader read) {
    VpiCallBlock callBlock{&context, VPI_BLOCK_READ, context.instanceNo, kGateRequestParamSize, &request};
    const int32_t result = read(&callBlock);
    if (result != 0 || request.memoryType != 'D') return result;
    request.counterPhase = 1;
    return read(&callBlock);
}

uint32_t RawValueAt(const ValueArea& area, const StationBlock& block, uint16_t index) {
    switch (block.dataWidth) {
        case 8:
            return RawFromWord(area.bytes[index]);
        case 16: {
            int16_t value = 0;
            std::memcpy(&value, area.bytes + index * 2u, sizeof value);
            return RawFromWord(static_cast<uint16_t>(value));
        }
        default: {
            uint32_t value = 0;
            std::memcpy(&value, area.bytes + index * 4u, sizeof value);
            return value;
        }
    }
}

void PutBlockValues(const DriverContext& context, uint16_t station, const StationBlock& block,
                    const ValueArea& area) {
    for (uint16_t index = 0; index < block.addressesUsed; ++index) {
        const auto address = static_cast<uint16_t>(block.firstAddress + index);
        if (block.memoryType == 'H') {
            PutDigitalByte(context, kRoutine, station, address, area.bytes[index]);
            continue;
        }
        const GateAddress gate = MakeGateAddress(station, block.memoryType, address);
        PutGateValue(context, kRoutine, gate.text, RawValueAt(area, block, index));
    }
}

void ReadStationBlock(DriverContext& context, uint16_t station, const StationBlock& block, BlockReader read) {
    const GateAddress blockText = MakeGateAddress(station, block.memoryType, block.firstAddress);
    ValueArea area{};
    GateRequest request{};
    request.addressText = blockText.text;
    request.station = station;
    request.memoryType = block.memoryType;
    request.address = block.firstAddress;
    request.bitNumber = -1;
    request.dataWidth = block.dataWidth;
    request.count = kBlockCount;
    request.value = area.bytes;
    const int32_t result = ReadBlock(context, request, read);
    if (result != 0) {
        TELMOR_LOG(kLevelTrace, "TELMOR> ReadStations(), DoBlockRead('%s') ret val is %d", blockText.text,
                   static_cast<int>(result));
        return;
    }
    PutBlockValues(context, station, block, area);
}

}  // namespace

void ReadStationWith(DriverContext& context, uint16_t station, BlockReader read) {
    if (station >= kStationCount) return;
    for (const StationBlock& block : kStationBlocks) {
        if (MustStop(context)) return;
        ReadStationBlock(context, station, block, read);
    }
}

void ReadStationsWith(DriverContext& context, BlockReader read) {
    TELMOR_LOG(kLevelTrace,
               "TELMOR> ReadStations() info, reading/initialising all values from connected stations ...");
    for (uint16_t station = 0; station < kStationCount; ++station) {
        if (EndRequested(context)) return;
        // A walk cut short by a restart or reset never counts as done, even if
        // the network is back in normal operation by the time it is noticed.
        if (context.commState.load() < kNormalOperation || context.resetRequested.load() != 0) return;
        if (context.stationPresent[station].load() != 1) continue;
        context.readStationNo.store(station);
        ReadStationWith(context, station, read);
    }
    if (MustStop(context)) return;
    // Only normal operation becomes "done": a restart of the receiver thread
    // between the check and the store must not be overwritten.
    uint8_t seen = context.commState.load();
    if (seen < kNormalOperation || !context.commState.compare_exchange_strong(seen, kInitialReadDone)) return;
    TELMOR_LOG(kLevelTrace, "TELMOR> ReadStations() info, ... initialising all values done");
}

}  // namespace telmor
