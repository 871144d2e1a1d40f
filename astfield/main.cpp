#include <string_view>
#include <vector>

#include "asteroid_search.hpp"
#include "command_line.hpp"
#include "observation_search.hpp"
#include "reepoch_run.hpp"

using namespace fieldsearch;

namespace {

// The program as its command line knows it.
constexpr ProgramInfo ASTFIELD_PROGRAM{ASTFIELD_PROGRAM_NAME,
                                       ASTORB_CATALOGUE_PATH,
                                       true,
                                       "astorb|mpcorb|comets",
                                       nullptr,
                                       false,
                                       "two-body|n-body",
                                       ASTEROID_IDENTIFICATION_RADIUS_ARCSEC,
                                       ASTEROID_MOTION_TOLERANCE_ARCSEC_PER_HOUR,
                                       "arcsec/h",
                                       true};

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (asks_for_reepoch(arguments)) {
        return run_catalogue_reepoch(arguments);
    }
    return run_command_line(argc, argv, ASTFIELD_PROGRAM, asteroid_scenario(), search_asteroid_fields);
}
