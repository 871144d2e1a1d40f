// Fuzz target: whole runs of both programs' searches, through their command
// lines, with the observer, the exposure, the field's centre and side and
// the instant taken from the input, extremes included (far and non-finite
// observers, the poles, fields near the whole sky, a day's exposure). A run
// ends with a status of 0, 1 or 2 and never throws; an observer beyond the
// bound is refused.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "asteroid_search.hpp"
#include "catalogue_input.hpp"
#include "command_line.hpp"
#include "constants.hpp"
#include "satellite_search.hpp"

using namespace fieldsearch;

namespace {

// A few records of each program's catalogue, spread over the sky.
constexpr const char* ASTEROIDS =
    " 26016 1974 EG54          synthetic       12.77  0.15                    0   0   0   0   0"
    "   0 17071 2852 20080514  50.345707 306.619175 325.719790  3.000000 0.12000000   2.3500000"
    "0 20080512    0.93     0.02 20080520    1.09 20130807    1.50 20181011    2.50 20180528\n"
    " 53696 1973 EX39          synthetic       19.92  0.15                    0   6   0   0   0"
    "   0 12830  150 20080514  21.629578 119.000084  62.176545  4.000000 0.42000000   1.4500000"
    "0 20080516    1.04     0.01 20080520    1.30 20180817    1.89 20141106    3.13 20290326\n"
    "    26 Lounimiax          synthetic        7.46  0.15 0.68               0   0   0   0   0"
    "   0 43855 5188 20080514 117.696141 237.453580 289.567849 15.450892 0.27975035   3.9639717"
    "1 20080508    0.39     0.02 20080520    0.78 20160306    1.84 20100923    1.94 20200318\n";
constexpr const char* SATELLITES =
    "TRANSFER R/B 15\n"
    "1 10000U 03019B   08138.62016485  .00000511  00000-0  59259-5 0  8537\n"
    "2 10000  26.0244  25.9358 7191398 106.9356 124.4993  2.23774787627106\n"
    "LEO SAT 80\n"
    "1 17919U 94018D   08140.59932391  .00000491  00000-0  40354-5 0  1620\n"
    "2 17919 148.9994 236.3028 0148550 168.8917 260.4238 14.73588440508169\n";

// The double held in eight bytes of the input from `at` (zeros past its end).
double double_at(std::string_view bytes, std::size_t at)
{
    double value = 0.0;
    if (at < bytes.size()) {
        std::memcpy(&value, bytes.data() + at, std::min(bytes.size() - at, sizeof value));
    }
    return value;
}

// A value of the input's double at `at`, as a program's option takes it:
// the bits as they are for an odd selector byte, else scaled into
// [-scale, scale].
std::string number_text(std::string_view bytes, std::size_t at, double scale)
{
    const double raw = double_at(bytes, at);
    const bool as_is = at + 8 < bytes.size() && (static_cast<unsigned char>(bytes[at + 8]) & 1) != 0;
    const double value = as_is || !std::isfinite(raw) ? raw : scale * std::tanh(raw);
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string asteroids = scratch_catalogue_path(".dat");
    static const std::string satellites = scratch_catalogue_path(".tle");
    static const bool written = (write_catalogue(asteroids, ASTEROIDS), write_catalogue(satellites, SATELLITES), true);
    (void)written;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string x = number_text(bytes, 0, 2.0 * MAX_OBSERVER_DISTANCE_KM);
    const std::string y = number_text(bytes, 9, 2.0 * MAX_OBSERVER_DISTANCE_KM);
    const std::string z = number_text(bytes, 18, 2.0 * MAX_OBSERVER_DISTANCE_KM);
    const std::string exposure = number_text(bytes, 27, 90000.0);
    const std::string side = number_text(bytes, 36, 11000.0);
    const std::string ra = number_text(bytes, 45, 370.0);
    const std::string dec = number_text(bytes, 54, 95.0);
    const unsigned day = size > 63 ? 1 + static_cast<unsigned char>(bytes[63]) % 28 : 20;
    const unsigned hour = size > 64 ? static_cast<unsigned char>(bytes[64]) % 24 : 5;
    char time[32];
    std::snprintf(time, sizeof time, "2008-05-%02uT%02u:14:00", day, hour);
    const std::string observer = x + "," + y + "," + z;
    const double distance = std::hypot(std::strtod(x.c_str(), nullptr), std::strtod(y.c_str(), nullptr),
                                       std::strtod(z.c_str(), nullptr));

    for (const bool satellite : {false, true}) {
        const ProgramInfo program = satellite ? ProgramInfo{"satfield", "080520ls.tle", false, nullptr, "vinti|sgp4|both", true}
                                              : ProgramInfo{"astfield", "astorb.dat", true, "astorb|mpcorb|comets"};
        std::vector<std::string> words = {"--catalogue", satellite ? satellites : asteroids, "--observer", observer,
                                          "--side",      side,  "--centre", ra, dec, "--time", time, "--threads", "1"};
        if (size > 65 && (bytes[65] & 1) != 0) {
            words.insert(words.end(), {"--exposure", exposure});
        }
        if (size > 65 && (bytes[65] & 2) != 0) {
            words.insert(words.end(), {"--format", (bytes[65] & 4) != 0 ? "json" : "csv"});
        }
        const std::vector<std::string_view> arguments(words.begin(), words.end());
        const CommandLineResult parsed = parse_command_line(arguments, program);
        if (!(distance <= MAX_OBSERVER_DISTANCE_KM) && parsed.ok) {
            std::fprintf(stderr, "fuzz: the observer %s (%g km) was taken\n", observer.c_str(), distance);
            std::abort();
        }
        if (!parsed.ok) {
            continue;
        }
        const PlanResult planned =
            plan_from_command_line(parsed.command_line, satellite ? satellite_scenario() : asteroid_scenario());
        if (planned.status != 0) {
            continue;
        }
        const SearchOutput output{parsed.command_line.catalogue_path->c_str(), parsed.command_line.format, null_sink(),
                                  null_sink()};
        // Anything thrown ends the fuzzer here, as an abort would end a run.
        const int status =
            satellite ? search_satellite_fields(planned.plan, output) : search_asteroid_fields(planned.plan, output);
        if (status != 0 && status != 1 && status != 2) {
            std::fprintf(stderr, "fuzz: a run ended with status %d\n", status);
            std::abort();
        }
    }
    return 0;
}
