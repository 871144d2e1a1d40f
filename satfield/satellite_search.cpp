#include "satellite_search.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <string>
#include <utility>
#include <vector>
#include <string_view>

#include "catalogue_file.hpp"
#include "field_reports.hpp"
#include "ordered_blocks.hpp"
#include "satellite_evaluation.hpp"
#include "text_catalogue.hpp"
#include "tle_record.hpp"

namespace {

// Lines are kept to this many characters: a two-line element line has 69.
constexpr std::size_t MAX_KEPT_LINE = 79;
// Element sets are read and evaluated this many at a time.
constexpr std::size_t SETS_PER_BLOCK = 1024;

// One element set as read: its three lines and what reading them said.
struct ElementSetText {
    long first_line;
    std::string read_messages;  // over-long lines, in order
    std::array<char, MAX_KEPT_LINE> name, line1, line2;
    std::size_t name_length, line1_length, line2_length;
    std::string_view name_line() const { return {name.data(), name_length}; }
    std::string_view first() const { return {line1.data(), line1_length}; }
    std::string_view second() const { return {line2.data(), line2_length}; }
};

// Consecutive element sets, and what was said after the last of them (a set
// cut short by the end of the file).
struct ElementSetBlock {
    std::vector<ElementSetText> sets;
    std::string trailing_messages;
};

struct BlockFindings {
    int sets = 0;
    std::string messages;
    std::vector<std::pair<std::size_t, std::string>> rows;  // field index, row
};

// The fields that share one instant, with that instant's observer and
// matrices, computed once per run.
struct InstantFields {
    std::vector<std::size_t> fields;                 // indices into the plan
    std::vector<SatelliteSearchGeometry> geometry;   // of each of those fields
};

// The next line of the catalogue, its over-length noted.
bool next_catalogue_line(TextCatalogueReader& reader, std::string_view& line, const CatalogueDiagnostics& diagnostics,
                         std::string& messages)
{
    if (!reader.next_line(line)) {
        return false;
    }
    if (reader.full_length() > MAX_KEPT_LINE) {
        messages += catalogue_line_message(diagnostics, reader.line_number(),
                                           "line of %zu characters, only the first %zu are read", reader.full_length(),
                                           MAX_KEPT_LINE);
    }
    return true;
}

}  // namespace

Scenario satellite_scenario()
{
    Scenario scenario{};
    scenario.instant = {2008, 5, 20, 20, 54, 0.0};
    scenario.observer_earth_fixed(1) = 3395.0303;
    scenario.observer_earth_fixed(2) = 3128.7911;
    scenario.observer_earth_fixed(3) = 4388.8511;
    scenario.centre = field_centre_from_sexagesimal(11, 28, 0.0, false, 1, 16, 0.0);
    scenario.half_side_arcmin = 150;
    scenario.mag_limit = 0.0;
    return scenario;
}

SearchRequest satellite_scenario_request()
{
    return search_request_from_scenario(satellite_scenario());
}

int run_satellite_scenario()
{
    return run_search(satellite_scenario(), {SATELLITE_CATALOGUE_PATH, OutputFormat::text, stdout, stderr},
                      search_satellite_field);
}

int search_satellite_field(const SearchRequest& request)
{
    return search_satellite_field(request, {SATELLITE_CATALOGUE_PATH, OutputFormat::text, stdout, stderr});
}

int search_satellite_field(const SearchRequest& request, const SearchOutput& output)
{
    const SearchPlan plan{{FieldSearch{std::string(), Scenario{}, request, request.utc_mjd, 0.0}}, 1, {}};
    return search_satellite_fields(plan, output);
}

std::optional<SatelliteTheory> satellite_theory_from_name(std::string_view name)
{
    if (name == "vinti") {
        return SatelliteTheory::vinti;
    }
    if (name == "sgp4") {
        return SatelliteTheory::sgp4;
    }
    if (name == "both") {
        return SatelliteTheory::both;
    }
    return std::nullopt;
}

