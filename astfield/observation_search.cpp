#include "observation_search.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "angles.hpp"
#include "asteroid_evaluation.hpp"
#include "asteroid_fields.hpp"
#include "asteroid_search.hpp"
#include "catalogue_file.hpp"
#include "catalogue_record.hpp"
#include "constants.hpp"
#include "formatted_text.hpp"
#include "geodetic_site.hpp"
#include "identification.hpp"
#include "identification_report.hpp"
#include "light_time.hpp"
#include "night_candidates.hpp"
#include "observations.hpp"
#include "observatory_codes.hpp"
#include "orbit_propagation.hpp"
#include "ordered_blocks.hpp"
#include "packed_designations.hpp"
#include "text_catalogue.hpp"
#include "text_report.hpp"
#include "time_scales.hpp"
#include "tracklets.hpp"
#include "two_body.hpp"

namespace fieldsearch {

namespace {

constexpr std::size_t LINES_PER_BLOCK = 2048;
constexpr double ARCSEC_PER_RAD = RAD_TO_DEG * 3600.0;

// One observation as a field: its request and the observer's positions.
struct ObservationField {
    SearchRequest request;
    ObserverPositions observer;
    Vector3 observed;  // the observed direction, unit vector (J2000)
};

// Where an integrated orbit can be over the night: its heliocentric place
// (km, J2000) at the reference instant, its greatest speed (the perihelion
// speed, km/day) and its aphelion distance (km); not usable for an orbit
// that is not an ellipse or has a value that is not finite.
struct ConicReach {
    bool usable = false;
    Vector3 position_km;
    double reference_utc_mjd = 0.0;
    double speed_km_per_day = 0.0;
    double aphelion_km = 0.0;
};

ConicReach conic_reach(const PerihelionElements& elements, double reference_utc_mjd)
{
    ConicReach reach;
    if (!(elements.e >= 0.0) || !(elements.e < 1.0) || !(elements.q > 0.0)) {
        return reach;
    }
    reach.position_km = comet_position_km(elements, reference_utc_mjd);
    reach.reference_utc_mjd = reference_utc_mjd;
    reach.speed_km_per_day = GAUSSIAN_CONSTANT * std::sqrt((1.0 + elements.e) / elements.q) * KM_PER_AU;
    reach.aphelion_km = elements.q * (1.0 + elements.e) / (1.0 - elements.e) * KM_PER_AU;
    reach.usable = std::isfinite(dot_product(reach.position_km, reach.position_km)) &&
                   std::isfinite(reach.speed_km_per_day) && std::isfinite(reach.aphelion_km);
    return reach;
}

// False when the orbit's place seen at the observation (light time
// included, however long: at most the aphelion and the observer's distance
// from the Sun over the speed of light) certainly lies farther than
// radius_rad from the observed direction: every place the orbit can reach
// between the light-time instant and the reference instant lies within a
// ball about its reference place, which the observer sees within a cone.
bool may_lie_within(const ConicReach& reach, const ObservationField& field, double radius_rad)
{
    if (!reach.usable) {
        return true;
    }
    const Vector3& observer = field.observer.at;
    const double light_days =
        (reach.aphelion_km + std::sqrt(dot_product(observer, observer))) / (SPEED_OF_LIGHT_KM_S * SECONDS_PER_DAY);
    const double ball_km =
        reach.speed_km_per_day * (std::fabs(field.request.utc_mjd - reach.reference_utc_mjd) + light_days);
    Vector3 towards;
    for (int k = 1; k <= 3; ++k) {
        towards(k) = reach.position_km(k) - observer(k);
    }
    const double distance_km = std::sqrt(dot_product(towards, towards));
    if (!(ball_km < distance_km)) {
        return true;
    }
    // A billionth of a radian for the rounding of the angles.
    return !(angle_between(field.observed, towards) > radius_rad + std::asin(ball_km / distance_km) + 1e-9);
}

// One candidate of a tracklet: the object's sightings at its members and how
// well they match.
struct Candidate {
    std::size_t tracklet;
    std::vector<AsteroidSighting> sightings;
    TrackletMatch match;
};

struct Findings {
    int records = 0;
    std::string messages;
    std::vector<Candidate> candidates;
    void clear()
    {
        records = 0;
        messages.clear();
        candidates.clear();
    }
};

// Everything the threads of the scan share, read-only.
struct IdentificationScan {
    const std::vector<Observation>& observations;
    const std::vector<Tracklet>& tracklets;
    std::vector<ObservationField> fields;        // per observation
    std::vector<std::size_t> tracklet_of;        // per observation
    std::vector<std::size_t> member_of;          // per observation: its place among its tracklet's members
    NightPlan night{};
    IdentificationSettings settings{};
    CatalogueFormat format{};
    CatalogueDiagnostics diagnostics{};
    // n-body: the planet tables of the night's window, the instant (TT) each
    // orbit is integrated to, once, and TT - UTC there (days); no tables for
    // two-body motion.
    std::shared_ptr<const RunPlanetTables> tables{};
    double reference_tt = 0.0;
    double tt_minus_utc_days = 0.0;
};

// The observations whose places the record may reach, its integrated
// deviation from the two-body place (km) allowed for: those the night's
// index names for an asteroid, every one for a comet.
void reachable_observations(const IdentificationScan& scan, const OrbitRecord& record, double deviation_km,
                            std::vector<int>& candidates)
{
    candidates.clear();
    if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
        candidate_fields(scan.night, *asteroid, candidates, deviation_km);
        return;
    }
    for (std::size_t i = 0; i < scan.fields.size(); ++i) {
        candidates.push_back(static_cast<int>(i));
    }
}

// The observations whose predicted place lies within the radius, with the
// sightings there; then every tracklet all of whose members were hit. With
// integrated orbits the record is integrated once, when an observation may
// hold it; an orbit the integrator cannot carry sets `failure` (why) and
// gives no candidate.
void evaluate_record(const IdentificationScan& scan, const OrbitRecord& record, Findings& findings,
                     std::string& failure)
{
    thread_local std::vector<int> candidates;
    thread_local std::vector<std::pair<std::size_t, AsteroidSighting>> hits;
    hits.clear();
    std::optional<IntegratedOrbit> integrated;
    if (scan.tables) {
        // The cheap bound first: it rules out nearly every record far from
        // the observations; the record's own bound for the rest.
        const double loose = loose_window_deviation_km(record, *scan.tables);
        if (loose < INFINITY) {
            reachable_observations(scan, record, loose, candidates);
            if (candidates.empty()) {
                return;
            }
        }
        reachable_observations(
            scan, record, window_deviation_km(record, *scan.tables, light_time_allowance_days(record)), candidates);
        if (candidates.empty()) {
            return;
        }
        integrated = integrated_orbit(record, scan.reference_tt, scan.tt_minus_utc_days, *scan.tables);
        if (!integrated->ok) {
            failure = integrated->failure;
            return;
        }
    } else {
        reachable_observations(scan, record, 0.0, candidates);
    }
    const PerihelionElements* orbit = integrated ? &integrated->elements : nullptr;
    // An integrated orbit's bound may leave it every observation of the
    // night: its reference place rules out cheaply those it cannot reach.
    const ConicReach reach =
        orbit != nullptr ? conic_reach(*orbit, scan.reference_tt - scan.tt_minus_utc_days) : ConicReach{};
    const double radius_rad = scan.settings.radius_arcsec / ARCSEC_PER_RAD;
    for (const int c : candidates) {
        const std::size_t i = static_cast<std::size_t>(c);
        const ObservationField& field = scan.fields[i];
        if (!may_lie_within(reach, field, radius_rad)) {
            continue;
        }
        std::optional<AsteroidSighting> sighting =
            orbit_sighting_anywhere(field.request, field.observer, record, orbit);
        if (!sighting) {
            continue;
        }
        const Observation& o = scan.observations[i];
        const double separation = angle_between(unit_vector_from_sky(o.ra_deg, o.dec_deg),
                                                unit_vector_from_sky(sighting->ra_deg, sighting->dec_deg)) *
                                  ARCSEC_PER_RAD;
        if (separation <= scan.settings.radius_arcsec) {
            hits.emplace_back(i, *sighting);
        }
    }
    // Hits come in ascending observation order; a tracklet's members need
    // not be consecutive, so they are gathered by tracklet.
    std::stable_sort(hits.begin(), hits.end(), [&scan](const auto& a, const auto& b) {
        return scan.tracklet_of[a.first] < scan.tracklet_of[b.first];
    });
    for (std::size_t k = 0; k < hits.size();) {
        const std::size_t t = scan.tracklet_of[hits[k].first];
        std::size_t end = k;
        while (end < hits.size() && scan.tracklet_of[hits[end].first] == t) {
            ++end;
        }
        const Tracklet& tracklet = scan.tracklets[t];
        if (end - k == tracklet.members.size()) {
            std::vector<AsteroidSighting> sightings(tracklet.members.size());
            std::vector<PredictedPlace> predicted(tracklet.members.size());
            for (std::size_t h = k; h < end; ++h) {
                const std::size_t m = scan.member_of[hits[h].first];
                sightings[m] = hits[h].second;
                predicted[m] = {hits[h].second.ra_deg, hits[h].second.dec_deg};
            }
            if (std::optional<TrackletMatch> match =
                    tracklet_match(scan.observations, tracklet, predicted, scan.settings)) {
                findings.candidates.push_back({t, std::move(sightings), std::move(*match)});
            }
        }
        k = end;
    }
}

void evaluate_block(const IdentificationScan& scan, const CatalogueLines& block, Findings& findings)
{
    findings.clear();
    for (const CatalogueLines::Line& entry : block.lines) {
        const CatalogueLine parsed =
            parse_catalogue_line(scan.format, entry.number, block.line(entry), entry.full_length);
        if (!parsed.problem.empty()) {
            findings.messages += catalogue_line_message(scan.diagnostics, entry.number, "%s", parsed.problem.c_str());
        }
        if (parsed.kind == CatalogueLine::Kind::skipped || parsed.kind == CatalogueLine::Kind::not_a_record) {
            continue;
        }
        ++findings.records;
        if (parsed.kind == CatalogueLine::Kind::record) {
            std::string failure;
            evaluate_record(scan, parsed.record, findings, failure);
            if (!failure.empty()) {
                findings.messages += catalogue_line_message(scan.diagnostics, entry.number,
                                                            "orbit not integrated (%s), not evaluated",
                                                            failure.c_str());
            }
        }
    }
}

// The whole text of a file, or none when it cannot be read.
std::optional<std::string> file_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return text.str();
}

