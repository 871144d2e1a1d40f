#include "night_candidates.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <string>

#include "angles.hpp"
#include "field_prefilter.hpp"
#include "light_time.hpp"
#include "two_body.hpp"

namespace fieldsearch {

namespace {


// The Earth's greatest heliocentric speed (perihelion, 30.29 km/s, rounded
// up), the greatest speed of the Earth about the Earth-Moon barycentre with
// the series' planetary terms (0.013 km/s, rounded up) and the Earth's
// rotation rate (rad/s, rounded up).
constexpr double EARTH_ORBITAL_SPEED_KM_S = 30.30;
constexpr double EARTH_WOBBLE_SPEED_KM_S = 0.02;
constexpr double EARTH_ROTATION_RAD_S = 7.2922e-5;
// Time added to every segment's half span, seconds: a leap second inside the
// segment moves the dynamical time, and with it the Earth, by one second more
// than the civil time.
constexpr double LEAP_SECOND_ALLOWANCE_S = 2.0;
// Allowance for rounding in positions (km) and in angles (radians).
constexpr double POSITION_ROUNDING_KM = 1.0;
constexpr double ANGLE_ROUNDING = 1e-8;
// Orbits at least this eccentric are left to the full evaluation in every field.
constexpr double LARGEST_ECCENTRICITY = 0.99;

// The grid: declination bands of at least this height and at most this,
// radians; caps wider than a band are scanned for every query.
constexpr double SMALLEST_BAND = 0.5 * DEG_TO_RAD;
constexpr double LARGEST_BAND = 10.0 * DEG_TO_RAD;
// A query wider than this (radians) scans the whole segment.
constexpr double WIDEST_GRID_QUERY = 20.0 * DEG_TO_RAD;
// Allowance for the rounding of cell boundaries, radians.
constexpr double CELL_MARGIN = 1e-9;
// A segment's bound wider than this (radians) sends the record to its parts.
constexpr double REFINE_ABOVE = 1.0 * DEG_TO_RAD;

struct SkyPlace {
    double ra;   // [0, 2 pi)
    double dec;  // [-pi/2, pi/2]
};

SkyPlace sky_place(const Vector3& unit)
{
    double ra = std::atan2(unit(2), unit(1));
    if (ra < 0.0) {
        ra += TWO_PI;
    }
    if (!(ra < TWO_PI)) {
        ra = 0.0;
    }
    return {ra, std::asin(std::clamp(unit(3), -1.0, 1.0))};
}

int band_of(const NightPlan& plan, double dec)
{
    const int band = static_cast<int>(std::floor((dec + 0.5 * PI) / plan.band_height));
    return std::clamp(band, 0, plan.band_count - 1);
}

// Right-ascension cells of each band: as many as fit cells about one band
// high at the band's edge nearest the equator.
int cells_in_band(const NightPlan& plan, int band)
{
    const double low = -0.5 * PI + band * plan.band_height;
    const double high = low + plan.band_height;
    const double nearest = (low <= 0.0 && high >= 0.0) ? 0.0 : std::min(std::fabs(low), std::fabs(high));
    const double cells = std::floor(TWO_PI * std::cos(nearest) / plan.band_height);
    return std::max(1, static_cast<int>(std::min(cells, 100000.0)));
}

int cell_of(int cells, double ra)
{
    const int cell = static_cast<int>(std::floor(ra * cells / TWO_PI));
    return std::clamp(cell, 0, cells - 1);
}

Vector3 normalised(const Vector3& v)
{
    const double length = std::sqrt(dot_product(v, v));
    return Vector3{{v(1) / length, v(2) / length, v(3) / length}};
}

void check_field(const FieldWindow& f, std::size_t k)
{
    const double length = std::sqrt(dot_product(f.centre, f.centre));
    const char* fault = nullptr;
    if (!std::isfinite(f.start_utc_mjd) || !std::isfinite(f.end_utc_mjd)) {
        fault = "its window is not a finite time";
    } else if (f.end_utc_mjd < f.start_utc_mjd) {
        fault = "its window ends before it starts";
    } else if (!std::isfinite(length) || !(length > 0.0)) {
        fault = "its centre is not a finite non-zero vector";
    } else if (!std::isfinite(f.radius) || f.radius < 0.0) {
        fault = "its radius is not a finite angle of at least 0";
    }
    if (fault != nullptr) {
        throw std::invalid_argument("night field " + std::to_string(k) + ": " + fault);
    }
}

// The segment of the fields `members` (indices into `fields`, all windows
// within one segment length), its grid filled.
NightSegment make_segment(const NightPlan& plan, const std::vector<FieldWindow>& fields,
                          const std::vector<int>& members, const Vector3& observer_earth_fixed)
{
    NightSegment segment{};
    double first = INFINITY;
    double last = -INFINITY;
    for (int k : members) {
        first = std::min(first, fields[static_cast<std::size_t>(k)].start_utc_mjd);
        last = std::max(last, fields[static_cast<std::size_t>(k)].end_utc_mjd);
    }
    segment.anchor_utc_mjd = first + 0.5 * (last - first);
    segment.half_span_days = std::max(segment.anchor_utc_mjd - first, last - segment.anchor_utc_mjd);
    segment.observer_position = observer_heliocentric_position(segment.anchor_utc_mjd, plan.ut1_minus_utc_seconds,
                                                               plan.leap_seconds, observer_earth_fixed);

    segment.band_first_cell.assign(static_cast<std::size_t>(plan.band_count) + 1, 0);
    for (int band = 0; band < plan.band_count; ++band) {
        segment.band_first_cell[static_cast<std::size_t>(band) + 1] =
            segment.band_first_cell[static_cast<std::size_t>(band)] + cells_in_band(plan, band);
    }
    const int cell_count = segment.band_first_cell.back();

    // Fields are held in cell order; caps wider than a band go into one
    // extra cell after the last, scanned by every query.
    std::vector<int> cell_of_member(members.size());
    segment.cell_first_field.assign(static_cast<std::size_t>(cell_count) + 2, 0);
    segment.largest_radius = 0.0;
    for (std::size_t m = 0; m < members.size(); ++m) {
        const FieldWindow& f = fields[static_cast<std::size_t>(members[m])];
        int cell = cell_count;
        if (f.radius <= plan.band_height) {
            const SkyPlace place = sky_place(normalised(f.centre));
            const int band = band_of(plan, place.dec);
            const int first_cell = segment.band_first_cell[static_cast<std::size_t>(band)];
            const int cells = segment.band_first_cell[static_cast<std::size_t>(band) + 1] - first_cell;
            cell = first_cell + cell_of(cells, place.ra);
            segment.largest_radius = std::max(segment.largest_radius, f.radius);
        }
        cell_of_member[m] = cell;
        ++segment.cell_first_field[static_cast<std::size_t>(cell) + 1];
    }
    std::partial_sum(segment.cell_first_field.begin(), segment.cell_first_field.end(),
                     segment.cell_first_field.begin());
    std::vector<int> fill(segment.cell_first_field.begin(), segment.cell_first_field.end() - 1);
    segment.fields.resize(members.size());
    for (std::size_t m = 0; m < members.size(); ++m) {
        const FieldWindow& f = fields[static_cast<std::size_t>(members[m])];
        const int slot = fill[static_cast<std::size_t>(cell_of_member[m])]++;
        segment.fields[static_cast<std::size_t>(slot)] = {members[m], normalised(f.centre), std::cos(f.radius),
                                                          std::sin(f.radius), f.radius};
    }
    return segment;
}

// Appends the field to `out` when its centre lies within its radius plus
// `delta` of `direction`.
void test_field(const IndexedField& f, const Vector3& direction, double delta, double cos_delta, double sin_delta,
                std::vector<int>& out)
{
    if (!(f.radius + delta < PI)) {
        out.push_back(f.index);
        return;
    }
    const double lowest_cos = f.cos_radius * cos_delta - f.sin_radius * sin_delta;
    if (!(dot_product(direction, f.centre) < lowest_cos)) {
        out.push_back(f.index);
    }
}

void append_all(const NightSegment& segment, std::vector<int>& out)
{
    for (const IndexedField& f : segment.fields) {
        out.push_back(f.index);
    }
}

void append_cells(const NightSegment& segment, int first_cell, int last_cell, const Vector3& direction, double delta,
                  double cos_delta, double sin_delta, std::vector<int>& out)
{
    const int begin = segment.cell_first_field[static_cast<std::size_t>(first_cell)];
    const int end = segment.cell_first_field[static_cast<std::size_t>(last_cell) + 1];
    for (int k = begin; k < end; ++k) {
        test_field(segment.fields[static_cast<std::size_t>(k)], direction, delta, cos_delta, sin_delta, out);
    }
}

// The fields of the segment within their radius plus `delta` (radians) of
// `direction` (a unit vector).
void append_near(const NightPlan& plan, const NightSegment& segment, const Vector3& direction, double delta,
                 std::vector<int>& out)
{
    const double cos_delta = std::cos(delta);
    const double sin_delta = std::sin(delta);
    const int cell_count = segment.band_first_cell.back();
    // The wide caps, held after the grid's cells.
    append_cells(segment, cell_count, cell_count, direction, delta, cos_delta, sin_delta, out);
    if (cell_count == 0 || segment.cell_first_field[static_cast<std::size_t>(cell_count)] == 0) {
        return;
    }
    const double reach = delta + segment.largest_radius + CELL_MARGIN;
    if (!(reach < WIDEST_GRID_QUERY)) {
        append_cells(segment, 0, cell_count - 1, direction, delta, cos_delta, sin_delta, out);
        return;
    }
    const SkyPlace place = sky_place(direction);
    const double low = place.dec - reach;
    const double high = place.dec + reach;
    // Half the right-ascension extent of the cap about the direction; the
    // whole circle when it holds a pole.
    double half_width = PI;
    if (low > -0.5 * PI && high < 0.5 * PI) {
        half_width = std::asin(std::min(1.0, std::sin(reach) / std::cos(place.dec))) + CELL_MARGIN;
    }
    const int last_band = band_of(plan, high);
    for (int band = band_of(plan, low); band <= last_band; ++band) {
        const int first_cell = segment.band_first_cell[static_cast<std::size_t>(band)];
        const int cells = segment.band_first_cell[static_cast<std::size_t>(band) + 1] - first_cell;
        const double cells_per_radian = cells / TWO_PI;
        const double from = std::floor((place.ra - half_width) * cells_per_radian);
        const double to = std::floor((place.ra + half_width) * cells_per_radian);
        if (!(to - from + 1.0 < cells)) {
            append_cells(segment, first_cell, first_cell + cells - 1, direction, delta, cos_delta, sin_delta, out);
            continue;
        }
        // The run of cells, wrapped through 0h into at most two runs.
        const int a = static_cast<int>(from);
        const int b = static_cast<int>(to);
        if (a < 0) {
            append_cells(segment, first_cell + cells + a, first_cell + cells - 1, direction, delta, cos_delta,
                         sin_delta, out);
            append_cells(segment, first_cell, first_cell + b, direction, delta, cos_delta, sin_delta, out);
        } else if (b >= cells) {
            append_cells(segment, first_cell + a, first_cell + cells - 1, direction, delta, cos_delta, sin_delta,
                         out);
            append_cells(segment, first_cell, first_cell + b - cells, direction, delta, cos_delta, sin_delta, out);
        } else {
            append_cells(segment, first_cell + a, first_cell + b, direction, delta, cos_delta, sin_delta, out);
        }
    }
}

// The fields `order` (ascending start) cut into runs whose windows all fit
// within `length` days; a window longer than that makes a run of its own.
std::vector<std::vector<int>> time_groups(const std::vector<FieldWindow>& fields, const std::vector<int>& order,
                                          double length)
{
    std::vector<std::vector<int>> groups;
    double opened = 0.0;
    double last_end = 0.0;
    for (int k : order) {
        const FieldWindow& f = fields[static_cast<std::size_t>(k)];
        if (groups.empty() || std::max(last_end, f.end_utc_mjd) - opened > length) {
            groups.emplace_back();
            opened = f.start_utc_mjd;
            last_end = f.end_utc_mjd;
        }
        last_end = std::max(last_end, f.end_utc_mjd);
        groups.back().push_back(k);
    }
    return groups;
}

// The widening (radians) of the segment's caps that holds the record's place
// at every instant of the segment; infinite when no bound exists. `speed` is
// the bound of the relative speed, km/s, `shift` the light-time shift bound.
double place_bound(const NightPlan& plan, const NightSegment& segment, const AstorbRecord& record, double speed,
                   double shift, double deviation_km, Vector3& direction)
{
    BoundedPosition p = bounded_geometric_position(record, segment.anchor_utc_mjd);
    p.error_km += deviation_km;
    const Vector3 g{{p.position(1) - segment.observer_position(1), p.position(2) - segment.observer_position(2),
                     p.position(3) - segment.observer_position(3)}};
    const double distance = std::sqrt(dot_product(g, g));
    // How far the topocentric vector can move over the segment, with the
    // error of the anchor's position.
    const double reach = speed * (segment.half_span_days * SECONDS_PER_DAY + LEAP_SECOND_ALLOWANCE_S) +
                         p.error_km + POSITION_ROUNDING_KM + plan.observer_spread_km;
    const double ratio = reach / (distance - reach);
    if (!(distance > reach) || !(ratio < 1.0)) {
        return INFINITY;
    }
    direction = Vector3{{g(1) / distance, g(2) / distance, g(3) / distance}};
    return std::asin(ratio) + shift + ANGLE_ROUNDING;
}

// Appends the segment's candidates: every field when no bound exists.
void append_segment(const NightPlan& plan, const NightSegment& segment, const AstorbRecord& record, double speed,
                    double shift, double deviation_km, std::vector<int>& out)
{
    Vector3 direction{};
    const double delta = place_bound(plan, segment, record, speed, shift, deviation_km, direction);
    if (!(delta <= REFINE_ABOVE) && !segment.parts.empty()) {
        for (const NightSegment& part : segment.parts) {
            append_segment(plan, part, record, speed, shift, deviation_km, out);
        }
    } else if (std::isfinite(delta)) {
        append_near(plan, segment, direction, delta, out);
    } else {
        append_all(segment, out);
    }
}

}  // namespace

double observer_speed_bound(const Vector3& observer_earth_fixed)
{
    const double r = std::sqrt(dot_product(observer_earth_fixed, observer_earth_fixed));
    return EARTH_ORBITAL_SPEED_KM_S + EARTH_WOBBLE_SPEED_KM_S + EARTH_ROTATION_RAD_S * r;
}

NightPlan night_plan(const std::vector<FieldWindow>& fields, const Vector3& observer_earth_fixed,
                     double segment_hours, double part_hours, double ut1_minus_utc_seconds,
                     const LeapSecondTable& leap_seconds)
{
    for (std::size_t k = 0; k < fields.size(); ++k) {
        check_field(fields[k], k);
    }
    NightPlan plan{};
    plan.ut1_minus_utc_seconds = ut1_minus_utc_seconds;
    plan.leap_seconds = leap_seconds;
    plan.field_count = static_cast<int>(fields.size());
    plan.observer_speed_km_s = observer_speed_bound(observer_earth_fixed);
    if (!std::isfinite(plan.observer_speed_km_s)) {
        throw std::invalid_argument("night observer: its position is not finite");
    }
    if (!(segment_hours > 0.0) || !std::isfinite(segment_hours) || !(part_hours > 0.0) ||
        !std::isfinite(part_hours)) {
        throw std::invalid_argument("night segments: their length is not a positive number of hours");
    }

    // Bands about twice as high as the median cap radius.
    std::vector<double> radii;
    radii.reserve(fields.size());
    for (const FieldWindow& f : fields) {
        radii.push_back(f.radius);
    }
    double median = SMALLEST_BAND;
    if (!radii.empty()) {
        std::nth_element(radii.begin(), radii.begin() + static_cast<std::ptrdiff_t>(radii.size() / 2), radii.end());
        median = radii[radii.size() / 2];
    }
    plan.band_count = static_cast<int>(std::ceil(PI / std::clamp(2.0 * median, SMALLEST_BAND, LARGEST_BAND)));
    plan.band_height = PI / plan.band_count;

    // Segments: in order of start, each field joins the open segment while
    // all its windows fit within the segment length.
    std::vector<int> order(fields.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&fields](int a, int b) {
        return fields[static_cast<std::size_t>(a)].start_utc_mjd < fields[static_cast<std::size_t>(b)].start_utc_mjd;
    });
    for (const std::vector<int>& members : time_groups(fields, order, segment_hours / 24.0)) {
        plan.segments.push_back(make_segment(plan, fields, members, observer_earth_fixed));
        NightSegment& segment = plan.segments.back();
        if (part_hours < segment_hours && 2.0 * segment.half_span_days > part_hours / 24.0) {
            for (const std::vector<int>& part : time_groups(fields, members, part_hours / 24.0)) {
                segment.parts.push_back(make_segment(plan, fields, part, observer_earth_fixed));
            }
        }
    }
    return plan;
}

