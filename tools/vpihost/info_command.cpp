// vpihost info: what GetVpiInfo reports, with the banner drawn as a box.
#include <cstdio>

#include "vpihost/banner_text.h"
#include "vpihost/commands.h"
#include "vpihost/json.h"

namespace vpihost {

int InfoCommand(const Options& options) {
    Driver driver;
    VpiInfo info{};
    if (!PrepareDriver(options, driver, info)) return kExitUnavailable;
    const std::string banner = info.banner ? info.banner : "";
    const std::string shortName = info.shortName ? info.shortName : "";
    if (options.json) {
        JsonObject json;
        json.Str("driver", driver.Path())
            .Str("shortName", shortName)
            .Str("banner", Cp437ToUtf8(banner))
            .Int("bannerBytes", static_cast<int64_t>(banner.size()))
            .Int("contextSize", info.contextSize)
            .Int("defaultBaudRate", info.defaultBaudRate)
            .Int("defaultDataBits", info.defaultDataBits)
            .Int("defaultStopBits", info.defaultStopBits)
            .Int("defaultParity", info.defaultParity)
            .Int("fixedA", info.fixedA)
            .Int("fixedB", info.fixedB)
            .Int("fixedC", info.fixedC);
        std::printf("%s\n", json.Text().c_str());
        return 0;
    }
    std::printf("%s\n", Cp437ToUtf8(banner).c_str());
    std::printf("short name     %s\n", shortName.c_str());
    std::printf("context size   %u bytes\n", info.contextSize);
    std::printf("default line   %u baud, %u data bits, stop bits %u, parity %u (%s)\n", info.defaultBaudRate,
                info.defaultDataBits, info.defaultStopBits, info.defaultParity,
                ParityName(info.defaultParity));
    std::printf("fixed values   %d, %d, %d\n", info.fixedA, info.fixedB, info.fixedC);
    std::printf("driver         %s\n", driver.Path().c_str());
    return 0;
}

}  // namespace vpihost
