#include "satellite_identification.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "angles.hpp"
#include "catalogue_file.hpp"
#include "element_set_history.hpp"
#include "formatted_text.hpp"
#include "identification.hpp"
#include "observations.hpp"
#include "observatory_codes.hpp"
#include "ordered_blocks.hpp"
#include "satellite_catalogue.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_fields.hpp"
#include "satellite_search.hpp"
#include "sidereal_time.hpp"
#include "text_catalogue.hpp"
#include "text_report.hpp"
#include "tracklets.hpp"

namespace fieldsearch {

namespace {

constexpr double ARCSEC_PER_RAD = RAD_TO_DEG * 3600.0;
constexpr double HOURS_PER_SECOND = 1.0 / 3600.0;

// Each observation's field is a square this many radii in half side: its
// accepted square (10 % wider) holds the circle of the radius on the
// tangent plane, and the window on right ascension of a field near the
// equator holds it too (up to the largest radius).
constexpr double FIELD_HALF_SIDE_PER_RADIUS = 1.25;

// One candidate of a tracklet: the satellite's sightings at its members,
// how well they match, the epoch of its elements (UTC MJD) and the set they
// come from (its index among the sets evaluated, in catalogue order).
struct Candidate {
    std::size_t tracklet;
    std::vector<SatelliteSighting> sightings;
    TrackletMatch match;
    double epoch_mjd;
    std::size_t set;
};

// What the sets of one block gave: the candidates (their sets counted from
// the block's first) and each set's satellite and epoch, for the choice of
// a satellite's set nearest each tracklet once the whole catalogue is read.
struct Findings {
    int records = 0;
    std::string messages;
    std::vector<Candidate> candidates;
    std::vector<ElementSetEpoch> sets;
    void clear()
    {
        records = 0;
        messages.clear();
        candidates.clear();
        sets.clear();
    }
};

// A night's observations read, placed at their stations and grouped into
// tracklets. The first observation of each tracklet is a field of the plan
// the sets are scanned against; a set found there is placed at the others
// through their own geometry (a candidate lies within the radius of every
// observation, so the others are asked only then). Never moved (the fields
// refer to the plan).
struct SatelliteNight {
    ObservationFormat format{};
    std::size_t stations = 0;
    std::string messages;  // the observations that cannot be read or placed, as the program reports them
    std::vector<Observation> observations;
    std::vector<Tracklet> tracklets;
    std::vector<std::size_t> tracklet_of;  // per observation
    std::vector<std::size_t> member_of;    // per observation: its place among its tracklet's members
    IdentificationSettings settings{};
    SearchPlan fields_plan;                // one square per tracklet, about its first observation
    std::unique_ptr<SatelliteFields> fields;
    std::vector<SatelliteSearchGeometry> geometry;  // per observation: its square at its instant and site