std::string trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// `erfa_earth`: the observer on ERFA's Earth, as integrated orbits are seen.
ObservationField observation_field(const Observation& o, const Vector3& site, const FieldSearch& clock,
                                   bool erfa_earth)
{
    SearchRequest request{site(1), site(2), site(3), o.utc_mjd, o.ra_deg, o.dec_deg, 0.0, 99.0,
                          clock.leap_seconds, clock.ut1_minus_utc_seconds};
    ObserverPositions observer = observer_positions(request, erfa_earth);
    if (o.place == ObserverPlace::space) {
        // A spacecraft keeps its geocentric J2000 place over the motion step.
        for (Vector3* p : {&observer.at, &observer.before, &observer.after}) {
            for (int k = 1; k <= 3; ++k) {
                (*p)(k) += o.space_geocentric_km(k);
            }
        }
        observer.horizon.reset();
    }
    return {request, observer, unit_vector_from_sky(o.ra_deg, o.dec_deg)};
}

RowColumns identification_columns()
{
    RowColumns columns = identification_observation_columns();
    for (const char* name : {"number", "name", "predicted_ra_deg", "predicted_dec_deg", "offset_ra_arcsec",
                             "offset_dec_arcsec", "offset_arcsec", "motion_residual_arcsec_per_hour",
                             "predicted_v_mag", "elements_age_days"}) {
        columns.emplace_back(name);
    }
    return columns;
}

