#include "memory_catalogues.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>
#include <utility>
#include <variant>

#include "angles.hpp"
#include "asteroid_evaluation.hpp"
#include "asteroid_fields.hpp"
#include "asteroid_search.hpp"
#include "astfield_program.hpp"
#include "catalogue_file.hpp"
#include "field_list.hpp"
#include "frame_rows.hpp"
#include "leap_seconds_file.hpp"
#include "night_candidates.hpp"
#include "observation_search.hpp"
#include "ordered_blocks.hpp"
#include "satellite_catalogue.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_fields.hpp"
#include "satellite_identification.hpp"
#include "satellite_search.hpp"
#include "satfield_program.hpp"
#include "text_catalogue.hpp"

namespace fieldsearch {

namespace {

// A message without the option it is about ("--side: 'x' is not ..." reads
// "'x' is not ...").
std::string without_option(const std::string& message)
{
    if (message.rfind("--", 0) == 0) {
        const std::size_t at = message.find(": ");
        if (at != std::string::npos) {
            return message.substr(at + 2);
        }
    }
    return message;
}

// The messages a reader writes to its error stream, caught in memory.
class CaughtMessages {
public:
    CaughtMessages() : file_(open_memstream(&buffer_, &size_)) {}
    ~CaughtMessages()
    {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
        std::free(buffer_);
    }
    CaughtMessages(const CaughtMessages&) = delete;
    CaughtMessages& operator=(const CaughtMessages&) = delete;

    std::FILE* file() const { return file_ != nullptr ? file_ : stderr; }

