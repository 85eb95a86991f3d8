// Turns the network's proper answer to a request into the faulty one a test
// asked for.
#pragma once

#include <string>
#include <vector>

#include "ultsim/frame.h"
#include "ultsim/network.h"
#include "ultsim/simulator.h"

namespace ultsim {

// `lateMs` is the extra delay of Fault::LateAnswer.
std::vector<Reply> ApplyFault(Fault fault, std::vector<Reply> replies, const Frame& frame, unsigned lateMs);

}  // namespace ultsim
