// Cutting one direction of the line into frames or lines.
#include "vpihost/traffic_pieces.h"

namespace vpihost {

std::vector<TrafficPiece> TrafficPieces::Feed(std::string_view bytes, int64_t nowNs) {
    std::vector<TrafficPiece> pieces;
    for (const char c : bytes) {
        if (pending_.empty()) startNs_ = nowNs;
        pending_ += c;
        if (pending_.ends_with(end_) || pending_.size() >= kMaxPiece) {
            pieces.push_back({std::move(pending_), startNs_});
            pending_.clear();
        }
    }
    if (!bytes.empty()) lastNs_ = nowNs;
    return pieces;
}

std::vector<TrafficPiece> TrafficPieces::Idle(int64_t nowNs) {
    if (pending_.empty() || nowNs - lastNs_ < kQuietNs) return {};
    return Flush();
}

std::vector<TrafficPiece> TrafficPieces::Flush() {
    std::vector<TrafficPiece> pieces;
    if (!pending_.empty()) pieces.push_back({std::move(pending_), startNs_});
    pending_.clear();
    return pieces;
}

}  // namespace vpihost
