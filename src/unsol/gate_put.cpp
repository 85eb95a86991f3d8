// Putting values into the host's gates: lookup, cooking and put, with every
// host-service failure logged once and the next put going on.
#include "unsol/gate_put.h"

#include "host/log.h"
#include "unsol/value_message.h"

namespace telmor {

namespace {

// The host has no gate with this address: the user did not configure it.
constexpr uint16_t kNoSuchGate = 5;

// The put's constant arguments, always the same for this driver.
constexpr int kPutKind = 2;

char Digit(unsigned value) {
    return static_cast<char>('0' + value % 10u);
}

int HostInstance(const DriverContext& context) {
    return static_cast<int>(context.instanceNo & 0xFFu);
}

bool LookUpGate(const DriverContext& context, const char* routine, const char* address, uint32_t* gateId) {
    const auto rc =
        static_cast<uint16_t>(platform::Host().getGateId(0, HostInstance(context), address, gateId));
    if (rc == 0) return true;
    if (rc != kNoSuchGate) {
        TELMOR_LOG(kLevelTrace, "TELMOR> %s(), Kori5GetGateId('%s') rc %u", routine, address, unsigned{rc});
    }
    return false;
}

void StoreInGate(const char* routine, const char* address, uint32_t gateId, double value) {
    const auto rc = static_cast<uint16_t>(platform::Host().putGateVal(0, gateId, kPutKind, value, 0, 0));
    if (rc != 0) {
        TELMOR_LOG(kLevelTrace, "TELMOR> %s(), Kori5PutGateVal('%s') rc %u", routine, address, unsigned{rc});
    }
}

}  // namespace

GateAddress MakeGateAddress(uint16_t station, char memoryType, uint16_t address) {
    return GateAddress{{Digit(station / 100u), Digit(station / 10u), Digit(station), memoryType,
                        Digit(address / 10u), Digit(address), '\0', '\0'}};
}

GateAddress MakeBitGateAddress(const GateAddress& byteGate, uint16_t bit) {
    GateAddress bitGate = byteGate;
    bitGate.text[6] = Digit(bit);
    bitGate.text[7] = '\0';
    return bitGate;
}

void PutGateValue(const DriverContext& context, const char* routine, const char* address, uint32_t raw) {
    uint32_t gateId = 0;
    if (!LookUpGate(context, routine, address, &gateId)) return;
    double value = 0.0;
    const auto rc = static_cast<uint16_t>(platform::Host().cook(0, gateId, raw, &value));
    if (rc != 0) {
        TELMOR_LOG(kLevelTrace, "TELMOR> %s(), Kori5Cook('%s') rc %u", routine, address, unsigned{rc});
        return;
    }
    StoreInGate(routine, address, gateId, value);
}

void PutGateBit(const DriverContext& context, const char* routine, const char* address, bool bit) {
    uint32_t gateId = 0;
    if (!LookUpGate(context, routine, address, &gateId)) return;
    StoreInGate(routine, address, gateId, bit ? 1.0 : 0.0);
}

void PutDigitalByte(const DriverContext& context, const char* routine, uint16_t station, uint16_t address,
                    uint8_t byte) {
    const GateAddress byteGate = MakeGateAddress(station, 'H', address);
    PutGateValue(context, routine, byteGate.text, RawFromWord(byte));
    for (uint16_t bit = 0; bit < 8; ++bit) {
        const GateAddress bitGate = MakeBitGateAddress(byteGate, bit);
        PutGateBit(context, routine, bitGate.text, ((byte >> bit) & 1u) != 0);
    }
}

}  // namespace telmor
