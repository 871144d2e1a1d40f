// astfield as its command line knows it: its name, its compiled-in
// catalogue and the options it takes, with their defaults.
#pragma once

#include "asteroid_search.hpp"
#include "observation_search.hpp"
#include "search_scenario.hpp"

namespace fieldsearch {

inline constexpr ProgramInfo ASTFIELD_PROGRAM{ASTFIELD_PROGRAM_NAME,
                                              ASTORB_CATALOGUE_PATH,
                                              true,
                                              "astorb|mpcorb|comets",
                                              nullptr,
                                              false,
                                              "two-body|n-body",
                                              ASTEROID_IDENTIFICATION_RADIUS_ARCSEC,
                                              ASTEROID_MOTION_TOLERANCE_ARCSEC_PER_HOUR,
                                              "arcsec/h",
                                              true,
                                              true};

}  // namespace fieldsearch
