// Tables from the Windows line codes to termios.
#include "platform/posix/line_termios.h"

#include <cstddef>

namespace telmor::platform::posix {
namespace {

struct BaudRate {
    uint32_t rate;
    speed_t speed;
};

constexpr BaudRate kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

// Indexed by the data-bits code minus 5.
constexpr tcflag_t kCharSizes[] = {CS5, CS6, CS7, CS8};

// Indexed by the Windows parity code: none, odd, even, mark, space. Mark and
// space are "stick" parity (CMSPAR), PARODD selecting mark.
constexpr tcflag_t kParityFlags[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};

// Indexed by the Windows stop-bit code: one, one and a half, two. termios
// has no 1.5: CSTOPB means 2, and 1.5 with 5 data bits on 8250-type UARTs.
constexpr tcflag_t kStopFlags[] = {0, CSTOPB, CSTOPB};
constexpr uint8_t kOneAndAHalfStopBits = 1;
constexpr uint8_t kTwoStopBits = 2;

// The frames a COM port refuses as well: 1.5 stop bits exist only with 5
// data bits, 2 only with 6 to 8. CSTOPB could not tell them apart anyway.
bool FrameExists(const LineSettings& settings) {
    if (settings.stopBits == kOneAndAHalfStopBits) return settings.dataBits == 5;
    if (settings.stopBits == kTwoStopBits) return settings.dataBits != 5;
    return true;
}

constexpr tcflag_t kFrameFlags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
constexpr tcflag_t kKeptFlags = CSTOPB | PARODD | CMSPAR | CRTSCTS | CLOCAL | CREAD;

template <typename T, size_t N>
constexpr size_t CountOf(const T (&)[N]) {
    return N;
}

}  // namespace

bool SpeedForBaud(uint32_t baudRate, speed_t* speed) {
    for (const BaudRate& entry : kBaudRates) {
        if (entry.rate == baudRate) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

bool TermiosForLine(const LineSettings& settings, termios* tio) {
    speed_t speed = B0;
    size_t sizeIndex = static_cast<size_t>(settings.dataBits) - 5;
    if (!SpeedForBaud(settings.baudRate, &speed) || settings.dataBits < 5 ||
        sizeIndex >= CountOf(kCharSizes) || settings.parity >= CountOf(kParityFlags) ||
        settings.stopBits >= CountOf(kStopFlags) || !FrameExists(settings)) {
        return false;
    }
    cfmakeraw(tio);
    tio->c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio->c_cflag &= ~kFrameFlags;
    tio->c_cflag |= kCharSizes[sizeIndex] | kParityFlags[settings.parity] | kStopFlags[settings.stopBits];
    // HUPCL drops DTR and RTS at the last close, as closing a COM port does.
    tio->c_cflag |= CLOCAL | CREAD | HUPCL;
    // A byte with a parity error then reads as NUL, which no line check
    // accepts, instead of passing as a different valid character.
    if (settings.parity != 0) tio->c_iflag |= INPCK;
    if (RtsFromLineControl(settings.lineControl) == RtsMode::Handshake) tio->c_cflag |= CRTSCTS;
    // With VMIN 0 a non-blocking read of an empty queue returns 0 instead of
    // EAGAIN, which would look like a device that has gone.
    tio->c_cc[VMIN] = 1;
    tio->c_cc[VTIME] = 0;
    return cfsetispeed(tio, speed) == 0 && cfsetospeed(tio, speed) == 0;
}

bool LineKept(const termios& wanted, const termios& actual) {
    return cfgetospeed(&actual) == cfgetospeed(&wanted) && cfgetispeed(&actual) == cfgetispeed(&wanted) &&
           (actual.c_cflag & kKeptFlags) == (wanted.c_cflag & kKeptFlags) &&
           actual.c_cc[VMIN] == wanted.c_cc[VMIN] && actual.c_cc[VTIME] == wanted.c_cc[VTIME];
}

}  // namespace telmor::platform::posix
