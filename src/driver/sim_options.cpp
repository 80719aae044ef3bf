#include "driver/sim_options.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vantrel {

std::optional<double> ParseRecordRate(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || v < 0 || v > kMaxRecordRate) return std::nullopt;
    return v;
}

SimulatedDriverOptions OptionsFromEnvironment(std::string* problem) {
    SimulatedDriverOptions o;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
    if (const char* rate = std::getenv("VANTREL_SIM_RATE"); rate && *rate) {
        if (const auto v = ParseRecordRate(rate))
            o.rate = *v;
        else if (problem)
            *problem = std::string("VANTREL_SIM_RATE is not a rate from 0 to 10000000: ") + rate;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
    if (const char* seed = std::getenv("VANTREL_SIM_SEED"); seed && *seed) {
        char* end = nullptr;
        const unsigned long long v = std::strtoull(seed, &end, 0);
        if (*end == '\0') o.seed = v;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
    if (const char* list = std::getenv("VANTREL_SIM_DEVICES"); list && *list) {
        std::string all(list);
        size_t start = 0;
        while (start <= all.size()) {
            size_t comma = all.find(',', start);
            if (comma == std::string::npos) comma = all.size();
            std::string name = all.substr(start, comma - start);
            const size_t first = name.find_first_not_of(" \t");
            const size_t last = name.find_last_not_of(" \t");
            if (first != std::string::npos)
                o.devices.push_back(name.substr(first, last - first + 1));
            start = comma + 1;
        }
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
    if (const char* driver = std::getenv("VANTREL_DRIVER");
        driver && std::strcmp(driver, "none") == 0)
        o.absent = true;
    return o;
}

}  // namespace vantrel
