// The station and address fields that read and write request frames share.
#include "transactions/request_fields.h"

namespace telmor {

namespace {

constexpr uint32_t kFirstTimeProgram = 1;
constexpr uint32_t kLastTimeProgram = 128;
constexpr uint32_t kProgramsPerLetter = 16;
constexpr uint32_t kFirstProgramField = 40;
constexpr int kBlockMarkerPosition = 4;
constexpr char kBlockMarker = 8;

}  // namespace

bool FieldsFitFrame(uint32_t station, uint32_t addressField) {
    return station <= kMaxFrameStation && addressField <= kMaxAddressField;
}

bool TimeProgramField(uint32_t program, uint32_t* addressField, char* letter) {
    if (program < kFirstTimeProgram || program > kLastTimeProgram) return false;
    const uint32_t index = program - kFirstTimeProgram;
    *addressField = kFirstProgramField + 2 * (index % kProgramsPerLetter);
    *letter = static_cast<char>('h' + index / kProgramsPerLetter);
    return true;
}

void ApplyBlockMarker(char* frame) {
    frame[kBlockMarkerPosition] = static_cast<char>(frame[kBlockMarkerPosition] + kBlockMarker);
}

}  // namespace telmor