Row candidate_row(std::size_t tracklet, const Observation& o, int rank, const Candidate& c, std::size_t member)
{
    Row row = identification_observation_row(tracklet, o, rank);
    const AsteroidSighting& s = c.sightings[member];
    const PlaceOffset& offset = c.match.offsets[member];
    row.values.push_back(designation_value(s.number.data()));
    row.values.push_back(designation_value(s.name.data()));
    row.values.push_back(real_value(s.ra_deg, 7));
    row.values.push_back(real_value(s.dec_deg, 7));
    row.values.push_back(real_value(offset.ra_arcsec, 3));
    row.values.push_back(real_value(offset.dec_arcsec, 3));
    row.values.push_back(real_value(offset.total_arcsec, 3));
    row.values.push_back(c.match.motion_residual ? real_value(*c.match.motion_residual, 3) : absent_value());
    row.values.push_back(real_value(s.magnitude, 2));
    row.values.push_back(real_value(s.elements_age_days, 1));
    return row;
}

TextRowLayout identification_layout()
{
    return {{{"  ", 1, TextStyle::integer, 6},
             {"  ", 2, TextStyle::left_padded, 23},
             {" ", 3, TextStyle::left_padded, 3},
             {" ", 4, TextStyle::fixed, 11, 6},
             {" ", 5, TextStyle::fixed, 10, 6},
             {" ", 6, TextStyle::integer, 2},
             {" ", 7, TextStyle::right_aligned, 7},
             {" ", 8, TextStyle::blank_then_left, 19},
             {" ", 11, TextStyle::fixed, 8, 3},
             {" ", 12, TextStyle::fixed, 8, 3},
             {" ", 13, TextStyle::fixed, 7, 3},
             {" ", 14, TextStyle::fixed, 7, 3},
             {" ", 15, TextStyle::fixed, 6, 2},
             {" ", 16, TextStyle::fixed, 8, 1}},
            "\n"};
}

