// A simulated Sauter ULT 2400 substation network on the far end of a serial
// line: it answers the driver's network commands, read and write requests and
// command texts the way the line unit does, sends spontaneous value messages on
// request, and misbehaves on purpose when a test asks it to.
//
// Thread contract: every public member may be called from any thread at any
// time, also while the service thread runs; configuration changes apply from
// the next frame on. The destructor stops the service thread and closes the line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ultsim {

struct Station {
    unsigned number;
    bool answers = true;
};

// Misbehaviour for the next requests (reads, writes, time synchronisations and
// command texts; never the two network commands).
enum class Fault {
    None,
    NoAnswer,      // nothing at all
    LateAnswer,    // the proper answer, SetLateMs later
    WrongLength,   // one character short (a bare LF CR acknowledgement gains one instead)
    GarbleByte,    // first value character of a "U" reply (first character of other lines) becomes "?"
    MissingCr,     // the CR after the LF becomes "x"
    OtherStation,  // the answer names station + 1 (an acknowledgement names none and stays)
    Error064,      // the error reply instead of the answer
    Error065,
    Error066,
    Error067,
    ExtraChar,  // one character too many (a blank before the LF CR)
};

struct LineEvent {
    bool fromDriver;       // true: a frame received; false: a line (or raw bytes) sent
    std::string bytes;     // exactly as on the line
    uint64_t monotonicNs;  // steady clock: when the frame was complete / the first byte went out
};

class Simulator {
public:
    Simulator();
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // A pseudo-terminal, both sides raw. The simulator holds a descriptor of the
    // slave side for its whole life, so that the master never reads EIO while the
    // driver has the port closed; bytes sent meanwhile wait in the slave's queue.
    bool OpenPty();
    // A real serial device, raw, 8 data bits, no parity; the speed is left as it is.
    bool OpenDevice(const std::string& path);
    // Line speed of a device opened with OpenDevice (B50..B4000000 rates only).
    bool SetDeviceSpeed(unsigned baud);
    std::string SlavePath() const;  // "/dev/pts/N" after OpenPty, the device path after OpenDevice

    void Start();  // starts the service thread; without an open line it does nothing
    void Stop();   // stops it; the line stays open and Start may follow

    // --- configuration ---
    // Answers to successive "P00000Q/": (60 or 61, modem status digit); the last
    // repeats. Default {{61, '4'}}. An empty sequence leaves the command unanswered.
    void SetModemStatuses(std::vector<std::pair<int, char>> seq);
    // "P00001Q/" is answered with one E062 per station, in this order, then E069.
    // Requests to stations that are not listed or do not answer get E067. Default: none.
    void SetStations(std::vector<Station> stations);
    void SetScanDelayMs(unsigned ms);  // pause before E069
    // The value the network holds for a station, memory type and address. memType
    // is the driver's letter: 'A', 'I', 'j'..'w' (offset values, raw = the signed
    // value), 'G', 'V' (plain), 'H' and 'C' (the same dig. signal / command byte,
    // read with "H"), 'K', 'L' (bytes), 'D' (counter, 0..99999999), 'Z' (time
    // program 1..128 as address, 0..99999999), 'E' (last dig. command gate value).
    // Unknown letters throw std::invalid_argument. Unset values read as 0.
    void SetValue(unsigned station, char memType, unsigned address, uint32_t raw);
    // Writes are decoded and stored, so they can be read back here and on the line.
    // Offset values come back sign-extended (-5 as static_cast<uint32_t>(-5)).
    uint32_t GetValue(unsigned station, char memType, unsigned address) const;
    void SetFault(Fault f, unsigned count = 1);  // for the next `count` requests; None clears
    void SetLateMs(unsigned ms);                 // delay of Fault::LateAnswer
    void SetSilent(bool silent);                 // answer nothing at all (explicit sends still go out)
    void SetCommandReply(std::string line);      // answer to a command text, without LF CR; default "OK"
    // Whether writes of K ("h") and L ("b") are acknowledged with LF CR like any
    // other write. Default true.
    void SetAcknowledgeByteWrites(bool on);

    // --- spontaneous lines (each also updates the values the network holds) ---
    void SendDigitalMessage(unsigned station, unsigned address, uint8_t byte);  // 15 chars; H
    void SendAnalogMessage(unsigned station, unsigned address, int16_t value);  // 20 chars; A
    void SendCombinedMessage(unsigned station, unsigned address, uint8_t byte, int16_t analog,
                             uint32_t counter);                // 30 chars; H, A, D
    void SendPowerUp();                                        // E070
    void SendModemStatus(int eNumber, char status);            // E060 / E061
    void SendStationResponse(unsigned station, bool answers);  // E062; also changes the station list
    void SendRaw(const std::string& bytes);                    // exactly these bytes
    // Random value messages from the answering stations (Poisson, this mean rate); 0 = off.
    void SetSpontaneousRate(double messagesPerSecond);
    void SetRandomSeed(uint32_t seed);
    // Paces output at the line's character time, bitsPerChar / baud seconds a
    // byte (start + data + parity + stop bits). 0 = as fast as the line takes it.
    void SetBaud(unsigned baud, unsigned bitsPerChar = 10);

    // --- observation ---
    // Every frame received, in order, "/" included; from the `first`th on, so a
    // poller copies only what is new.
    std::vector<std::string> Requests(size_t first = 0) const;
    bool WaitForRequests(size_t n, unsigned timeoutMs) const;  // true once n frames have arrived
    std::vector<LineEvent> Trace(size_t first = 0) const;
    struct TimeSync {
        unsigned station;
        std::string frame;
    };
    std::vector<TimeSync> TimeSyncs() const;        // accepted time synchronisation frames
    std::vector<std::string> CommandTexts() const;  // frames that were no request, in order

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ultsim
