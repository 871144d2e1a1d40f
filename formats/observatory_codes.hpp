// The minor planet centre's list of observatory codes: each station's east
// longitude and geocentric parallax constants, read from the published HTML
// page, and the Earth-fixed position they give.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vectors_matrices.hpp"

namespace fieldsearch {

// The Earth's equatorial radius the parallax constants are in units of, km.
inline constexpr double OBSERVATORY_CODES_EARTH_RADIUS_KM = 6378.137;

// One station of the list. Stations without coordinates (spacecraft, the
// roving codes such as 247) are kept with has_coordinates false and zeros.
struct ObservatoryCode {
    std::string code;               // three characters
    bool has_coordinates;
    double east_longitude_deg;      // [0, 360)
    double rho_cos_phi;             // rho cos phi', Earth equatorial radii
    double rho_sin_phi;             // rho sin phi', signed, Earth equatorial radii
    std::string name;
};

// The stations of the list, in its order, or the one-line reason it was
// refused (a damaged line, with its line number; no <pre> block; a code
// named twice).
struct ObservatoryCodesResult {
    std::vector<ObservatoryCode> stations;
    std::string error;
};

// The list from the text of its HTML page: the lines of its <pre> block after
// the column heading, in fixed columns: code 1-3, longitude 4-13, rho cos
// phi' 14-21, rho sin phi' 22-30, name from 31 (HTML entities decoded).
ObservatoryCodesResult observatory_codes_from_html(std::string_view text);

// The station of `code`, or nullptr.
const ObservatoryCode* find_observatory_code(const std::vector<ObservatoryCode>& stations, std::string_view code);

// Geocentric Earth-fixed position of a station with coordinates, km:
// x = rho cos phi' cos lambda, y = rho cos phi' sin lambda, z = rho sin phi',
// each times OBSERVATORY_CODES_EARTH_RADIUS_KM.
Vector3 observatory_earth_fixed_km(const ObservatoryCode& station);

}  // namespace fieldsearch