// The text header's line for integrated orbits.
const char* INTEGRATED_ORBITS_LINE =
    "orbits: integrated from their epochs under the Sun, the planets and the Moon (n-body)";

const char* TEXT_TABLE_HEADER =
    "    line  time (UTC)              stn   obs RA (deg) obs Dec (deg) rank  number  name              "
    "   d RA\"  d Dec\"  offset\" motion\"/h  V     age (d)\n";

// The designation an identified observation carries: the number when the
// catalogue gives one, else the provisional designation of its name column.
std::optional<Identification> identification_of(const Observation& o, const AsteroidSighting& s)
{
    Identification id{o.position, std::nullopt, {}};
    const std::string number = trimmed(s.number.data());
    if (!number.empty()) {
        char* end = nullptr;
        const long n = std::strtol(number.c_str(), &end, 10);
        if (end != nullptr && *end == '\0' && n > 0) {
            id.number = n;
            return id;
        }
    }
    const std::string name = trimmed(s.name.data());
    if (!name.empty() && packed_provisional(name)) {
        id.provisional = name;
        return id;
    }
    return std::nullopt;
}

}  // namespace

namespace {

// A night's observations read, placed at their stations and grouped into
// tracklets, ready for the scan; never moved (the scan refers to them).
struct PreparedNight {
    std::string text;
    ObservationFormat format{};
    std::size_t stations = 0;
    std::string messages;  // the observations that cannot be read or placed, as the program reports them
    std::vector<Observation> observations;
    std::vector<Tracklet> tracklets;
    IdentificationScan scan{observations, tracklets, {}, {}, {}, {}, {}, {}, {}};
    const char* where = "";  // how a message names an observation's place: its line, or "observation " N in XML

