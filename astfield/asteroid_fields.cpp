#include "asteroid_fields.hpp"

#include <algorithm>
#include <cmath>

#include "asteroid_speed_bound.hpp"
#include "exposure_search.hpp"
#include "light_time.hpp"

namespace fieldsearch {

namespace {

// The shortest step of the exposure search, seconds.
constexpr double EXPOSURE_RESOLUTION_S = 0.01;

}  // namespace

AsteroidFields::AsteroidFields(const SearchPlan& plan, AsteroidScan scan)
{
    const bool n_body = plan.propagation == Propagation::n_body;
    fields_.reserve(plan.fields.size());
    for (const FieldSearch& field : plan.fields) {
        const SearchRequest r = field_request(field);
        const ObserverPositions observer = observer_positions(r, n_body);
        const bool plain = field.frame == nullptr && field.exposure_s <= 0.0;
        // A lone square meets every record: its longitude window pays
        // (two-body motion only: it leaves no room for perturbations).
        FieldPrefilter prefilter = field_prefilter(r, observer.at, plain && plan.fields.size() == 1 && !n_body);
        prefilter.active = prefilter.active && scan == AsteroidScan::fast;
        const Vector3 site{{r.observer_x, r.observer_y, r.observer_z}};
        const double end = field.start_utc_mjd + field.exposure_s * DAYS_PER_SECOND;
        fields_.push_back({&field, r, observer, prefilter, plain, field_region(field),
                           observer_heliocentric_position(field.start_utc_mjd, r.ut1_minus_utc_seconds,
                                                          r.leap_seconds, site, n_body),
                           observer_heliocentric_position(end, r.ut1_minus_utc_seconds, r.leap_seconds, site,
                                                          n_body)});
    }
    if (n_body && !fields_.empty()) {
        double first = INFINITY;
        double last = -INFINITY;
        for (const Work& work : fields_) {
            const FieldSearch& field = *work.field;
            const double end = field.start_utc_mjd + field.exposure_s * DAYS_PER_SECOND;
            first = std::min({first, field.start_utc_mjd, work.request.utc_mjd});
            last = std::max({last, end, work.request.utc_mjd});
        }
        const LeapSecondTable& leap_seconds = fields_.front().request.leap_seconds;
        const TerrestrialTime start = tt_from_utc(first, leap_seconds);
        const TerrestrialTime finish = tt_from_utc(last, leap_seconds);
        const TerrestrialTime middle = tt_from_utc(0.5 * (first + last), leap_seconds);
        reference_tt_ = middle.tt;
        tt_minus_utc_days_ = middle.tt_minus_utc_days;
        tables_ = std::make_shared<const RunPlanetTables>(start.tt, finish.tt);
    }
    const bool all_plain = std::all_of(fields_.begin(), fields_.end(), [](const Work& w) { return w.plain; });
    // One square at one instant: its own test rules records out; otherwise
    // the index of the night names the fields a record may reach.
    use_night_ = scan == AsteroidScan::fast && !(fields_.size() == 1 && all_plain);
    if (use_night_) {
        std::vector<FieldWindow> windows;
        for (const Work& work : fields_) {
            const FieldSearch& field = *work.field;
            const double end = field.start_utc_mjd + field.exposure_s * DAYS_PER_SECOND;
            windows.push_back({std::min(field.start_utc_mjd, work.request.utc_mjd),
                               std::max(end, work.request.utc_mjd), work.region.cap.centre,
                               work.region.cap.radius_rad});
        }
        const SearchRequest& r = fields_.front().request;
        night_ = night_plan(windows, Vector3{{r.observer_x, r.observer_y, r.observer_z}}, NIGHT_SEGMENT_HOURS,
                            NIGHT_PART_HOURS, r.ut1_minus_utc_seconds, r.leap_seconds);
    }
    lone_square_ = !use_night_ && fields_.size() == 1 && fields_.front().plain && fields_.front().prefilter.active;
    extra_ = extra_columns(plan);
}

namespace {

// Room for the integrated orbit's speed in the exposure search's bound: the
// perturbations change a speed by far less than a per cent within a span
// the integration keeps to its accuracy.
constexpr double INTEGRATED_SPEED_ALLOWANCE = 1.01;

// Less than a place can move within a segment of a night: 20 km/s over
// half the shortest segment (NIGHT_PART_HOURS).
constexpr double NIGHT_SEGMENT_REACH_KM = 20.0 * 0.5 * NIGHT_PART_HOURS * 3600.0;

// The pieces of the cheaper bound from where the bodies are (each halved
// further near a body), tried before the full one.
constexpr int COARSE_PATH_PIECES = 2;

}  // namespace

double light_time_allowance_days(const OrbitRecord& record)
{
    double farthest = INFINITY;
    if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
        farthest = asteroid->semimajor_axis * (1.0 + asteroid->eccentricity);
    } else {
        const CometRecord& comet = std::get<CometRecord>(record);
        if (comet.eccentricity < 1.0) {
            farthest = comet.perihelion_distance * (1.0 + comet.eccentricity) / (1.0 - comet.eccentricity);
        }
    }
    const double days = light_time_days((farthest + 1.1) * KM_PER_AU);
    return std::isfinite(days) ? std::min(days, 1.0) : 1.0;
}