double perihelion_speed_km_s(const AstorbRecord& record)
{
    const double a = record.semimajor_axis;
    const double e = record.eccentricity;
    if (!(a > 0.0) || !(e >= 0.0) || !(e < 1.0)) {
        return INFINITY;
    }
    const double au_per_day = GAUSSIAN_CONSTANT * std::sqrt((1.0 + e) / (a * (1.0 - e)));
    // Rounded up by a relative 1e-12.
    return au_per_day * (KM_PER_AU / SECONDS_PER_DAY) * (1.0 + 1e-12);
}

void candidate_fields(const NightPlan& plan, const AstorbRecord& record, std::vector<int>& out, double deviation_km)
{
    out.clear();
    if (!has_elliptic_elements(record)) {
        return;
    }
    const double shift = light_time_shift_bound(record);
    if (!(record.eccentricity < LARGEST_ECCENTRICITY) || !std::isfinite(shift) || !(deviation_km < INFINITY)) {
        out.resize(static_cast<std::size_t>(plan.field_count));
        std::iota(out.begin(), out.end(), 0);
        return;
    }
    const double speed = perihelion_speed_km_s(record) + plan.observer_speed_km_s;
    for (const NightSegment& segment : plan.segments) {
        append_segment(plan, segment, record, speed, shift, deviation_km, out);
    }
    std::sort(out.begin(), out.end());
}

}  // namespace fieldsearch