    SatelliteNight() = default;
    SatelliteNight(const SatelliteNight&) = delete;
    SatelliteNight& operator=(const SatelliteNight&) = delete;
};

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

// The field an observation is searched as: a small square about its place
// at its instant, seen from its site (km, Earth-fixed). An observer in
// space is placed by its geocentric J2000 position turned into the
// Earth-fixed frame at the instant, which the evaluation turns back.
FieldSearch observation_field(const Observation& o, const Vector3& site, const FieldSearch& clock,
                              double radius_arcsec)
{
    FieldSearch field;
    field.start_utc_mjd = o.utc_mjd;
    field.centre = field_centre_from_degrees(o.ra_deg, o.dec_deg);
    field.half_side_arcmin = FIELD_HALF_SIDE_PER_RADIUS * radius_arcsec / 60.0;
    field.observer_earth_fixed = site;
    field.leap_seconds = clock.leap_seconds;
    field.ut1_minus_utc_seconds = clock.ut1_minus_utc_seconds;
    if (o.place == ObserverPlace::space) {
        const Matrix3 to_earth_fixed =
            celestial_to_terrestrial_matrix(o.utc_mjd, clock.ut1_minus_utc_seconds, clock.leap_seconds).matrix;
        field.observer_earth_fixed = matrix_vector_product(to_earth_fixed, o.space_geocentric_km);
    }
    return field;
}

// The night of plan.observations, or none with `status` 1 (a file cannot
// be read) or 2 (observations of no known format, a radius too large) and
// one line in `error` without the program's name.
std::unique_ptr<SatelliteNight> satellite_night(const SearchPlan& plan, int& status, std::string& error)
{
    const ObservationRun& run = *plan.observations;
    if (!(run.radius_arcsec <= SATELLITE_IDENTIFICATION_MAX_RADIUS_ARCSEC)) {
        status = 2;
        error = formatted("--radius: satellites are identified within at most %g arcsec",
                          SATELLITE_IDENTIFICATION_MAX_RADIUS_ARCSEC);
        return nullptr;
    }
    NightReading reading = identification_night_read(SATFIELD_PROGRAM_NAME, run.observations_path,
                                                     run.observatory_codes_path, file_text);
    if (reading.status != 0) {
        status = reading.status;
        error = reading.error;
        return nullptr;
    }
    auto night = std::make_unique<SatelliteNight>();
    night->format = reading.format;
    night->stations = reading.stations;
    night->messages = std::move(reading.messages);
    IdentificationNight& ready = reading.night;
    const FieldSearch& clock = plan.fields.front();
    night->fields_plan.threads = plan.threads;
    night->fields_plan.theory = plan.theory;
    night->fields_plan.sunlit_only = plan.sunlit_only;
    night->fields_plan.standard_magnitudes = plan.standard_magnitudes;
    for (std::size_t i = 0; i < ready.observations.size(); ++i) {
        night->geometry.push_back(satellite_search_geometry(
            field_request(observation_field(ready.observations[i], ready.sites[i], clock, run.radius_arcsec))));
    }
    for (const Tracklet& tracklet : ready.tracklets) {
        const std::size_t i = tracklet.members.front();
        night->fields_plan.fields.push_back(
            observation_field(ready.observations[i], ready.sites[i], clock, run.radius_arcsec));
    }
    night->observations = std::move(ready.observations);
    night->tracklets = std::move(ready.tracklets);
    night->tracklet_of = std::move(ready.tracklet_of);
    night->member_of = std::move(ready.member_of);
    night->settings = {run.radius_arcsec, run.motion_tolerance, run.max_candidates, HOURS_PER_SECOND};
    night->fields = std::make_unique<SatelliteFields>(night->fields_plan, SatelliteScan::fast);
    return night;
}

// Whether observation `i` sees the set within the radius of its place.
bool within_radius(const SatelliteNight& night, std::size_t i, const SatelliteSighting& sighting)
{
    const Observation& o = night.observations[i];
    return angle_between(unit_vector_from_sky(o.ra_deg, o.dec_deg),
                         unit_vector_from_sky(sighting.ra_deg, sighting.dec_deg)) *
               ARCSEC_PER_RAD <=
           night.settings.radius_arcsec;
}

// The set at the first observation of every tracklet whose field holds it,
// then at the tracklet's other observations, and each tracklet all of whose
// members lie within the radius of its place and whose motion agrees;
// returns why the set could not be evaluated.
SatelliteProblems evaluate_set(const SatelliteNight& night, const TleRecord& record, Findings& findings)
{
    const std::size_t set = findings.sets.size();
    findings.sets.push_back({record.norad_number, tle_epoch_mjd(record)});
    thread_local std::vector<std::pair<std::size_t, SatelliteSighting>> leads;
    leads.clear();
    SatelliteProblems problems =
        night.fields->evaluate(record, [&](std::size_t t, const SatelliteSighting& sighting, const RowExtras&) {
            if (within_radius(night, night.tracklets[t].members.front(), sighting)) {
                leads.emplace_back(t, sighting);
            }
        });
    if (problems.problem != nullptr) {
        return problems;
    }
    // The fields call back by instant, not in tracklet order.
    std::stable_sort(leads.begin(), leads.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const SatelliteTheory theory = night.fields->theory();
    for (auto& [t, lead] : leads) {
        const Tracklet& tracklet = night.tracklets[t];
        std::vector<SatelliteSighting> sightings{std::move(lead)};
        for (std::size_t m = 1; m < tracklet.members.size(); ++m) {
            // As the scan of a field would evaluate it there.
            const std::size_t i = tracklet.members[m];
            const SatelliteEvaluation evaluation = evaluate_satellite(record, night.geometry[i], theory);
            if (evaluation.outcome == SatelliteOutcome::not_evaluated) {
                problems.problem = evaluation.problem;
                return problems;
            }
            if (evaluation.sgp4_problem != nullptr) {
                problems.sgp4_problem = evaluation.sgp4_problem;
            }
            if (evaluation.outcome != SatelliteOutcome::in_field || !within_radius(night, i, evaluation.sighting) ||
                (night.fields_plan.sunlit_only && !sighting_is_lit(evaluation.sighting))) {
                break;
            }
            sightings.push_back(evaluation.sighting);
        }
        if (sightings.size() != tracklet.members.size()) {
            continue;
        }
        std::vector<PredictedPlace> predicted;
        for (const SatelliteSighting& s : sightings) {
            predicted.push_back({s.ra_deg, s.dec_deg});
        }
        if (std::optional<TrackletMatch> match = tracklet_match(night.observations, tracklet, predicted, night.settings)) {
            findings.candidates.push_back({t, std::move(sightings), std::move(*match), tle_epoch_mjd(record), set});
        }
    }
    return problems;
}

// A problem at the line or record of an entry, as a message line.
std::string entry_message(const CatalogueDiagnostics& diagnostics, const ElementSetEntry& entry, long line,
                          const std::string& what)
{
    if (entry.record_index > 0) {
        return catalogue_record_message(diagnostics, entry.record_index, "%s", what.c_str());
    }
    return catalogue_line_message(diagnostics, line, "%s", what.c_str());
}

// The entries of one block read into sets and evaluated, in catalogue
// order, with the messages the field search gives for them.
void evaluate_block(const SatelliteNight& night, const CatalogueDiagnostics& diagnostics, const EntryBlock& block,
                    Findings& findings)
{
    findings.clear();
    thread_local ElementSetEntry read_set;
    for (std::size_t e = 0; e < block.used; ++e) {
        const ElementSetEntry& entry = evaluated_entry(block.entries[e], read_set);
        const long message_line = entry.message_line > 0 ? entry.message_line : entry.line;
        if (entry.kind != EntryKind::notice) {
            ++findings.records;
        }
        if (entry.kind != EntryKind::element_set) {
            findings.messages += entry_message(diagnostics, entry, message_line, entry.message);
            continue;
        }
        if (!entry.message.empty()) {
            findings.messages += entry_message(diagnostics, entry, message_line, entry.message);
        }
        const SatelliteProblems problems = evaluate_set(night, entry.record, findings);
        if (problems.problem != nullptr) {
            findings.messages += entry_message(diagnostics, entry, entry.line,
                                               std::string("element set not evaluated: ") + problems.problem);
        } else if (problems.sgp4_problem != nullptr) {
            findings.messages += entry_message(diagnostics, entry, entry.line,
                                               std::string("element set not evaluated by SGP4: ") +
                                                   problems.sgp4_problem);
        }
    }
}

// Takes a block's findings in catalogue order: its candidates, their sets
// counted among all the sets evaluated so far.
void gather(Findings& findings, std::vector<ElementSetEpoch>& sets, std::vector<std::vector<Candidate>>& found)
{
    const std::size_t first = sets.size();
    sets.insert(sets.end(), findings.sets.begin(), findings.sets.end());
    for (Candidate& c : findings.candidates) {
        c.set += first;
        found[c.tracklet].push_back(std::move(c));
    }
}

// Each tracklet's candidates from its satellite's set nearest the
// tracklet's mean instant alone (a catalogue may hold several sets of one
// satellite), ranked, at most `max_candidates`; returns how many tracklets
// have one or more.
int chosen_candidates(const SatelliteNight& night, std::vector<ElementSetEpoch> sets,
                      std::vector<std::vector<Candidate>>& found, int max_candidates)
{
    const ElementSetHistory history = element_set_history(std::move(sets));
    for (std::size_t t = 0; t < found.size(); ++t) {
        const double instant = night.tracklets[t].fit.mean_utc_mjd;
        std::erase_if(found[t],
                      [&](const Candidate& c) { return nearest_element_set(history, c.set, instant) != c.set; });
    }
    return ranked_candidates(found, max_candidates);
}

RowColumns identification_columns()
{
    RowColumns columns = identification_observation_columns();
    for (const char* name : {"norad_number", "name", "cospar_id", "predicted_ra_deg", "predicted_dec_deg",
                             "offset_ra_arcsec", "offset_dec_arcsec", "offset_arcsec",
                             "motion_residual_arcsec_per_s", "elements_age_days"}) {
        columns.emplace_back(name);
    }
    return columns;
}

// The name as a row shows it: the set's whole name without surrounding blanks.
std::string shown_name(const std::string& name)
{
    const std::size_t first = name.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

Row candidate_row(std::size_t tracklet, const Observation& o, int rank, const Candidate& c, std::size_t member)
{
    Row row = identification_observation_row(tracklet, o, rank);
    const SatelliteSighting& s = c.sightings[member];
    const PlaceOffset& offset = c.match.offsets[member];
    row.values.push_back(whole_value(s.norad_number));
    row.values.push_back(text_value(shown_name(s.full_name)));
    row.values.push_back(designation_value(s.cospar_id.data()));
    row.values.push_back(real_value(s.ra_deg, 7));
    row.values.push_back(real_value(s.dec_deg, 7));
    row.values.push_back(real_value(offset.ra_arcsec, 3));
    row.values.push_back(real_value(offset.dec_arcsec, 3));
    row.values.push_back(real_value(offset.total_arcsec, 3));
    row.values.push_back(c.match.motion_residual ? real_value(*c.match.motion_residual, 3) : absent_value());
    row.values.push_back(real_value(o.utc_mjd - c.epoch_mjd, 5));
    return row;
}

// The rows of tracklet t: each candidate's row per observation, by rank, or
// the observations' rows with rank 0 when it has none.
std::vector<Row> tracklet_rows(const SatelliteNight& night, std::size_t t, const std::vector<Candidate>& found)
{
    const Tracklet& tracklet = night.tracklets[t];
    std::vector<Row> rows;
    if (found.empty()) {
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

TextRowLayout identification_layout()
{
    return {{{"  ", 1, TextStyle::integer, 6},
             {"  ", 2, TextStyle::left_padded, 23},
             {" ", 3, TextStyle::left_padded, 3},
             {" ", 4, TextStyle::fixed, 11, 6},
             {" ", 5, TextStyle::fixed, 10, 6},
             {" ", 6, TextStyle::integer, 2},
             {" ", 7, TextStyle::integer, 6},
             {" ", 8, TextStyle::blank_then_left, 25},
             {" ", 9, TextStyle::left_padded, 9},
             {" ", 12, TextStyle::fixed, 8, 3},
             {" ", 13, TextStyle::fixed, 8, 3},
             {" ", 14, TextStyle::fixed, 7, 3},
             {" ", 15, TextStyle::fixed, 8, 3},
             {" ", 16, TextStyle::fixed, 8, 3}},
            "\n"};
}

const char* TEXT_TABLE_HEADER =
    "    line  time (UTC)              stn   obs RA (deg) obs Dec (deg) rank norad  name                      "
    "cospar       d RA\"  d Dec\"  offset\" motion\"/s  age (d)\n";

}  // namespace

ObservationIdentification satellite_identification_by_records(const SearchPlan& plan,
                                                               const std::vector<TleRecord>& records)
{
    ObservationIdentification result;
    const std::unique_ptr<SatelliteNight> night = satellite_night(plan, result.status, result.error);
    if (!night) {
        return result;
    }
    result.messages = night->messages;
    std::vector<std::vector<Candidate>> found(night->tracklets.size());
    std::vector<ElementSetEpoch> sets;
    std::size_t next = 0;
    struct RecordRange {
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    run_ordered_blocks<RecordRange, Findings>(
        std::max(1, plan.threads),
        [&](RecordRange& range) {
            range.begin = next;
            range.end = std::min(records.size(), next + ENTRIES_PER_BLOCK);
            next = range.end;
            return range.begin < range.end;
        },
        [&](const RecordRange& range, Findings& findings) {
            findings.clear();
            for (std::size_t k = range.begin; k < range.end; ++k) {
                evaluate_set(*night, records[k], findings);
            }
        },
        [&](Findings& findings) { gather(findings, sets, found); });
    result.identified = chosen_candidates(*night, std::move(sets), found, plan.observations->max_candidates);
    result.tracklets = static_cast<int>(night->tracklets.size());
    result.columns = identification_columns();
    for (std::size_t t = 0; t < night->tracklets.size(); ++t) {
        std::vector<Row> rows = tracklet_rows(*night, t, found[t]);
        std::move(rows.begin(), rows.end(), std::back_inserter(result.rows));
    }
    return result;
}

int identify_satellite_observations(const SearchPlan& plan, const SearchOutput& output)
{
    const ObservationRun& run = *plan.observations;
    const char* program = SATFIELD_PROGRAM_NAME;
    int status = 0;
    std::string error;
    const std::unique_ptr<SatelliteNight> night = satellite_night(plan, status, error);
    if (!night) {
        std::fprintf(output.err, "%s: %s\n", program, error.c_str());
        return status;
    }
    std::fputs(night->messages.c_str(), output.err);
    const CatalogueDiagnostics diagnostics{program, output.catalogue_path, output.err};
    std::FILE* file = open_catalogue(diagnostics);
    if (file == nullptr) {
        return 1;
    }
    SatelliteCatalogueReader catalogue(file, true, is_compressed_catalogue(output.catalogue_path),
                                       &plan.fields.front().leap_seconds);
    // The messages of a compressed catalogue's records wait for the stream's
    // check at its end.
    HeldMessages held(output.err, is_compressed_catalogue(output.catalogue_path));
    std::vector<std::vector<Candidate>> found(night->tracklets.size());
    std::vector<ElementSetEpoch> sets;
    int records = 0;
    run_ordered_blocks<EntryBlock, Findings>(
        plan.threads, [&](EntryBlock& block) { return read_entries(catalogue, block); },
        [&](const EntryBlock& block, Findings& findings) { evaluate_block(*night, diagnostics, block, findings); },
        [&](Findings& findings) {
            records += findings.records;
            std::fputs(findings.messages.c_str(), held.stream());
            gather(findings, sets, found);
        });
    const TextCatalogueReader& reader = catalogue.text_reader();
    const bool whole = catalogue.whole_problem().empty();
    if (!reader.read_error()) {
        held.release();
    }
    if (!whole) {
        std::fprintf(output.err, "%s: cannot read %s: %s\n", program, output.catalogue_path,
                     catalogue.whole_problem().c_str());
    }
    if (whole && !reader.read_error()) {
        const int identified = chosen_candidates(*night, std::move(sets), found, run.max_candidates);
        std::vector<TrackletSection> sections;
        for (std::size_t t = 0; t < night->tracklets.size(); ++t) {
            const Tracklet& tracklet = night->tracklets[t];
            sections.push_back({shown_tracklet_designation(tracklet.designation), tracklet.station,
                                tracklet.members.size(), found[t].size(), tracklet_rows(*night, t, found[t])});
        }
        const IdentificationSummary summary{program,
                                            run.observations_path,
                                            observation_format_name(night->format),
                                            run.observatory_codes_path,
                                            night->stations,
                                            night->observations.size(),
                                            output.catalogue_path,
                                            run.radius_arcsec,
                                            run.motion_tolerance,
                                            "arcsec/s",
                                            "motion_tolerance_arcsec_per_s",
                                            run.max_candidates,
                                            records,
                                            identified};
        std::fputs(identification_report(output.format, summary, sections, identification_columns(),
                                         identification_layout(), TEXT_TABLE_HEADER)
                       .c_str(),
                   output.out);
    }
    const int closed = close_catalogue(diagnostics, file, reader, output.out);
    return closed != 0 || !whole ? 1 : 0;
}

}  // namespace fieldsearch