double loose_window_deviation_km(const OrbitRecord& record, const RunPlanetTables& tables)
{
    const double light_time = light_time_allowance_days(record);
    const double by_class = class_window_deviation_km(record, tables, light_time);
    if (by_class < INFINITY) {
        return by_class;
    }
    return window_deviation_km(record, tables, light_time, COARSE_PATH_PIECES);
}

double AsteroidFields::deviation_km(const OrbitRecord& record) const
{
    if (!tables_) {
        return 0.0;
    }
    return window_deviation_km(record, *tables_, light_time_allowance_days(record));
}

std::vector<double> AsteroidFields::loose_deviations_km(const OrbitRecord& record) const
{
    if (!tables_) {
        return {};
    }
    return {loose_window_deviation_km(record, *tables_)};
}

bool AsteroidFields::may_hold(const AstorbRecord& orbit) const
{
    const FieldPrefilter& prefilter = fields_.front().prefilter;
    if (!tables_) {
        return may_be_in_field(prefilter, orbit);
    }
    // The bound of the orbit's class first: one look-up, and it rules out
    // nearly every record far from the field. Where it cannot, the record's
    // own bound, a few microseconds to a few hundred, no wider than what
    // could still rule the record out: the full one after a class bound
    // that came close, the coarser one where the class has none (where
    // that fails too, the full one nearly always does: the orbit is
    // integrated).
    const double reach = ruled_out_reach_km(prefilter, orbit);
    if (!(reach > 0.0)) {
        return true;
    }
    const OrbitRecord record{orbit};
    const double light_time = light_time_allowance_days(record);
    const double by_class = class_window_deviation_km(record, *tables_, light_time);
    const bool classed = by_class < INFINITY;
    if (by_class < reach) {
        return false;
    }
    return !(window_deviation_km(record, *tables_, light_time, classed ? FINE_PATH_PIECES : COARSE_PATH_PIECES,
                                 reach) < reach);
}

std::optional<RowExtras> AsteroidFields::exposure_crossing_extras(const Work& work, const OrbitRecord& record,
                                                                  const PerihelionElements* integrated) const
{
    const bool n_body = integrated != nullptr;
    const FieldSearch& field = *work.field;
    const double start = field.start_utc_mjd;
    const double length_days = field.exposure_s * DAYS_PER_SECOND;
    const Vector3 site{{work.request.observer_x, work.request.observer_y, work.request.observer_z}};
    auto place = [&](double seconds) {
        if (seconds == 0.0) {
            return orbit_place_at(record, work.observer_start, start, integrated);
        }
        if (seconds == field.exposure_s) {
            return orbit_place_at(record, work.observer_end, start + length_days, integrated);
        }
        const double t = start + seconds * DAYS_PER_SECOND;
        return orbit_place_at(record,
                              observer_heliocentric_position(t, work.request.ut1_minus_utc_seconds,
                                                             work.request.leap_seconds, site, n_body),
                              t, integrated);
    };
    auto region = [&](const SkyPlace& p) { return field_region_test(work.region, p); };
    const double speed = relative_speed_bound_km_s(record) * (n_body ? INTEGRATED_SPEED_ALLOWANCE : 1.0);
    const ExposureCrossing crossing =
        exposure_crossing(place, region, field.exposure_s, speed, EXPOSURE_RESOLUTION_S);
    if (!crossing.evaluated || !crossing.found) {
        return std::nullopt;
    }
    return exposure_extras(crossing, place(0.0), place(field.exposure_s), work.region);
}

