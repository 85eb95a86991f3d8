// Drawing the run view with plain ANSI escape sequences, and the other
// output modes of `vpihost run`.
#include "vpihost/live_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "vpihost/session.h"

namespace vpihost {
namespace {

constexpr const char kHome[] = "\x1b[H";
constexpr const char kClearScreen[] = "\x1b[2J";
constexpr const char kClearLine[] = "\x1b[K";
constexpr const char kClearBelow[] = "\x1b[J";
constexpr const char kHideCursor[] = "\x1b[?25l";
constexpr const char kShowCursor[] = "\x1b[?25h";
constexpr const char kBold[] = "\x1b[1m";
constexpr const char kPlain[] = "\x1b[0m";
constexpr int kLogLinesShown = 6;
constexpr size_t kGateWidth = 8 + 1 + 18 + 1 + 8 + 1 + 7;  // one gate cell of the view

const char* KindName(Note::Kind kind) {
    static const char* const kNames[] = {"log", "gate", "network", "station", "progress", "info", "trace"};
    return kNames[static_cast<int>(kind)];
}

// Cuts a UTF-8 line to `columns` characters; escape sequences count as none.
std::string FitWidth(const std::string& line, int columns) {
    std::string out;
    int shown = 0;
    bool escape = false;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (escape) {
            out += c;
            escape = !(byte >= 0x40 && byte <= 0x7E && byte != '[');
            continue;
        }
        if (byte == 0x1b) {
            escape = true;
            out += c;
            continue;
        }
        const bool continuation = (byte & 0xC0) == 0x80;
        if (!continuation && shown == columns) break;
        if (!continuation) ++shown;
        out += c;
    }
    return out;
}

std::string Age(int64_t thenNs, int64_t nowNs) {
    if (thenNs == 0) return "-";
    const double seconds = static_cast<double>(nowNs - thenNs) / 1e9;
    char text[32];
    if (seconds < 10) {
        std::snprintf(text, sizeof text, "%.1f s", std::max(seconds, 0.0));
    } else if (seconds < 600) {
        std::snprintf(text, sizeof text, "%.0f s", seconds);
    } else {
        std::snprintf(text, sizeof text, "%.0f min", seconds / 60);
    }
    return text;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string StationHeader(bool simulated) {
    return Format("%-8s %-12s %7s %8s %9s %5s %5s %5s %5s %7s%s  %s", "station", "state", "puts", "updates",
                  "time-outs", "E064", "E065", "E066", "E067", "failed", simulated ? "  requests" : "",
                  "last put");
}

std::string StationLine(const StationRow& row, int commState, bool simulated, int64_t nowNs) {
    return Format("%7u  %-12s %7llu %8llu %9llu %5llu %5llu %5llu %5llu %7llu%s  %s", row.number,
                  LiveState::StationStateText(row, commState), static_cast<unsigned long long>(row.puts),
                  static_cast<unsigned long long>(row.updates), static_cast<unsigned long long>(row.timeouts),
                  static_cast<unsigned long long>(row.errorReplies[0]),
                  static_cast<unsigned long long>(row.errorReplies[1]),
                  static_cast<unsigned long long>(row.errorReplies[2]),
                  static_cast<unsigned long long>(row.errorReplies[3]),
                  static_cast<unsigned long long>(row.failed),
                  simulated ? Format("  %8llu", static_cast<unsigned long long>(row.requests)).c_str() : "",
                  Age(row.lastPutNs, nowNs).c_str());
}

StationRow Totals(const LiveState& state) {
    StationRow total;
    for (const auto& [number, row] : state.Stations()) {
        total.puts += row.puts;
        total.updates += row.updates;
        total.timeouts += row.timeouts;
        total.failed += row.failed;
        total.requests += row.requests;
        for (int i = 0; i < 4; ++i) total.errorReplies[i] += row.errorReplies[i];
        total.lastPutNs = std::max(total.lastPutNs, row.lastPutNs);
    }
    return total;
}

std::string ProgressLine(const LiveState& state) {
    const size_t done = state.ProgressDone();
    const size_t expected = state.ProgressExpected();
    if (state.CommState() == 5) return Format("initial   done, %zu of %zu gates read", done, expected);
    if (state.CommState() != 4) return "initial   waits for the scan";
    constexpr size_t kWidth = 30;
    const size_t filled = expected == 0 ? kWidth : std::min(kWidth, done * kWidth / expected);
    std::string bar;
    for (size_t i = 0; i < kWidth; ++i) bar += i < filled ? "█" : "·";
    return Format("initial   %s %zu of %zu gates", bar.c_str(), done, expected);
}

}  // namespace

LiveOutput::LiveOutput(Mode mode, RunHeader header) : mode_(mode), header_(std::move(header)) {
    if (mode_ == Mode::Terminal) std::printf("%s%s", kHideCursor, kClearScreen);
    if (mode_ == Mode::Csv) std::printf("time_utc,gate,value,raw,unit\n");
    if (mode_ == Mode::Json) {
        JsonObject json;
        json.Str("time", UtcText(header_.startNs)).Str("event", "start").Str("driver", header_.shortName);
        json.Str("banner", header_.banner).Str("port", header_.port).Bool("simulated", header_.simulated);
        json.Str("line", header_.line);
        std::printf("%s\n", json.Text().c_str());
    }
    if (mode_ == Mode::Plain) {
        for (size_t from = 0; from < header_.banner.size();) {
            const size_t end = std::min(header_.banner.find('\n', from), header_.banner.size());
            PrintLine(header_.startNs, "banner", header_.banner.substr(from, end - from));
            from = end + 1;
        }
        PrintLine(header_.startNs, "info",
                  "driver " + header_.shortName + " on " + header_.port +
                      (header_.simulated ? " (simulated network)" : "") + ", " + header_.line);
    }
    std::fflush(stdout);
}

LiveOutput::~LiveOutput() {
    if (mode_ == Mode::Terminal) std::printf("%s", kShowCursor);
    std::fflush(stdout);
}

void LiveOutput::PrintLine(int64_t timeNs, const char* kind, const std::string& text) {
    std::printf("%s %-8s %s\n", ClockText(timeNs).c_str(), kind, text.c_str());
}

void LiveOutput::Say(const std::string& text) {
    status_ = text;
    const int64_t now = RealTimeNs();
    if (mode_ == Mode::Plain) PrintLine(now, "info", text);
    if (mode_ == Mode::Json) {
        JsonObject json;
        json.Str("time", UtcText(now)).Str("event", "info").Str("text", text);
        std::printf("%s\n", json.Text().c_str());
    }
    if (mode_ == Mode::Csv) std::fprintf(stderr, "vpihost: %s\n", text.c_str());
    std::fflush(stdout);
}

void LiveOutput::Notes(const std::vector<Note>& notes) {
    for (const Note& note : notes) {
        switch (mode_) {
            case Mode::Terminal:
                return;
            case Mode::Plain:
                if (!note.quiet) PrintLine(note.timeNs, KindName(note.kind), note.text);
                break;
            case Mode::Json:
                if (!note.plainOnly) {
                    JsonObject json;
                    json.Str("time", UtcText(note.timeNs)).Str("event", KindName(note.kind));
                    const std::string members = note.json.Members();
                    std::printf("{%s%s%s}\n", json.Members().c_str(), members.empty() ? "" : ",",
                                members.c_str());
                }
                break;
            case Mode::Csv:
                if (note.kind == Note::Kind::Gate && !note.plainOnly) {
                    std::printf("%s,%s,%s,%lld,%s\n", UtcText(note.timeNs).c_str(),
                                CsvField(note.gate).c_str(), JsonNumber(note.value).c_str(),
                                static_cast<long long>(note.raw), CsvField(note.unit).c_str());
                }
                break;
        }
    }
    std::fflush(stdout);
}

std::vector<std::string> LiveOutput::ViewLines(const LiveState& state, int rows, int columns) const {
    const int64_t now = RealTimeNs();
    std::vector<std::string> lines;
    // The driver's banner, when the screen has room for it.
    if (rows >= 36) {
        for (size_t from = 0; from < header_.banner.size();) {
            const size_t end = std::min(header_.banner.find('\n', from), header_.banner.size());
            lines.push_back(header_.banner.substr(from, end - from));
            from = end + 1;
        }
    }
    lines.push_back(Format("%svpihost run%s  %s on %s%s, %s, up %s", kBold, kPlain, header_.shortName.c_str(),
                           header_.port.c_str(), header_.simulated ? " (simulated network)" : "",
                           header_.line.c_str(), Age(header_.startNs, now).c_str()));
    lines.push_back(
        Format("network   commState %d: %s", state.CommState(), CommStateName(state.CommState())));
    lines.push_back(ProgressLine(state));
    lines.emplace_back();
    lines.push_back(std::string(kBold) + StationHeader(header_.simulated) + kPlain);
    for (const auto& [number, row] : state.Stations())
        lines.push_back(StationLine(row, state.CommState(), header_.simulated, now));
    lines.emplace_back();

    // The gates get what the stations and the log leave of the screen, in as
    // many columns as its width holds.
    std::vector<const GateRow*> shown;
    for (const GateRow& gate : state.Gates())
        if (!gate.folded) shown.push_back(&gate);
    const int logRows = std::min<int>(kLogLinesShown, static_cast<int>(state.RecentLog().size()));
    // Below the gates: a blank line, the log's title, the log, the status line; the
    // screen's last line stays empty.
    const int room = rows - 1 - static_cast<int>(lines.size()) - 1 - (3 + logRows);
    const size_t gateRows = static_cast<size_t>(std::max(room, 1));
    const size_t gateColumns = std::max<size_t>(1, static_cast<size_t>(columns + 3) / (kGateWidth + 3));
    const size_t capacity = gateRows * gateColumns;
    const bool cut = shown.size() > capacity;
    const size_t cells = cut ? capacity - 1 : shown.size();
    const size_t usedRows = std::min(gateRows, (cells + (cut ? 1 : 0) + gateColumns - 1) / gateColumns);
    std::string header;
    for (size_t column = 0; column < std::min(gateColumns, std::max<size_t>(cells, 1)); ++column)
        header += Format("%s%-8s %-18s %8s %7s", column ? "   " : "", "gate", "value", "raw", "age");
    lines.push_back(std::string(kBold) + header + kPlain);
    for (size_t row = 0; row < usedRows; ++row) {
        std::string text;
        // Column-major, so that a station's gates stay together.
        for (size_t column = 0; column < gateColumns; ++column) {
            const size_t i = column * usedRows + row;
            if (column) text += "   ";
            if (i < cells) {
                const GateRow& gate = *shown[i];
                text += Format("%-8s %-18s %8lld %7s", gate.spec.address.c_str(),
                               LiveState::ValueText(gate).c_str(), static_cast<long long>(gate.raw),
                               Age(gate.lastPutNs, now).c_str());
            } else if (i == cells && cut) {
                text += Format("... and %zu more gates", shown.size() - cells);
            }
        }
        lines.push_back(text);
    }
    lines.emplace_back();
    lines.push_back(std::string(kBold) + "driver log" + kPlain);
    const auto& log = state.RecentLog();
    for (size_t i = log.size() - static_cast<size_t>(logRows); i < log.size(); ++i) lines.push_back(log[i]);
    if (!typing_.empty()) {
        lines.push_back("> " + typing_);
    } else {
        lines.push_back(status_.empty() ? std::string("type help and Enter for commands; Ctrl-C ends")
                                        : status_);
    }
    return lines;
}

void LiveOutput::Render(const LiveState& state) {
    if (mode_ != Mode::Terminal) return;
    winsize size{};
    int rows = 24;
    int columns = 80;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0) {
        rows = size.ws_row;
        columns = size.ws_col;
    }
    std::string frame = kHome;
    const std::vector<std::string> lines = ViewLines(state, rows, columns);
    // One line fewer than the screen, so that the last line feed never scrolls it.
    for (size_t i = 0; i < lines.size() && static_cast<int>(i) < rows - 1; ++i)
        frame += FitWidth(lines[i], columns) + kPlain + kClearLine + "\n";
    frame += kClearBelow;
    std::fwrite(frame.data(), 1, frame.size(), stdout);
    std::fflush(stdout);
    drawn_ = true;
}