int search_satellite_fields(const SearchPlan& plan, const SearchOutput& output)
{
    const SatelliteTheory theory =
        plan.theory.empty() ? SatelliteTheory::vinti : satellite_theory_from_name(plan.theory).value_or(SatelliteTheory::vinti);
    // Fields at the same instant share its observer, its matrices and each
    // satellite's place at it.
    std::vector<InstantFields> instants;
    for (std::size_t i = 0; i < plan.fields.size(); ++i) {
        const SearchRequest& request = plan.fields[i].request;
        auto same = std::find_if(instants.begin(), instants.end(), [&](const InstantFields& group) {
            return group.geometry.front().at.utc_mjd == request.utc_mjd;
        });
        if (same == instants.end()) {
            instants.push_back({{i}, {satellite_search_geometry(request)}});
        } else {
            SatelliteSearchGeometry geometry = same->geometry.front();
            geometry.centre_ra_deg = request.centre_ra_deg;
            geometry.centre_dec_deg = request.centre_dec_deg;
            geometry.half_side_deg = request.half_side_deg;
            same->fields.push_back(i);
            same->geometry.push_back(geometry);
        }
    }

    const CatalogueDiagnostics diagnostics{SATFIELD_PROGRAM.name, output.catalogue_path, output.err};
    std::FILE* file = open_catalogue(diagnostics);
    if (file == nullptr) {
        return 1;
    }
    const bool text = output.format == OutputFormat::text;
    FieldReports reports(plan, output.format, output.out, satellite_table_header(), satellite_csv_header(theory),
                         {"name", "cospar_id", "norad_id", "dec_sign"});
    reports.begin();

    TextCatalogueReader reader(file, MAX_KEPT_LINE);
    bool cut_short = false;
    auto read = [&](ElementSetBlock& block) {
        block.sets.clear();
        block.trailing_messages.clear();
        std::string messages;
        std::string_view line;
        while (!cut_short && block.sets.size() < SETS_PER_BLOCK) {
            messages.clear();
            if (!next_catalogue_line(reader, line, diagnostics, messages)) {
                block.trailing_messages += messages;
                break;
            }
            if (is_blank_line(line)) {
                // Said before the next set is read, or at the end.
                block.trailing_messages += messages;
                continue;
            }
            ElementSetText set;
            set.first_line = reader.line_number();
            set.name_length = line.copy(set.name.data(), set.name.size());
            bool complete = next_catalogue_line(reader, line, diagnostics, messages);
            if (complete) {
                set.line1_length = line.copy(set.line1.data(), set.line1.size());
                complete = next_catalogue_line(reader, line, diagnostics, messages);
            }
            if (!complete) {
                cut_short = true;
                block.trailing_messages += messages;
                if (!reader.read_error()) {
                    block.trailing_messages += catalogue_line_message(
                        diagnostics, set.first_line, "element set cut short by the end of the file, not counted");
                }
                break;
            }
            set.line2_length = line.copy(set.line2.data(), set.line2.size());
            set.read_messages = block.trailing_messages + messages;
            block.trailing_messages.clear();
            block.sets.push_back(std::move(set));
        }
        return !block.sets.empty() || !block.trailing_messages.empty();
    };
    auto evaluate = [&](const ElementSetBlock& block, BlockFindings& findings) {
        findings.sets = 0;
        findings.messages.clear();
        findings.rows.clear();
        for (const ElementSetText& set : block.sets) {
            findings.messages += set.read_messages;
            ++findings.sets;
            if (const char* problem = tle_line_length_problem(set.first(), set.second())) {
                findings.messages +=
                    catalogue_line_message(diagnostics, set.first_line, "element set not evaluated: %s", problem);
                continue;
            }
            const TleRecord record = parse_tle_record(set.name_line(), set.first(), set.second());
            if (const char* problem = tle_element_problem(record)) {
                findings.messages +=
                    catalogue_line_message(diagnostics, set.first_line, "element set not evaluated: %s", problem);
                continue;
            }
            const SatelliteOrbits orbits = satellite_orbits(record, theory);
            const char* problem = orbits.problem;
            for (const InstantFields& group : instants) {
                if (problem != nullptr) {
                    break;
                }
                const SatellitePlaces at = satellite_places(record, orbits, group.geometry.front().at);
                if (at.problem != nullptr) {
                    problem = at.problem;
                    break;
                }
                for (std::size_t k = 0; k < group.fields.size(); ++k) {
                    if (!satellite_places_in_field(at, theory, group.geometry[k])) {
                        continue;
                    }
                    // In the field: the full evaluation gives the row.
                    const SatelliteEvaluation evaluation = evaluate_satellite(record, group.geometry[k], theory);
                    if (evaluation.outcome == SatelliteOutcome::not_evaluated) {
                        problem = evaluation.problem;
                        break;
                    }
                    if (evaluation.outcome == SatelliteOutcome::in_field) {
                        findings.rows.emplace_back(group.fields[k], text ? satellite_report_row(evaluation.sighting)
                                                                         : satellite_csv_row(evaluation.sighting, theory));
                    }
                }
            }
            if (problem != nullptr) {
                findings.messages +=
                    catalogue_line_message(diagnostics, set.first_line, "element set not evaluated: %s", problem);
            }
        }
        findings.messages += block.trailing_messages;
    };
    int read_count = 0;
    auto emit = [&](BlockFindings& findings) {
        read_count += findings.sets;
        std::fputs(findings.messages.c_str(), output.err);
        for (const auto& [field, row] : findings.rows) {
            reports.add_row(field, row);
        }
    };
    run_ordered_blocks<ElementSetBlock, BlockFindings>(plan.threads, read, evaluate, emit);
    // A scan cut short by a read error claims no count.
    reports.finish(read_count, !reader.read_error(), SATFIELD_PROGRAM.name, output.catalogue_path);
    return close_catalogue(diagnostics, file, reader, output.out);
}
