// One record of an Orbit Mean-elements Message (OMM, CCSDS 502.0), whatever
// its encoding, as the element set the search evaluates: the keyword values
// become the fields a two-line element set of the same object carries, so
// that both give the same row.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "time_scales.hpp"
#include "tle_record.hpp"

namespace fieldsearch {

// The OMM keywords the search reads.
enum class OmmKeyword {
    object_name,
    object_id,
    epoch,
    mean_motion,
    eccentricity,
    inclination,
    ra_of_asc_node,
    arg_of_pericenter,
    mean_anomaly,
    classification_type,
    norad_cat_id,
    bstar,
    mean_motion_dot,
    mean_motion_ddot,
    user_defined_std_mag,
    time_system,
    ref_frame,
    center_name,
    mean_element_theory,
};
inline constexpr std::size_t OMM_KEYWORD_COUNT = 19;

// The keyword's name as OMM writes it, e.g. "MEAN_MOTION".
const char* omm_keyword_name(OmmKeyword keyword);

// The keyword named `name` (exact, upper case), or nothing for a keyword the search does not read.
std::optional<OmmKeyword> omm_keyword(std::string_view name);

// The text of each keyword of one record, indexed by OmmKeyword; an empty
// text is a keyword the record does not give.
using OmmValues = std::array<std::string_view, OMM_KEYWORD_COUNT>;

// The element set of an OMM record, or why there is none.
struct OmmElementSet {
    TleRecord record;     // filled when problem is empty
    std::string problem;  // which keyword is missing or not understood
};

// The record's values as the element set a two-line set of the same object
// carries. The metadata must describe elements SGP4 can use: TIME_SYSTEM
// UTC (the default), or TAI, TT or GPS, whose EPOCH is converted to UTC by
// the steps of `leap_seconds` (TT = TAI + 32.184 s, GPS = TAI - 19 s);
// REF_FRAME TEME, CENTER_NAME EARTH and MEAN_ELEMENT_THEORY SGP4 or SGP/SGP4
// where given. Required: EPOCH (ISO 8601, calendar or day-of-year form,
// 1985 to 2084 in UTC), MEAN_MOTION, ECCENTRICITY, INCLINATION, RA_OF_ASC_NODE,
// ARG_OF_PERICENTER, MEAN_ANOMALY, MEAN_MOTION_DOT (the two-line set's half
// derivative, as the catalogue providers write it) and NORAD_CAT_ID (up to
// nine digits). OBJECT_NAME gives the name line, OBJECT_ID (1998-067A) the
// designator 98067A, CLASSIFICATION_TYPE the classification letter (U when
// absent); BSTAR and MEAN_MOTION_DDOT are 0 when absent. USER_DEFINED_STD_MAG
// (in XML <USER_DEFINED parameter="STD_MAG">) is the standard magnitude, when
// given within LARGEST_STANDARD_MAGNITUDE of 0. Numbers are plain decimals
// with an optional exponent, blanks around them allowed; ECCENTRICITY lies
// in [0, 1), INCLINATION in [0, 180] deg, RA_OF_ASC_NODE, ARG_OF_PERICENTER
// and MEAN_ANOMALY in [-360, 360] deg. A problem names the keyword and its value.
OmmElementSet omm_element_set(const OmmValues& values,
                              const LeapSecondTable& leap_seconds = compiled_leap_second_table());

// The epoch of an OMM record as the two-line set carries it: the two-digit
// year and the day of the year rounded to 8 decimals, converted from its
// text as the set's columns are. False when the text is no date and time of
// 1985 to 2084. The instant is taken `shift_ns` nanoseconds later than its
// text says (a change of time scale), the result still 1985 to 2084.
bool tle_epoch_from_iso(std::string_view iso, int& epoch_year, double& epoch_day, std::int64_t shift_ns = 0);

// UTC - X for an instant of time scale X (TAI, TT or GPS) given in X as an
// MJD, in nanoseconds, from the steps of `leap_seconds`; nothing for another
// time scale.
std::optional<std::int64_t> utc_minus_time_system_ns(std::string_view time_system, double mjd,
                                                     const LeapSecondTable& leap_seconds);

}  // namespace fieldsearch