void LiveOutput::Summary(const LiveState& state, const char* ending, int32_t result, int64_t endNs) {
    const double seconds = static_cast<double>(endNs - header_.startNs) / 1e9;
    const StationRow total = Totals(state);
    if (mode_ == Mode::Json) {
        std::string stations = "[";
        for (const auto& [number, row] : state.Stations()) {
            JsonObject json;
            json.Int("station", number)
                .Str("state", LiveState::StationStateText(row, state.CommState()))
                .Int("puts", static_cast<int64_t>(row.puts))
                .Int("updates", static_cast<int64_t>(row.updates))
                .Int("timeouts", static_cast<int64_t>(row.timeouts))
                .Ints("errorReplies",
                      {static_cast<int64_t>(row.errorReplies[0]), static_cast<int64_t>(row.errorReplies[1]),
                       static_cast<int64_t>(row.errorReplies[2]), static_cast<int64_t>(row.errorReplies[3])})
                .Int("failed", static_cast<int64_t>(row.failed));
            if (header_.simulated) json.Int("requests", static_cast<int64_t>(row.requests));
            stations += (stations.size() > 1 ? "," : "") + json.Text();
        }
        JsonObject json;
        json.Str("time", UtcText(endNs)).Str("event", "summary").Num("seconds", seconds);
        json.Str("ending", ending).Int("result", result).Int("commState", state.CommState());
        json.Int("initialDone", static_cast<int64_t>(state.ProgressDone()))
            .Int("initialExpected", static_cast<int64_t>(state.ProgressExpected()));
        json.Int("puts", static_cast<int64_t>(total.puts)).Raw("stations", stations + "]");
        json.Int("logMajor", static_cast<int64_t>(state.LogCount(32)))
            .Int("logTrace", static_cast<int64_t>(state.LogCount(64)));
        std::printf("%s\n", json.Text().c_str());
        std::fflush(stdout);
        return;
    }
    if (mode_ == Mode::Terminal && drawn_) Render(state);
    FILE* out = mode_ == Mode::Csv ? stderr : stdout;
    std::fprintf(out, "\nsummary: %.1f s on %s%s, %s result %d\n", seconds, header_.port.c_str(),
                 header_.simulated ? " (simulated network)" : "", ending, result);
    std::fprintf(out, "%s\n", StationHeader(header_.simulated).c_str());
    for (const auto& [number, row] : state.Stations())
        std::fprintf(out, "%s\n", StationLine(row, state.CommState(), header_.simulated, endNs).c_str());
    std::string totalLine = StationLine(total, state.CommState(), header_.simulated, endNs);
    totalLine.replace(0, 21, Format("%-21s", "  total"));
    std::fprintf(out, "%s\n", totalLine.c_str());
    std::fprintf(out, "initial read: %zu of %zu gates; driver log: %llu major, %llu trace lines\n",
                 state.ProgressDone(), state.ProgressExpected(),
                 static_cast<unsigned long long>(state.LogCount(32)),
                 static_cast<unsigned long long>(state.LogCount(64)));
    std::fflush(out);
}

}  // namespace vpihost
