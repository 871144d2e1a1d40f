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
#include "satellite_catalogue.hpp"
#include "field_reports.hpp"
#include "ordered_blocks.hpp"
#include "satellite_evaluation.hpp"
#include "text_catalogue.hpp"
#include "tle_record.hpp"

namespace {

// Element sets are read and evaluated this many at a time.
constexpr std::size_t ENTRIES_PER_BLOCK = 1024;

// Consecutive entries of the catalogue: element sets, sets that cannot be
// evaluated and notices, in catalogue order.
struct EntryBlock {
    std::vector<ElementSetEntry> entries;
    std::size_t used = 0;
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

// A problem at the line or record of an entry, as a message line.
std::string entry_message(const CatalogueDiagnostics& diagnostics, const ElementSetEntry& entry, const std::string& what)
{
    if (entry.record_index > 0) {
        return catalogue_record_message(diagnostics, entry.record_index, "%s", what.c_str());
    }
    return catalogue_line_message(diagnostics, entry.line, "%s", what.c_str());
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

    SatelliteCatalogueReader catalogue(file);
    auto read = [&](EntryBlock& block) {
        block.used = 0;
        while (block.used < ENTRIES_PER_BLOCK) {
            if (block.used == block.entries.size()) {
                block.entries.emplace_back();
            }
            if (!catalogue.next(block.entries[block.used])) {
                break;
            }
            ++block.used;
        }
        return block.used > 0;
    };
    auto evaluate = [&](const EntryBlock& block, BlockFindings& findings) {
        findings.sets = 0;
        findings.messages.clear();
        findings.rows.clear();
        for (std::size_t e = 0; e < block.used; ++e) {
            const ElementSetEntry& entry = block.entries[e];
            if (entry.kind != EntryKind::notice) {
                ++findings.sets;
            }
            if (entry.kind != EntryKind::element_set) {
                findings.messages += entry_message(diagnostics, entry, entry.message);
                continue;
            }
            const TleRecord& record = entry.record;
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
                findings.messages += entry_message(diagnostics, entry, std::string("element set not evaluated: ") + problem);
            }
        }
    };
    int read_count = 0;
    auto emit = [&](BlockFindings& findings) {
        read_count += findings.sets;
        std::fputs(findings.messages.c_str(), output.err);
        for (const auto& [field, row] : findings.rows) {
            reports.add_row(field, row);
        }
    };
    run_ordered_blocks<EntryBlock, BlockFindings>(plan.threads, read, evaluate, emit);
    // A scan cut short by a read error, or a catalogue that cannot be read as
    // a whole, claims no count.
    const TextCatalogueReader& reader = catalogue.text_reader();
    const bool whole = catalogue.whole_problem().empty();
    reports.finish(read_count, !reader.read_error() && whole, SATFIELD_PROGRAM.name, output.catalogue_path);
    if (!whole) {
        std::fprintf(output.err, "%s: cannot read %s: %s\n", SATFIELD_PROGRAM.name, output.catalogue_path,
                     catalogue.whole_problem().c_str());
    }
    const int status = close_catalogue(diagnostics, file, reader, output.out);
    return whole ? status : 1;
}