    // The first message without the program's name before it.
    std::string first(const char* program)
    {
        if (file_ == nullptr) {
            return "cannot read the catalogue";
        }
        std::fflush(file_);
        std::string text(buffer_ != nullptr ? buffer_ : "", size_);
        text = text.substr(0, text.find('\n'));
        const std::string prefix = std::string(program) + ": ";
        if (text.rfind(prefix, 0) == 0) {
            text.erase(0, prefix.size());
        }
        return text;
    }

private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

// The base command line of a plan; refuses what the program refuses.
CommandLine parsed_arguments(const ProgramInfo& program, const std::vector<std::string>& arguments)
{
    const std::vector<std::string_view> views(arguments.begin(), arguments.end());
    const CommandLineResult parsed = parse_command_line(views, program);
    if (!parsed.ok) {
        throw SearchRefusal(false, without_option(parsed.error));
    }
    return parsed.command_line;
}

SearchPlan planned(const CommandLine& line, const Scenario& compiled_in)
{
    PlanResult result = plan_from_command_line(line, compiled_in);
    if (result.status != 0) {
        throw SearchRefusal(result.status == 1, without_option(result.error));
    }
    return std::move(result.plan);
}

// The plan of a list of fields: each square at its instant with the
// options' observer, limit and clock; each image read as --image reads it.
SearchPlan listed_plan(const CommandLine& line, const Scenario& compiled_in, const std::string& text)
{
    const FieldListResult list = field_list_from_text(text);
    if (!list.error.empty()) {
        throw SearchRefusal(false, list.error);
    }
    SearchPlan plan = planned(line, compiled_in);
    const FieldSearch base = plan.fields.front();
    Scenario scenario = field_scenario(base);
    scenario.leap_seconds = base.leap_seconds;
    scenario.ut1_minus_utc_seconds = base.ut1_minus_utc_seconds;
    plan.fields.clear();
    plan.listed = true;
    for (const FieldListRow& row : list.rows) {
        const std::optional<double> exposure = row.exposure_s ? row.exposure_s : line.exposure_s;
        if (!row.image.empty()) {
            CommandLine image_line = line;
            image_line.images = {row.image};
            image_line.instant = row.time ? row.time : line.instant;
            image_line.exposure_s = exposure;
            SearchPlan image_plan;
            try {
                image_plan = planned(image_line, compiled_in);
            } catch (const SearchRefusal& refusal) {
                throw SearchRefusal(refusal.file, "line " + std::to_string(row.line) + ": " + refusal.what());
            }
            FieldSearch field = std::move(image_plan.fields.front());
            field.id = row.id;
            plan.fields.push_back(std::move(field));
            continue;
        }
        Scenario square = scenario;
        square.instant = *row.time;
        square.centre = field_centre_from_degrees(*row.ra_deg, *row.dec_deg);
        square.half_side_arcmin = *row.side_arcmin / 2.0;
        FieldSearch field = field_search(square, exposure.value_or(0.0));
        field.id = row.id;
        plan.fields.push_back(std::move(field));
    }
    return plan;
}

// A run of consecutive entries of the records searched.
struct RecordRange {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// Records are evaluated this many at a time.
constexpr std::size_t RECORDS_PER_BLOCK = 2048;

struct RangeFindings {
    std::vector<std::pair<std::size_t, Row>> rows;  // field, row
};

// The rows of every field, fields in the plan's order and each field's rows
// in catalogue order, led by the field's id when the run's rows carry it.
FoundRows assembled_rows(CatalogueKind kind, const SearchPlan& plan, std::vector<std::vector<Row>>& by_field)
{
    FoundRows found;
    const bool field_column = rows_carry_field(plan);
    found.columns = plan_columns(kind, plan);
    for (std::size_t f = 0; f < by_field.size(); ++f) {
        for (Row& row : by_field[f]) {
            std::vector<RowValue> values;
            values.reserve(row.values.size() + 1);
            if (field_column) {
                values.push_back(text_value(plan.fields[f].id));
            }
            for (RowValue& value : row.values) {
                values.push_back(std::move(value));
            }
            found.rows.push_back(std::move(values));
        }
    }
    return found;
}

// Evaluates the records named by positions 0 .. count - 1 (`record_at` maps
// a position to its record) on plan.threads threads, handing each its rows.
template <typename Evaluate>
std::vector<std::vector<Row>> rows_by_field(const SearchPlan& plan, std::size_t count, Evaluate evaluate)
{
    std::vector<std::vector<Row>> by_field(plan.fields.size());
    std::size_t next = 0;
    run_ordered_blocks<RecordRange, RangeFindings>(
        std::max(1, plan.threads),
        [&](RecordRange& range) {
            range.begin = next;
            range.end = std::min(count, next + RECORDS_PER_BLOCK);
            next = range.end;
            return range.begin < range.end;
        },
        [&](const RecordRange& range, RangeFindings& findings) {
            findings.rows.clear();
            for (std::size_t k = range.begin; k < range.end; ++k) {
                evaluate(k, findings);
            }
        },
        [&](RangeFindings& findings) {
            for (auto& [field, row] : findings.rows) {
                by_field[field].push_back(std::move(row));
            }
        });
    return by_field;
}

}  // namespace

SearchPlan plan_from_arguments(CatalogueKind kind, const std::vector<std::string>& arguments,
                               const std::optional<std::string>& fields_text)
{
    const bool asteroids = kind == CatalogueKind::asteroids;
    const CommandLine line = parsed_arguments(asteroids ? ASTFIELD_PROGRAM : SATFIELD_PROGRAM, arguments);
    const Scenario compiled_in = asteroids ? asteroid_scenario() : satellite_scenario();
    if (fields_text) {
        return listed_plan(line, compiled_in, *fields_text);
    }
    return planned(line, compiled_in);
}

RowColumns plan_columns(CatalogueKind kind, const SearchPlan& plan)
{
    RowColumns columns;
    if (rows_carry_field(plan)) {
        columns.push_back("field");
    }
    const ExtraColumns extra = extra_columns(plan);
    if (kind == CatalogueKind::asteroids) {
        const RowColumns row = asteroid_row_format().columns;
        columns.insert(columns.end(), row.begin(), row.end());
        append_extra_columns(extra, columns);
        append_asteroid_view_columns(columns);
        return columns;
    }
    const RowColumns row = satellite_row_format(SatelliteFields(plan, SatelliteScan::fast).theory()).columns;
    columns.insert(columns.end(), row.begin(), row.end());
    append_extra_columns(extra, columns);
    columns.push_back("elements_age_days");
    append_satellite_view_columns(columns);
    return columns;
}

CatalogueKind catalogue_kind_of_file(const std::string& path)
{
    CaughtMessages messages;
    const CatalogueDiagnostics diagnostics{ASTFIELD_PROGRAM_NAME, path.c_str(), messages.file()};
    return read_catalogue_format(diagnostics, std::nullopt) ? CatalogueKind::asteroids : CatalogueKind::satellites;
}

// ---------------------------------------------------------------------------
// The sky index of a night.

struct NightSkyIndex {
    double centre_utc_mjd = 0.0;
    Vector3 observer_earth_fixed;
    double ut1_minus_utc_seconds = 0.0;
    LeapSecondTable leap_seconds;
    std::vector<Vector3> tile_centre;
    std::vector<double> tile_radius;       // radians
    std::vector<std::uint32_t> first;      // per tile, its first member; one more entry closes the last
    std::vector<std::uint32_t> members;    // record positions, ascending within each tile
    std::vector<std::uint32_t> always;     // records the night's bound cannot place: searched every time
};

namespace {

// The tiles' declination bands are this high (degrees); each band is cut
// into right-ascension cells no wider than this on its widest parallel.
constexpr double TILE_DEG = 1.0;
constexpr double PI = 3.14159265358979323846;
constexpr double DEG = PI / 180.0;

// The cells of the sky grid, each as the cap about its centre through its
// farthest corner (the distance from the centre along each edge of a cell
// is greatest at one of its ends).
void add_sky_tiles(NightSkyIndex& index)
{
    const int bands = static_cast<int>(std::lround(180.0 / TILE_DEG));
    for (int b = 0; b < bands; ++b) {
        const double dec_low = -90.0 + b * TILE_DEG;
        const double dec_high = dec_low + TILE_DEG;
        const double widest = std::cos(std::min(std::fabs(dec_low), std::fabs(dec_high)) * DEG);
        const int cells = std::max(1, static_cast<int>(std::ceil(360.0 * widest / TILE_DEG)));
        const double width = 360.0 / cells;
        for (int c = 0; c < cells; ++c) {
            const double ra_low = c * width;
            const Vector3 centre = unit_vector_from_sky(ra_low + width / 2.0, (dec_low + dec_high) / 2.0);
            double radius = 0.0;
            for (const double ra : {ra_low, ra_low + width}) {
                for (const double dec : {dec_low, dec_high}) {
                    radius = std::max(radius, angle_between(centre, unit_vector_from_sky(ra, dec)));
                }
            }
            index.tile_centre.push_back(centre);
            index.tile_radius.push_back(radius + 1e-9);
        }
    }
}

// The cap (centre, radius in radians) that holds every place a field's
// evaluation accepts: the square's or the image's corners, with room.
std::pair<Vector3, double> field_cap(const FieldSearch& field)
{
    const SearchRequest request = field_request(field);
    const double radius = (request.half_side_deg * std::sqrt(2.0) * 1.1 + 1.0 / 60.0) * DEG;
    return {unit_vector_from_sky(request.centre_ra_deg, request.centre_dec_deg), radius};
}

bool same_clock_and_site(const NightSkyIndex& index, const FieldSearch& field)
{
    if (field.ut1_minus_utc_seconds != index.ut1_minus_utc_seconds ||
        field.leap_seconds.expiry_mjd != index.leap_seconds.expiry_mjd ||
        field.leap_seconds.steps.size() != index.leap_seconds.steps.size()) {
        return false;
    }
    for (std::size_t k = 0; k < field.leap_seconds.steps.size(); ++k) {
        if (field.leap_seconds.steps[k].mjd != index.leap_seconds.steps[k].mjd ||
            field.leap_seconds.steps[k].tt_minus_utc_seconds != index.leap_seconds.steps[k].tt_minus_utc_seconds) {
            return false;
        }
    }
    for (int i = 1; i <= 3; ++i) {
        if (field.observer_earth_fixed(i) != index.observer_earth_fixed(i)) {
            return false;
        }
    }
    return true;
}

// True when every instant of every field lies within the index's night and
// is seen from its site by its clock.
bool index_serves(const NightSkyIndex& index, const SearchPlan& plan)
{
    const double half_span = INDEX_HALF_SPAN_HOURS / 24.0;
    for (const FieldSearch& field : plan.fields) {
        const double start = std::min(field.start_utc_mjd, rows_utc_mjd(field));
        const double end = std::max(field.start_utc_mjd + field.exposure_s / 86400.0, rows_utc_mjd(field));
        if (!(start >= index.centre_utc_mjd - half_span && end <= index.centre_utc_mjd + half_span) ||
            !same_clock_and_site(index, field)) {
            return false;
        }
    }
    return true;
}

// The index of the night about the plan's first field, or nothing when the
// plan itself spans more than a night or more than one site.
std::unique_ptr<NightSkyIndex> night_sky_index(const std::vector<OrbitRecord>& records, const SearchPlan& plan)
{
    auto index = std::make_unique<NightSkyIndex>();
    const FieldSearch& first = plan.fields.front();
    index->centre_utc_mjd = rows_utc_mjd(first);
    index->observer_earth_fixed = first.observer_earth_fixed;
    index->ut1_minus_utc_seconds = first.ut1_minus_utc_seconds;
    index->leap_seconds = first.leap_seconds;
    if (!index_serves(*index, plan)) {
        return nullptr;
    }
    add_sky_tiles(*index);
    const std::size_t tiles = index->tile_centre.size();
    const double half_span = INDEX_HALF_SPAN_HOURS / 24.0;
    std::vector<FieldWindow> windows;
    windows.reserve(tiles);
    for (std::size_t t = 0; t < tiles; ++t) {
        windows.push_back({index->centre_utc_mjd - half_span, index->centre_utc_mjd + half_span,
                           index->tile_centre[t], index->tile_radius[t]});
    }
    // Every tile shares the one window: one segment, no shorter parts.
    const double night_hours = 2.0 * INDEX_HALF_SPAN_HOURS + 0.1;
    const NightPlan night = night_plan(windows, index->observer_earth_fixed, night_hours, night_hours,
                                       index->ut1_minus_utc_seconds, index->leap_seconds);

    // Each thread bounds a run of records: their tiles, record by record.
    struct Chunk {
        std::size_t begin, end;
        std::vector<std::uint32_t> tiles;       // the tiles of each record in turn
        std::vector<std::uint32_t> tile_count;  // per record of the run; ~0 for one searched every time
    };
    const std::size_t threads = static_cast<std::size_t>(std::max(1, plan.threads));
    std::vector<Chunk> chunks(threads);
    const std::size_t per_chunk = (records.size() + threads - 1) / threads;
    auto bound = [&](Chunk& chunk) {
        std::vector<int> candidates;
        for (std::size_t r = chunk.begin; r < chunk.end; ++r) {
            const AstorbRecord* orbit = std::get_if<AstorbRecord>(&records[r]);
            if (orbit == nullptr) {
                chunk.tile_count.push_back(~std::uint32_t{0});
                continue;
            }
            candidate_fields(night, *orbit, candidates);
            if (candidates.size() == tiles) {
                chunk.tile_count.push_back(~std::uint32_t{0});
                continue;
            }
            chunk.tile_count.push_back(static_cast<std::uint32_t>(candidates.size()));
            for (const int t : candidates) {
                chunk.tiles.push_back(static_cast<std::uint32_t>(t));
            }
        }
    };
    std::vector<std::thread> workers;
    for (std::size_t c = 0; c < threads; ++c) {
        chunks[c].begin = std::min(records.size(), c * per_chunk);
        chunks[c].end = std::min(records.size(), (c + 1) * per_chunk);
        if (c + 1 < threads) {
            workers.emplace_back(bound, std::ref(chunks[c]));
        }
    }
    bound(chunks.back());
    for (std::thread& worker : workers) {
        worker.join();
    }

    // Tile by tile, the records in catalogue order.
    index->first.assign(tiles + 1, 0);
    for (const Chunk& chunk : chunks) {
        for (const std::uint32_t t : chunk.tiles) {
            ++index->first[t + 1];
        }
    }
    for (std::size_t t = 0; t < tiles; ++t) {
        index->first[t + 1] += index->first[t];
    }
    index->members.resize(index->first[tiles]);
    std::vector<std::uint32_t> fill(index->first.begin(), index->first.end() - 1);
    for (const Chunk& chunk : chunks) {
        std::size_t at = 0;
        for (std::size_t r = chunk.begin; r < chunk.end; ++r) {
            const std::uint32_t n = chunk.tile_count[r - chunk.begin];
            if (n == ~std::uint32_t{0}) {
                index->always.push_back(static_cast<std::uint32_t>(r));
                continue;
            }
            for (std::uint32_t k = 0; k < n; ++k) {
                index->members[fill[chunk.tiles[at + k]]++] = static_cast<std::uint32_t>(r);
            }
            at += n;
        }
    }
    return index;
}

// The positions of the records that may lie in some field of the plan, in
// catalogue order.
std::vector<std::uint32_t> records_near(const NightSkyIndex& index, const SearchPlan& plan)
{
    std::vector<std::uint32_t> near = index.always;
    for (const FieldSearch& field : plan.fields) {
        const auto [centre, radius] = field_cap(field);
        for (std::size_t t = 0; t < index.tile_centre.size(); ++t) {
            if (angle_between(centre, index.tile_centre[t]) <= radius + index.tile_radius[t]) {
                near.insert(near.end(), index.members.begin() + index.first[t],
                            index.members.begin() + index.first[t + 1]);
            }
        }
    }
    std::sort(near.begin(), near.end());
    near.erase(std::unique(near.begin(), near.end()), near.end());
    return near;
}

}  // namespace

// ---------------------------------------------------------------------------
// Asteroids and comets.

AsteroidCatalogue::AsteroidCatalogue(const std::string& path, const std::optional<std::string>& layout_name)
{
    std::optional<CatalogueLayout> forced;
    if (layout_name) {
        forced = catalogue_layout_from_name(*layout_name);
        if (!forced) {
            throw SearchRefusal(false, "'" + *layout_name + "' is not astorb, mpcorb or comets");
        }
    }
    CaughtMessages caught;
    const CatalogueDiagnostics diagnostics{ASTFIELD_PROGRAM_NAME, path.c_str(), caught.file()};
    std::FILE* file = open_catalogue(diagnostics);
    if (file == nullptr) {
        throw SearchRefusal(true, caught.first(ASTFIELD_PROGRAM_NAME));
    }
    const std::optional<CatalogueFormat> format = read_catalogue_format(diagnostics, forced);
    if (!format) {
        std::fclose(file);
        throw SearchRefusal(true, caught.first(ASTFIELD_PROGRAM_NAME));
    }
    TextCatalogueReader reader(file, is_compressed_catalogue(path.c_str()));
    std::string_view line;
    while (reader.next_line(line)) {
        CatalogueLine parsed = parse_catalogue_line(*format, reader.line_number(), line, reader.full_length());
        if (!parsed.problem.empty()) {
            messages_ += catalogue_line_message(diagnostics, reader.line_number(), "%s", parsed.problem.c_str());
        }
        if (parsed.kind == CatalogueLine::Kind::skipped || parsed.kind == CatalogueLine::Kind::not_a_record) {
            continue;
        }
        ++counted_;
        if (parsed.kind == CatalogueLine::Kind::record) {
            records_.push_back(std::move(parsed.record));
        }
    }
    if (close_catalogue(diagnostics, file, reader, caught.file()) != 0) {
        throw SearchRefusal(true, caught.first(ASTFIELD_PROGRAM_NAME));
    }
}

AsteroidCatalogue::~AsteroidCatalogue() = default;

FoundRows AsteroidCatalogue::search(const SearchPlan& plan, bool use_index)
{
    const AsteroidFields fields(plan, AsteroidScan::fast);
    std::vector<std::uint32_t> near;
    bool indexed = false;
    // The night's bound is that of two-body orbits.
    if (use_index && !plan.fields.empty() && plan.propagation == Propagation::two_body) {
        if (!index_ || !index_serves(*index_, plan)) {
            index_ = night_sky_index(records_, plan);
            index_builds_ += index_ ? 1 : 0;
        }
        if (index_) {
            near = records_near(*index_, plan);
            indexed = true;
        }
    }
    const std::size_t count = indexed ? near.size() : records_.size();
    auto by_field = rows_by_field(plan, count, [&](std::size_t k, RangeFindings& findings) {
        const OrbitRecord& record = records_[indexed ? near[k] : k];
        fields.evaluate(record, false, [&](std::size_t i, const AsteroidSighting& sighting, const RowExtras& extras) {
            Row row = asteroid_row(sighting);
            append_extra_values(fields.extra(), extras, row);
            append_asteroid_view_values(sighting, row);
            findings.rows.emplace_back(i, std::move(row));
        });
    });
    return assembled_rows(CatalogueKind::asteroids, plan, by_field);
}

namespace {

// The rows of an identification for the module, or its refusal.
IdentifiedRows identified_rows(ObservationIdentification identification)
{
    if (identification.status != 0) {
        throw SearchRefusal(true, identification.error);
    }
    IdentifiedRows identified;
    identified.found.columns = std::move(identification.columns);
    for (Row& row : identification.rows) {
        identified.found.rows.push_back(std::move(row.values));
    }
    identified.messages = std::move(identification.messages);
    identified.tracklets = identification.tracklets;
    identified.identified = identification.identified;
    return identified;
}

}  // namespace

IdentifiedRows AsteroidCatalogue::identify(const SearchPlan& plan) const
{
    if (!plan.observations) {
        throw SearchRefusal(false, "no observations to identify");
    }
    return identified_rows(identification_by_records(plan, records_));
}

// ---------------------------------------------------------------------------
// Satellites.

namespace {

std::string entry_message(const CatalogueDiagnostics& diagnostics, const ElementSetEntry& entry, const std::string& what)
{
    if (entry.record_index > 0) {
        return catalogue_record_message(diagnostics, entry.record_index, "%s", what.c_str());
    }
    return catalogue_line_message(diagnostics, entry.line, "%s", what.c_str());
}

}  // namespace

SatelliteCatalogue::SatelliteCatalogue(const std::string& path)
{
    CaughtMessages caught;
    const CatalogueDiagnostics diagnostics{SATFIELD_PROGRAM_NAME, path.c_str(), caught.file()};
    std::FILE* file = open_catalogue(diagnostics);
    if (file == nullptr) {
        throw SearchRefusal(true, caught.first(SATFIELD_PROGRAM_NAME));
    }
    SatelliteCatalogueReader catalogue(file, false, is_compressed_catalogue(path.c_str()));
    ElementSetEntry entry;
    while (catalogue.next(entry)) {
        if (entry.kind != EntryKind::notice) {
            ++counted_;
        }
        if (entry.kind == EntryKind::element_set) {
            records_.push_back(entry.record);
        } else {
            messages_ += entry_message(diagnostics, entry, entry.message);
        }
    }
    const bool whole = catalogue.whole_problem().empty();
    const std::string problem = catalogue.whole_problem();
    if (close_catalogue(diagnostics, file, catalogue.text_reader(), caught.file()) != 0) {
        throw SearchRefusal(true, caught.first(SATFIELD_PROGRAM_NAME));
    }
    if (!whole) {
        throw SearchRefusal(true, "cannot read " + path + ": " + problem);
    }
    std::vector<ElementSetEpoch> sets;
    sets.reserve(records_.size());
    for (const TleRecord& record : records_) {
        sets.push_back({record.norad_number, tle_epoch_mjd(record)});
    }
    history_ = element_set_history(std::move(sets));
}

FoundRows SatelliteCatalogue::search(const SearchPlan& plan) const
{
    const SatelliteFields fields(plan, SatelliteScan::fast);
    auto by_field = rows_by_field(plan, records_.size(), [&](std::size_t k, RangeFindings& findings) {
        const TleRecord& record = records_[k];
        fields.evaluate(record, [&](std::size_t i, const SatelliteSighting& sighting, const RowExtras& extras) {
            // A satellite with several sets is placed by the one nearest the field's instant.
            if (nearest_element_set(history_, k, rows_utc_mjd(plan.fields[i])) != k) {
                return;
            }
            Row row = satellite_row(sighting, fields.theory());
            append_extra_values(fields.extra(), extras, row);
            row.values.push_back(real_value(rows_utc_mjd(plan.fields[i]) - tle_epoch_mjd(record), 5));
            append_satellite_view_values(sighting, row);
            findings.rows.emplace_back(i, std::move(row));
        });
    });
    return assembled_rows(CatalogueKind::satellites, plan, by_field);
}

IdentifiedRows SatelliteCatalogue::identify(const SearchPlan& plan) const
{
    if (!plan.observations) {
        throw SearchRefusal(false, "no observations to identify");
    }
    if (!(plan.observations->radius_arcsec <= SATELLITE_IDENTIFICATION_MAX_RADIUS_ARCSEC)) {
        // A bad value, as the program refuses it (after its option's name).
        const std::string refused = satellite_identification_by_records(plan, {}).error;
        throw SearchRefusal(false, refused.substr(refused.find(": ") + 2));
    }
    return identified_rows(satellite_identification_by_records(plan, records_));
}

}  // namespace fieldsearch