    PreparedNight() = default;
    PreparedNight(const PreparedNight&) = delete;
    PreparedNight& operator=(const PreparedNight&) = delete;
};

// The night of plan.observations, or none with `status` 1 (a file cannot
// be read) or 2 (observations of no known format) and one line in `error`
// without the program's name.
std::unique_ptr<PreparedNight> prepared_night(const SearchPlan& plan, const char* program, int& status,
                                              std::string& error)
{
    const ObservationRun& run = *plan.observations;
    NightReading reading =
        identification_night_read(program, run.observations_path, run.observatory_codes_path, file_text);
    if (reading.status != 0) {
        status = reading.status;
        error = reading.error;
        return nullptr;
    }
    auto night = std::make_unique<PreparedNight>();
    night->text = std::move(reading.text);
    night->format = reading.format;
    night->stations = reading.stations;
    night->where = reading.where;
    night->messages = std::move(reading.messages);
    IdentificationNight& ready = reading.night;
    const FieldSearch& clock = plan.fields.front();
    const bool n_body = plan.propagation == Propagation::n_body;
    std::vector<ObservationField> fields;
    double spread = 0.0;
    for (std::size_t i = 0; i < ready.observations.size(); ++i) {
        const Observation& o = ready.observations[i];
        const Vector3& site = ready.sites[i];
        const double reach = o.place == ObserverPlace::space
                                 ? std::sqrt(dot_product(o.space_geocentric_km, o.space_geocentric_km))
                                 : std::sqrt(dot_product(site, site));
        spread = std::max(spread, reach);
        fields.push_back(observation_field(o, site, clock, n_body));
    }

    night->observations = std::move(ready.observations);
    night->tracklets = std::move(ready.tracklets);
    const std::vector<Observation>& observations = night->observations;
    IdentificationScan& scan = night->scan;
    scan.fields = std::move(fields);
    scan.tracklet_of = std::move(ready.tracklet_of);
    scan.member_of = std::move(ready.member_of);
    scan.settings = {run.radius_arcsec, run.motion_tolerance, run.max_candidates, 1.0};
    std::vector<FieldWindow> windows;
    windows.reserve(observations.size());
    for (const Observation& o : observations) {
        windows.push_back({o.utc_mjd, o.utc_mjd, unit_vector_from_sky(o.ra_deg, o.dec_deg),
                           run.radius_arcsec / ARCSEC_PER_RAD});
    }
    // One plan for every site: made for the geocentre, each record's bound
    // widened by the farthest observer's distance from it.
    scan.night = night_plan(windows, Vector3{}, NIGHT_SEGMENT_HOURS, NIGHT_PART_HOURS, clock.ut1_minus_utc_seconds,
                            clock.leap_seconds);
    scan.night.observer_spread_km = spread;
    if (n_body && !observations.empty()) {
        // Each orbit integrated once, to the middle of the night's window.
        double first = INFINITY;
        double last = -INFINITY;
        for (const Observation& o : observations) {
            first = std::min(first, o.utc_mjd);
            last = std::max(last, o.utc_mjd);
        }
        const TerrestrialTime start = tt_from_utc(first, clock.leap_seconds);
        const TerrestrialTime finish = tt_from_utc(last, clock.leap_seconds);
        const TerrestrialTime middle = tt_from_utc(0.5 * (first + last), clock.leap_seconds);
        scan.reference_tt = middle.tt;
        scan.tt_minus_utc_days = middle.tt_minus_utc_days;
        scan.tables = std::make_shared<const RunPlanetTables>(start.tt, finish.tt);
    }
    return night;
}

// The rows of tracklet t: each candidate's row per observation, by rank, or
// the observations' rows with rank 0 when it has none.
std::vector<Row> tracklet_rows(const PreparedNight& night, std::size_t t, const std::vector<Candidate>& found)
{
    const Tracklet& tracklet = night.tracklets[t];
    std::vector<Row> rows;
    if (found.empty()) {
        // The candidate columns empty: every row has the header's columns.
        const std::size_t columns = identification_columns().size();
        for (const std::size_t i : tracklet.members) {
            Row row = identification_observation_row(t, night.observations[i], 0);
            row.values.resize(columns, absent_value());
            rows.push_back(std::move(row));
        }
    }
    for (std::size_t r = 0; r < found.size(); ++r) {
        for (std::size_t m = 0; m < tracklet.members.size(); ++m) {
            rows.push_back(candidate_row(t, night.observations[tracklet.members[m]], static_cast<int>(r) + 1,
                                         found[r], m));
        }
    }
    return rows;
}

// A run of consecutive records of a catalogue held in memory.
struct RecordRange {
    std::size_t begin = 0;
    std::size_t end = 0;
};

constexpr std::size_t RECORDS_PER_BLOCK = 2048;

}  // namespace

