// A pseudo-terminal pair for tests: the test holds the master side and plays
// the line unit; the code under test opens the slave by its path.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "telmor/vpi.h"

namespace telmor::test {

// Fills a host record's port name with the name of a device path:
// "/dev/pts/123" becomes "pts/123", which the driver finds under /dev, so
// pseudo-terminals numbered 100 and up fit the record's 11 characters. A name
// that still does not fit fails the test instead of being cut to the name
// of some other device.
void SetPortName(char (&portName)[VPI_PORT_NAME_SIZE], const std::string& path);

struct PtyPair {
    int master = -1;
    // The test's own descriptor of the slave. While it is open, reads on the
    // master wait for data instead of failing with EIO before the code under
    // test has opened the slave.
    int slave = -1;
    std::string slavePath;  // /dev/pts/N
    int error = 0;          // errno when the pair could not be opened

    // Opens a pair with both sides in raw mode (no echo, no CR/NL changes).
    // On failure `master` stays -1.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master >= 0; }

    // Writes every byte to the master side. False on an error.
    bool Send(std::string_view bytes) const;
    // Reads from the master until `count` bytes came or `timeoutMs` real
    // milliseconds passed; returns what came.
    std::string Receive(size_t count, int timeoutMs) const;

    void CloseMaster();
    void CloseSlave();
};

}  // namespace telmor::test
