// Commands typed while `vpihost run` watches the network: read, write, time
// synchronisation, command-gate text, reset, warm start. Lines come from
// stdin; on a terminal the keys are taken one by one so that the view stays
// intact, and the line being typed shows in its status line. The commands run
// in order on a thread of their own, since a transaction may take several
// time-outs and the view must go on meanwhile.
#pragma once

#include <termios.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vpihost/driver.h"

namespace vpihost {

class Console {
public:
    // `keys`: stdin is a terminal that the view owns, take it key by key.
    Console(Driver& driver, bool keys);
    ~Console();  // waits for the commands given, restores the terminal
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Reads what stdin has without waiting and starts each complete command.
    void Poll();
    // What finished commands said, in order.
    std::vector<std::string> TakeResults();
    const std::string& Typing() const { return typing_; }
    // Blocks until the commands given so far are done.
    void Finish();

private:
    void Submit(const std::string& line);
    void Work();
    std::string Execute(const std::vector<std::string>& words);

    Driver& driver_;
    bool keys_;
    bool open_ = true;  // stdin not at its end yet
    bool restore_ = false;
    termios saved_{};
    std::string typing_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<std::string>> queue_;
    bool working_ = false;  // a command is being carried out
    bool stop_ = false;
    std::vector<std::string> results_;
    std::thread worker_;
};

// The commands' one-line help.
extern const char kConsoleHelp[];

}  // namespace vpihost
