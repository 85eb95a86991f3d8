// Opening, configuring and closing the serial port.
#include <cstring>

#include "host/log.h"
#include "platform/serial.h"
#include "serial/serial_link.h"

namespace telmor {

int OpenPort(const PortSettings& settings, platform::Handle* port) {
    // The host gives at most 11 characters; never read past the field.
    char name[VPI_PORT_NAME_SIZE];
    std::memcpy(name, settings.portName, sizeof(name));
    name[sizeof(name) - 1] = '\0';
    // Byte size, parity and stop bits are taken from the low byte.
    const platform::LineSettings line{
        settings.baudRate,
        static_cast<uint8_t>(settings.dataBits & 0xFF),
        static_cast<uint8_t>(settings.parity & 0xFF),
        static_cast<uint8_t>(settings.stopBits & 0xFF),
        settings.lineControl,
    };
    return platform::SerialOpen(name, line, port);
}

platform::Handle OpenCom(const PortSettings& settings) {
    platform::Handle port = platform::kNullHandle;
    if (OpenPort(settings, &port) != platform::kSerialOpenOk) {
        TELMOR_LOG(kLevelTrace, "TELMOR> OpenCom() open COM port failed");
        return platform::kNullHandle;
    }
    TELMOR_LOG(kLevelTrace, "TELMOR> OpenCom() exited OK, file handle %u", port);
    return port;
}

uint32_t ReadTimeoutMs(int32_t hundredths) {
    constexpr uint32_t kDefaultReadTimeoutMs = 1000;
    return hundredths > 0 ? static_cast<uint32_t>(hundredths) * 10u : kDefaultReadTimeoutMs;
}

int ClosePort(platform::Handle port) {
    return platform::SerialClose(port) ? 0 : 7;
}

void SetReadTimeout(DriverContext& context, platform::Handle port, int32_t hundredths) {
    context.readTimeoutCs.store(hundredths, std::memory_order_relaxed);
    const uint32_t wantedMs = ReadTimeoutMs(hundredths);
    uint32_t currentMs = 0;
    if (!platform::SerialGetReadTimeout(port, &currentMs)) return;
    if (currentMs != wantedMs) platform::SerialSetReadTimeout(port, wantedMs);
}

}  // namespace telmor