ObservationIdentification identification_by_records(const SearchPlan& plan, const std::vector<OrbitRecord>& records)
{
    ObservationIdentification result;
    const std::unique_ptr<PreparedNight> night = prepared_night(plan, ASTFIELD_PROGRAM_NAME, result.status, result.error);
    if (!night) {
        return result;
    }
    result.messages = night->messages;
    std::vector<std::vector<Candidate>> found(night->tracklets.size());
    std::size_t next = 0;
    run_ordered_blocks<RecordRange, Findings>(
        std::max(1, plan.threads),
        [&](RecordRange& range) {
            range.begin = next;
            range.end = std::min(records.size(), next + RECORDS_PER_BLOCK);
            next = range.end;
            return range.begin < range.end;
        },
        [&](const RecordRange& range, Findings& findings) {
            findings.clear();
            for (std::size_t k = range.begin; k < range.end; ++k) {
                std::string failure;
                evaluate_record(night->scan, records[k], findings, failure);
                if (!failure.empty()) {
                    findings.messages += formatted("%s: record %zu: orbit not integrated (%s), not evaluated\n",
                                                   ASTFIELD_PROGRAM_NAME, k + 1, failure.c_str());
                }
            }
        },
        [&](Findings& findings) {
            result.messages += findings.messages;
            for (Candidate& c : findings.candidates) {
                found[c.tracklet].push_back(std::move(c));
            }
        });
    result.identified = ranked_candidates(found, plan.observations->max_candidates);
    result.tracklets = static_cast<int>(night->tracklets.size());
    result.columns = identification_columns();
    for (std::size_t t = 0; t < night->tracklets.size(); ++t) {
        std::vector<Row> rows = tracklet_rows(*night, t, found[t]);
        std::move(rows.begin(), rows.end(), std::back_inserter(result.rows));
    }
    return result;
}

