// The read request frame "P" station, address field, request letter "/" of a
// gate or block.
#include "transactions/build_request.h"

#include <cstdio>

#include "host/log.h"
#include "transactions/exchange.h"
#include "transactions/request_fields.h"

namespace telmor {

namespace {

constexpr size_t kReadFrameSize = 9;  // eight characters and the terminator
constexpr char kOwnLetter = 0;        // the request letter is the memory-type letter

// Request letters by memory type. Counter blocks ask for their upper and
// lower digits with two letters (block and secondBlock, by counterPhase).
struct ReadFrameRule {
    char memoryType;
    char single;
    char block;
    char secondBlock;
};

constexpr ReadFrameRule kReadFrameRules[] = {
    {'A', kOwnLetter, kOwnLetter, kOwnLetter},
    {'G', kOwnLetter, kOwnLetter, kOwnLetter},
    {'H', kOwnLetter, kOwnLetter, kOwnLetter},
    {'I', kOwnLetter, kOwnLetter, kOwnLetter},
    {'j', kOwnLetter, kOwnLetter, kOwnLetter},
    {'k', kOwnLetter, kOwnLetter, kOwnLetter},
    {'l', kOwnLetter, kOwnLetter, kOwnLetter},
    {'m', kOwnLetter, kOwnLetter, kOwnLetter},
    {'n', kOwnLetter, kOwnLetter, kOwnLetter},
    {'o', kOwnLetter, kOwnLetter, kOwnLetter},
    {'p', kOwnLetter, kOwnLetter, kOwnLetter},
    {'q', kOwnLetter, kOwnLetter, kOwnLetter},
    {'r', kOwnLetter, kOwnLetter, kOwnLetter},
    {'s', kOwnLetter, kOwnLetter, kOwnLetter},
    {'t', kOwnLetter, kOwnLetter, kOwnLetter},
    {'u', kOwnLetter, kOwnLetter, kOwnLetter},
    {'v', kOwnLetter, kOwnLetter, kOwnLetter},
    {'w', kOwnLetter, kOwnLetter, kOwnLetter},
    {'C', 'H', 'H', 'H'},
    {'D', 'N', 'D', 'E'},
    {'K', 'h', 'h', 'h'},
    {'L', 'b', 'b', 'b'},
    {'V', 'C', 'C', 'C'},
};

const ReadFrameRule* FindReadFrameRule(int32_t memoryType) {
    for (const ReadFrameRule& rule : kReadFrameRules) {
        if (rule.memoryType == memoryType) return &rule;
    }
    return nullptr;
}

char RequestLetter(const ReadFrameRule& rule, const GateRequest& request) {
    char letter = rule.single;
    if (request.count != 1) letter = request.counterPhase == 0 ? rule.block : rule.secondBlock;
    return letter == kOwnLetter ? rule.memoryType : letter;
}

struct ReadFrameFields {
    uint32_t addressField;
    char letter;
    bool blockMarker;
};

enum class FieldsResult { kReady, kNoFrame, kOutOfRange };

FieldsResult ReadFields(const GateRequest& request, ReadFrameFields* fields) {
    if (request.memoryType == 'Z') {
        fields->blockMarker = true;  // time programs carry the marker also when single
        if (!TimeProgramField(request.address, &fields->addressField, &fields->letter)) {
            return FieldsResult::kOutOfRange;
        }
    } else {
        const ReadFrameRule* rule = FindReadFrameRule(request.memoryType);
        if (rule == nullptr) return FieldsResult::kNoFrame;
        fields->addressField = request.address;
        fields->letter = RequestLetter(*rule, request);
        fields->blockMarker = request.count != 1;
    }
    // A number wider than its field would make a longer frame that asks the
    // network for something else.
    if (!FieldsFitFrame(request.station, fields->addressField)) return FieldsResult::kOutOfRange;
    return FieldsResult::kReady;
}

}  // namespace

void BuildRequest(const GateRequest& request, char* frame) {
    ReadFrameFields fields{};
    switch (ReadFields(request, &fields)) {
        case FieldsResult::kReady:
            break;
        case FieldsResult::kNoFrame:
            TELMOR_LOG(kLevelMajor, "TELMOR> BuildRequest() internal error file SAUREAD line %u",
                       request.count == 1 ? 366u : 434u);
            return;
        case FieldsResult::kOutOfRange:
            // An empty frame, so that no earlier request is sent in its place.
            TELMOR_LOG(kLevelMajor,
                       "TELMOR> BuildRequest() error, station %u or address %u out of range, '%s'",
                       request.station, request.address, AddressOf(request.addressText));
            frame[0] = '\0';
            return;
    }
    std::snprintf(frame, kReadFrameSize, "P%03u%02u%c/", request.station, fields.addressField, fields.letter);
    if (fields.blockMarker) ApplyBlockMarker(frame);
}

}  // namespace telmor
