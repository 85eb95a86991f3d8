// Long options from a table: each names whether it takes a value and how the
// value lands in Options, so a new option is one line here.
#include "vpihost/options.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <iterator>

namespace vpihost {
namespace {

enum class Takes { Nothing, Value, OptionalFile };

using Apply = bool (*)(Options& options, const std::string& value, std::string& error);

struct OptionSpec {
    const char* name;
    Takes takes;
    Apply apply;
};

std::optional<double> ParseSeconds(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(value >= 0) || value > 1e7) return std::nullopt;
    return value;
}

bool Fail(std::string& error, const std::string& option, const std::string& value, const char* wanted) {
    error = "--" + option + " '" + value + "': " + wanted;
    return false;
}

template <typename T>
bool SetNumber(T& field, const std::string& option, const std::string& value, long long min, long long max,
               const char* wanted, std::string& error) {
    const auto number = ParseInteger(value, min, max);
    if (!number) return Fail(error, option, value, wanted);
    field = static_cast<T>(*number);
    return true;
}

const OptionSpec kOptions[] = {
    {"help", Takes::Nothing, [](Options& o, const std::string&, std::string&) { return o.help = true; }},
    {"verbose", Takes::Nothing,
     [](Options& o, const std::string&, std::string&) { return o.verbose = true; }},
    {"json", Takes::Nothing, [](Options& o, const std::string&, std::string&) { return o.json = true; }},
    {"csv", Takes::Nothing, [](Options& o, const std::string&, std::string&) { return o.csv = true; }},
    {"trace", Takes::Nothing, [](Options& o, const std::string&, std::string&) { return o.trace = true; }},
    {"driver", Takes::Value,
     [](Options& o, const std::string& v, std::string&) {
         o.driverPath = v;
         return true;
     }},
    {"log", Takes::Value,
     [](Options& o, const std::string& v, std::string&) {
         o.logFile = v;
         return true;
     }},
    {"log-level", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         if (v != "32" && v != "64") return Fail(e, "log-level", v, "32 (major lines) or 64 (all)");
         o.logLevel = v == "32" ? 32 : 64;
         return true;
     }},
    {"type", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         int type = 0;
         if (!SetNumber(type, "type", v, 0, 7, "a gate type 0..7", e)) return false;
         o.gateType = type;
         return true;
     }},
    {"block", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         return SetNumber(o.blockSize, "block", v, 1, 32, "a block size 1..32", e);
     }},
    {"port", Takes::Value,
     [](Options& o, const std::string& v, std::string&) {
         o.port = v;
         return true;
     }},
    {"baud", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         // The host record holds the rate in 16 bits.
         unsigned baud = 0;
         if (!SetNumber(baud, "baud", v, 50, 65535, "50..65535 bit/s, all the host record holds", e))
             return false;
         o.baud = baud;
         return true;
     }},
    {"data-bits", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         unsigned bits = 0;
         if (!SetNumber(bits, "data-bits", v, 5, 8, "5, 6, 7 or 8", e)) return false;
         o.dataBits = bits;
         return true;
     }},
    {"parity", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         o.parity = ParseParity(v);
         return o.parity ? true : Fail(e, "parity", v, "none, odd, even, mark or space");
     }},
    {"stop-bits", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         o.stopBits = ParseStopBits(v);
         return o.stopBits ? true : Fail(e, "stop-bits", v, "1, 1.5 or 2");
     }},
    {"timeout", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         return SetNumber(o.timeout, "timeout", v, 1, 100000, "hundredths of a second, 1..100000", e);
     }},
    {"instance", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         return SetNumber(o.instance, "instance", v, 0, 255, "an instance number 0..255", e);
     }},
    {"simulate", Takes::OptionalFile,
     [](Options& o, const std::string& v, std::string&) {
         o.simulate = true;
         o.networkFile = v;
         return true;
     }},
    {"gates", Takes::Value,
     [](Options& o, const std::string& v, std::string&) {
         o.gatesFile = v;
         return true;
     }},
    {"duration", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         const auto seconds = ParseSeconds(v);
         if (!seconds) return Fail(e, "duration", v, "seconds");
         o.durationSeconds = *seconds;
         return true;
     }},
    {"wait", Takes::Value,
     [](Options& o, const std::string& v, std::string& e) {
         const auto seconds = ParseSeconds(v);
         if (!seconds) return Fail(e, "wait", v, "seconds");
         o.waitSeconds = *seconds;
         return true;
     }},
};

const OptionSpec* FindOption(const std::string& name) {
    for (const OptionSpec& spec : kOptions)
        if (name == spec.name) return &spec;
    return nullptr;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::optional<long long> ParseInteger(const std::string& text, long long min, long long max) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < min || value > max) return std::nullopt;
    return value;
}

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    bool onlyPositional = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string word;
        if (!onlyPositional && arg == "--") {
            onlyPositional = true;
            continue;
        } else if (!onlyPositional && arg.rfind("--", 0) == 0) {
            word = arg.substr(2);
        } else if (!onlyPositional && (arg == "-h" || arg == "-v")) {
            word = arg == "-h" ? "help" : "verbose";
        } else {
            // Everything else, "-5" included, is an argument: write values may be negative.
            (options.command.empty() ? options.command : options.positional.emplace_back()) = arg;
            continue;
        }
        const size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const OptionSpec* spec = FindOption(name);
        if (spec == nullptr) {
            error = "unknown option '" + arg + "'";
            return false;
        }
        std::string value;
        if (equals != std::string::npos) {
            if (spec->takes == Takes::Nothing) {
                error = "option --" + name + " takes no value";
                return false;
            }
            value = word.substr(equals + 1);
        } else if (spec->takes == Takes::Value) {
            if (i + 1 >= argc) {
                error = "option --" + name + " needs a value";
                return false;
            }
            value = argv[++i];
        } else if (spec->takes == Takes::OptionalFile && i + 1 < argc && argv[i + 1][0] != '-' &&
                   IsRegularFile(argv[i + 1])) {
            // An address never names an existing file, so the next word is the file only then.
            value = argv[++i];
        }
        if (!spec->apply(options, value, error)) return false;
    }
    return true;
}

namespace {
const char* const kParityNames[] = {"none", "odd", "even", "mark", "space"};
const char* const kStopBitNames[] = {"1", "1.5", "2"};
}  // namespace

std::optional<unsigned> ParseParity(const std::string& text) {
    for (unsigned code = 0; code < std::size(kParityNames); ++code)
        if (text == kParityNames[code] || text == std::to_string(code)) return code;
    return std::nullopt;
}

std::optional<unsigned> ParseStopBits(const std::string& text) {
    for (unsigned code = 0; code < std::size(kStopBitNames); ++code)
        if (text == kStopBitNames[code]) return code;
    return std::nullopt;
}

const char* ParityName(unsigned code) {
    return code < std::size(kParityNames) ? kParityNames[code] : "?";
}
const char* StopBitsName(unsigned code) {
    return code < std::size(kStopBitNames) ? kStopBitNames[code] : "?";
}

}  // namespace vpihost