int identify_asteroid_observations(const SearchPlan& plan, const SearchOutput& output)
{
    const ObservationRun& run = *plan.observations;
    const char* program = ASTFIELD_PROGRAM_NAME;
    int status = 0;
    std::string error;
    const std::unique_ptr<PreparedNight> night = prepared_night(plan, program, status, error);
    if (!night) {
        std::fprintf(output.err, "%s: %s\n", program, error.c_str());
        return status;
    }
    std::fputs(night->messages.c_str(), output.err);
    const std::vector<Observation>& observations = night->observations;
    const std::vector<Tracklet>& tracklets = night->tracklets;
    IdentificationScan& scan = night->scan;
    const char* where = night->where;
    scan.diagnostics = {program, output.catalogue_path, output.err};

    std::FILE* catalogue = open_catalogue(scan.diagnostics);
    if (catalogue == nullptr) {
        return 1;
    }
    std::optional<CatalogueLayout> forced;
    if (output.catalogue_format != nullptr) {
        forced = catalogue_layout_from_name(output.catalogue_format);
    }
    const std::optional<CatalogueFormat> format = read_catalogue_format(scan.diagnostics, forced);
    if (!format) {
        std::fclose(catalogue);
        return 1;
    }
    scan.format = *format;

    std::vector<std::vector<Candidate>> found(tracklets.size());
    int records = 0;
    TextCatalogueReader reader(catalogue, is_compressed_catalogue(output.catalogue_path));
    run_ordered_blocks<CatalogueLines, Findings>(
        plan.threads, [&](CatalogueLines& block) { return read_catalogue_lines(reader, block, LINES_PER_BLOCK); },
        [&](const CatalogueLines& block, Findings& findings) { evaluate_block(scan, block, findings); },
        [&](Findings& findings) {
            records += findings.records;
            std::fputs(findings.messages.c_str(), output.err);
            for (Candidate& c : findings.candidates) {
                found[c.tracklet].push_back(std::move(c));
            }
        });
    const int identified = ranked_candidates(found, run.max_candidates);

    if (reader.read_error()) {
        return close_catalogue(scan.diagnostics, catalogue, reader, output.out);
    }

    // The rows, tracklet by tracklet.
    const RowColumns columns = identification_columns();
    std::vector<TrackletSection> sections;
    for (std::size_t t = 0; t < tracklets.size(); ++t) {
        const Tracklet& tracklet = tracklets[t];
        sections.push_back({shown_tracklet_designation(tracklet.designation), tracklet.station,
                            tracklet.members.size(), found[t].size(), tracklet_rows(*night, t, found[t])});
    }
    const IdentificationSummary summary{program,
                                        run.observations_path,
                                        observation_format_name(night->format),
                                        run.observatory_codes_path,
                                        night->stations,
                                        observations.size(),
                                        output.catalogue_path,
                                        run.radius_arcsec,
                                        run.motion_tolerance,
                                        "arcsec/h",
                                        "motion_tolerance_arcsec_per_hour",
                                        run.max_candidates,
                                        records,
                                        identified,
                                        plan.propagation == Propagation::n_body ? INTEGRATED_ORBITS_LINE : nullptr};
    const std::string out =
        identification_report(output.format, summary, sections, columns, identification_layout(), TEXT_TABLE_HEADER);

    if (!run.identified_path.empty()) {
        std::vector<Identification> ids;
        for (std::size_t t = 0; t < tracklets.size(); ++t) {
            if (found[t].size() != 1) {
                continue;
            }
            for (std::size_t m = 0; m < tracklets[t].members.size(); ++m) {
                if (std::optional<Identification> id =
                        identification_of(observations[tracklets[t].members[m]], found[t].front().sightings[m])) {
                    ids.push_back(std::move(*id));
                }
            }
        }
        const WrittenObservations written = text_with_designations(night->text, ids);
        for (const ObservationProblem& p : written.problems) {
            std::fprintf(output.err, "%s: %s:%s%ld: %s\n", program, run.identified_path.c_str(), where, p.position,
                         p.what.c_str());
        }
        std::FILE* file = written.error.empty() ? std::fopen(run.identified_path.c_str(), "wb") : nullptr;
        bool ok = file != nullptr && std::fwrite(written.text.data(), 1, written.text.size(), file) ==
                                         written.text.size();
        ok = (file != nullptr && std::fclose(file) == 0) && ok;
        if (!ok) {
            std::fprintf(output.err, "%s: %s: %s\n", program, run.identified_path.c_str(),
                         written.error.empty() ? "cannot be written" : written.error.c_str());
            std::fclose(catalogue);
            return 1;
        }
    }
    std::fputs(out.c_str(), output.out);
    return close_catalogue(scan.diagnostics, catalogue, reader, output.out);
}

}  // namespace fieldsearch
