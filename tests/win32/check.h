// A small check harness for the programs that run under Wine: no test
// framework is built for Windows here. Each failed check prints where and
// what; the program ends with "N passed, M failed" and fails when M > 0.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace wintest {

struct Tally {
    int passed = 0;
    int failed = 0;
    int checksFailed = 0;  // in the case that runs now
};

inline Tally& TheTally() {
    static Tally tally;
    return tally;
}

inline bool Check(bool ok, const char* file, int line, const char* expression, const std::string& note) {
    if (!ok) {
        ++TheTally().checksFailed;
        std::printf("  %s:%d: check failed: %s%s%s\n", file, line, expression, note.empty() ? "" : " -- ",
                    note.c_str());
    }
    return ok;
}

struct Case {
    const char* name;
    std::function<void()> run;
};

// Runs the cases in order (those whose name contains `filter`, when one is
// given); a case passes when none of its checks failed.
inline int RunCases(const std::vector<Case>& cases, const char* filter = nullptr) {
    Tally& tally = TheTally();
    for (const Case& c : cases) {
        if (filter != nullptr && std::string(c.name).find(filter) == std::string::npos) continue;
        tally.checksFailed = 0;
        std::printf("[ RUN  ] %s\n", c.name);
        std::fflush(stdout);
        c.run();
        const bool ok = tally.checksFailed == 0;
        ++(ok ? tally.passed : tally.failed);
        std::printf("[ %s ] %s\n", ok ? " OK " : "FAIL", c.name);
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", tally.passed, tally.failed);
    return tally.failed == 0 ? 0 : 1;
}

}  // namespace wintest

#define CHECK(expression) ::wintest::Check((expression), __FILE__, __LINE__, #expression, std::string())
#define CHECK_NOTE(expression, note) ::wintest::Check((expression), __FILE__, __LINE__, #expression, (note))