std::optional<AsteroidSighting> AsteroidFields::sighting_in_region(const Work& work, const OrbitRecord& record,
                                                                   const PerihelionElements* integrated,
                                                                   RowExtras& extras) const
{
    std::optional<AsteroidSighting> sighting =
        orbit_sighting_anywhere(work.request, work.observer, record, integrated);
    if (!sighting || !(sighting->magnitude <= work.request.mag_limit)) {
        return std::nullopt;
    }
    const std::optional<PixelPosition> pixel = field_pixel(work.region, sighting->ra_deg, sighting->dec_deg);
    if (work.field->exposure_s <= 0.0) {
        if (!in_field_region(work.region, sighting->ra_deg, sighting->dec_deg)) {
            return std::nullopt;
        }
        extras.pixel = pixel;
        return sighting;
    }
    const std::optional<RowExtras> crossing = exposure_crossing_extras(work, record, integrated);
    if (!crossing) {
        return std::nullopt;
    }
    extras = *crossing;
    extras.pixel = pixel;
    return sighting;
}

void AsteroidFields::candidate_fields_of(const OrbitRecord& record, double deviation_km,
                                         std::vector<int>& candidates) const
{
    candidates.clear();
    if (use_night_) {
        if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
            candidate_fields(night_, *asteroid, candidates, deviation_km);
            return;
        }
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        candidates.push_back(static_cast<int>(i));
    }
}

void AsteroidFields::evaluate(const OrbitRecord& record, bool prefiltered, const AsteroidFound& found,
                              std::string* failure) const
{
    thread_local std::vector<int> candidates;
    // A record that passed the lone square's own test (may_hold) was
    // already tested with every bound: it needs none of them again.
    // Otherwise the class's bound first: when no field may hold the record
    // under it, the record's own bound is not needed.
    // In a night, a loose bound already below what a field's segment lets a
    // place move (NIGHT_SEGMENT_REACH_KM) rules out nearly all the record's
    // own bound would: the record is integrated without it.
    double deviation = INFINITY;
    bool bounded = false;
    for (const double loose : prefiltered ? std::vector<double>{} : loose_deviations_km(record)) {
        if (!(loose < INFINITY)) {
            continue;
        }
        candidate_fields_of(record, loose, candidates);
        const bool any = std::any_of(candidates.begin(), candidates.end(), [&](int candidate) {
            const Work& work = fields_[static_cast<std::size_t>(candidate)];
            return !work.plain || prefiltered || may_be_in_field(work.prefilter, record, loose);
        });
        if (!any) {
            return;
        }
        if (use_night_ && loose <= NIGHT_SEGMENT_REACH_KM) {
            deviation = loose;
            bounded = true;
        }
    }
    if (!bounded) {
        deviation = prefiltered ? INFINITY : deviation_km(record);
        candidate_fields_of(record, deviation, candidates);
    }
    const auto may_reach = [&](const Work& work, const OrbitRecord& tested, double widening) {
        return !work.plain || prefiltered || may_be_in_field(work.prefilter, tested, widening);
    };
    // n-body: integrated once, when some field may hold the record.
    std::optional<IntegratedOrbit> integrated;
    std::optional<OrbitRecord> conic;
    if (tables_) {
        if (std::none_of(candidates.begin(), candidates.end(), [&](int candidate) {
                return may_reach(fields_[static_cast<std::size_t>(candidate)], record, deviation);
            })) {
            return;
        }
        integrated = integrated_orbit(record, reference_tt_, tt_minus_utc_days_, *tables_);
        if (!integrated->ok) {
            if (failure != nullptr) {
                *failure = integrated->failure;
            }
            return;
        }
        // The places printed are the integrated conic's: a night's fields
        // are taken again from the conic, as sharply as a two-body orbit's,
        // rather than from the record's place widened by the bound.
        const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record);
        if (use_night_ && asteroid != nullptr && integrated->elements.e < 1.0) {
            conic = OrbitRecord{
                conic_record(*asteroid, integrated->elements, reference_tt_ - tt_minus_utc_days_)};
            candidate_fields_of(*conic, CONIC_RECORD_ALLOWANCE_KM, candidates);
        }
    }
    const OrbitRecord& tested = conic ? *conic : record;
    const double widening = conic ? CONIC_RECORD_ALLOWANCE_KM : deviation;
    for (const int candidate : candidates) {
        const std::size_t i = static_cast<std::size_t>(candidate);
        const Work& work = fields_[i];
        if (!may_reach(work, tested, widening)) {
            continue;
        }
        const PerihelionElements* orbit = integrated ? &integrated->elements : nullptr;
        RowExtras extras;
        std::optional<AsteroidSighting> sighting;
        if (work.plain) {
            sighting = orbit_sighting(work.request, work.observer, record, orbit);
        } else {
            sighting = sighting_in_region(work, record, orbit, extras);
        }
        if (sighting) {
            found(i, *sighting, extras);
        }
    }
}

}  // namespace fieldsearch
