// satfield as its command line knows it: its name, its compiled-in
// catalogue and the options it takes, with their defaults.
#pragma once

#include "satellite_identification.hpp"
#include "satellite_search.hpp"
#include "search_scenario.hpp"

namespace fieldsearch {

inline constexpr ProgramInfo SATFIELD_PROGRAM{SATFIELD_PROGRAM_NAME,
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

}  // namespace fieldsearch
