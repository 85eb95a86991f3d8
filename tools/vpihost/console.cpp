// The run view's command line.
#include "vpihost/console.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "vpihost/commands.h"

namespace vpihost {

const char kConsoleHelp[] =
    "commands: read ADDRESS | write ADDRESS VALUE | time STATION [WEEKDAY 101..107] | text COMMAND | "
    "reset | warm | help";

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string ResultText(int32_t result) {
    return result == VPI_DONE ? "done"
                              : (result == VPI_NOT_NOW ? "refused" : "failed") + std::string(" (result ") +
                                    std::to_string(result) + ")";
}

// A single gate as the host hands it over: checked by the driver first.
std::string Transact(Driver& driver, const std::string& address, const std::string* value) {
    GateRecord record{};
    const int32_t checked = CheckGate(driver, record, address.c_str(), DefaultGateType(address), 0);
    if (checked != VPI_DONE) return address + ": address " + ResultText(checked);
    ValueArea area;
    std::string error;
    if (value && !EncodeWrite(record.memoryType, *value, area, error)) return address + ": " + error;
    GateRequest request = MakeRequest(record, 1, area);
    const int32_t result = driver.Call(value ? VPI_SINGLE_WRITE : VPI_SINGLE_READ, &request, sizeof request);
    if (result != VPI_DONE)
        return address + (value ? " <- " + *value : std::string()) + ": " + ResultText(result);
    if (value) return address + " <- " + *value + ": done";
    if (IsTextGate(record.memoryType)) return address + " = '" + DecodeText(area, true) + "'";
    return address + " = " + std::to_string(DecodeSingle(area, record.memoryType));
}

}  // namespace

Console::Console(Driver& driver, bool keys) : driver_(driver), keys_(keys), worker_([this] { Work(); }) {
    if (keys_ && tcgetattr(STDIN_FILENO, &saved_) == 0) {
        termios raw = saved_;
        // Keys one by one, no echo; Ctrl-C still ends the run.
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        RememberTerminal(saved_);
        restore_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
}

Console::~Console() {
    Finish();
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
    if (restore_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    ForgetTerminal();
}

void Console::Finish() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !working_; });
}

void Console::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) return;
        const std::vector<std::string> words = std::move(queue_.front());
        queue_.pop_front();
        working_ = true;
        lock.unlock();
        std::string result = Execute(words);
        lock.lock();
        working_ = false;
        results_.push_back(std::move(result));
        changed_.notify_all();
    }
}

void Console::Poll() {
    while (open_) {
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        if (poll(&ready, 1, 0) <= 0 || (ready.revents & (POLLIN | POLLHUP)) == 0) return;
        char buffer[256];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            open_ = false;  // the end of a script; the run goes on
            if (!typing_.empty()) Submit(typing_);
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n' || c == '\r') {
                Submit(typing_);
                typing_.clear();
            } else if (c == 0x7F || c == '\b') {
                if (!typing_.empty()) typing_.pop_back();
            } else if (static_cast<unsigned char>(c) >= 0x20) {
                typing_ += c;
            }
        }
    }
}

std::vector<std::string> Console::TakeResults() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> results;
    results.swap(results_);
    return results;
}

void Console::Submit(const std::string& line) {
    std::vector<std::string> words = Words(line);
    if (words.empty()) return;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(words));
    }
    changed_.notify_all();
}

std::string Console::Execute(const std::vector<std::string>& words) {
    const std::string& command = words[0];
    const size_t arguments = words.size() - 1;
    if (command == "read" && arguments == 1) return Transact(driver_, words[1], nullptr);
    if (command == "write" && arguments == 2) return Transact(driver_, words[1], &words[2]);
    if (command == "time" && (arguments == 1 || arguments == 2)) {
        char address[16];
        std::snprintf(address, sizeof address, "%03dT", std::atoi(words[1].c_str()) % 1000);
        const std::string weekday = arguments == 2 ? words[2] : "0";
        return Transact(driver_, address, &weekday);
    }
    if (command == "text" && arguments >= 1) {
        std::string text;
        for (size_t i = 1; i < words.size(); ++i) text += (i > 1 ? " " : "") + words[i];
        // The line that answered the text is kept in "!1".
        const std::string written = Transact(driver_, "!T", &text);
        return written + "; answer " + Transact(driver_, "!1", nullptr);
    }
    if (command == "reset" && arguments == 0) {
        const std::string zero = "0";
        return Transact(driver_, "000R", &zero);
    }
    if (command == "warm" && arguments == 0)
        return "WarmStart: " + ResultText(driver_.Call(VPI_WARM_START, nullptr, 0));
    if (command == "help") return kConsoleHelp;
    return "not understood: '" + words[0] + "'; " + kConsoleHelp;
}

}  // namespace vpihost
