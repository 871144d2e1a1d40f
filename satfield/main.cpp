#include "command_line.hpp"
#include "satellite_identification.hpp"
#include "satellite_search.hpp"

using namespace fieldsearch;

namespace {

// The program as its command line knows it.
constexpr ProgramInfo SATFIELD_PROGRAM{SATFIELD_PROGRAM_NAME,
                                       SATELLITE_CATALOGUE_PATH,
                                       false,
                                       nullptr,
                                       "vinti|sgp4|both",
                                       true,
                                       nullptr,
                                       SATELLITE_IDENTIFICATION_RADIUS_ARCSEC,
                                       SATELLITE_MOTION_TOLERANCE_ARCSEC_PER_SECOND,
                                       "arcsec/s",
                                       false};

}  // namespace

int main(int argc, char** argv)
{
    return run_command_line(argc, argv, SATFIELD_PROGRAM, satellite_scenario(), search_satellite_fields);
}
