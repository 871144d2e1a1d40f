#include "asteroid_search.hpp"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "asteroid_evaluation.hpp"
#include "astorb_record.hpp"
#include "catalogue_record.hpp"
#include "catalogue_file.hpp"
#include "field_prefilter.hpp"
#include "field_reports.hpp"
#include "light_time.hpp"
#include "ordered_blocks.hpp"
#include "text_catalogue.hpp"

Scenario asteroid_scenario()
{
    Scenario scenario{};
    scenario.instant = {2008, 5, 20, 5, 14, 0.0};
    scenario.observer_earth_fixed(1) = 3395.0303;
    scenario.observer_earth_fixed(2) = 3128.7911;
    scenario.observer_earth_fixed(3) = 4388.8511;
    scenario.centre = field_centre_from_sexagesimal(0, 0, 10.0, false, 0, 30, 0.0);
    scenario.half_side_arcmin = 60;
    scenario.mag_limit = 20.0;
    return scenario;
}

SearchRequest asteroid_search_request()
{
    return search_request_from_scenario(asteroid_scenario());
}

int run_asteroid_scenario()
{
    return run_search(asteroid_scenario(), {ASTORB_CATALOGUE_PATH, OutputFormat::text, stdout, stderr},
                      search_asteroid_field);
}

int search_asteroid_field(const SearchRequest& request)
{
    return search_asteroid_field(request, {ASTORB_CATALOGUE_PATH, OutputFormat::text, stdout, stderr});
}

int search_asteroid_field(const SearchRequest& request, const SearchOutput& output)
{
    return search_asteroid_field(request, output, AsteroidScan::fast);
}

int search_asteroid_field(const SearchRequest& request, const SearchOutput& output, AsteroidScan scan)
{
    return search_asteroid_field(request, output, scan, std::nullopt);
}

int search_asteroid_field(const SearchRequest& request, const SearchOutput& output, AsteroidScan scan,
                          std::optional<CatalogueLayout> layout)
{
    const SearchPlan plan{{FieldSearch{std::string(), Scenario{}, request, request.utc_mjd, 0.0}}, 1, {}};
    return search_asteroid_fields(plan, output, scan, layout);
}

namespace {

// Catalogue lines are read and evaluated this many at a time.
constexpr std::size_t LINES_PER_BLOCK = 2048;

// Consecutive lines of the catalogue, kept in one buffer.
struct CatalogueLines {
    struct Line {
        long number;               // 1-based line of the file
        std::size_t offset;        // into text
        std::size_t length;        // as kept
        std::size_t full_length;   // before any cut
    };
    std::string text;
    std::vector<Line> lines;
    std::string_view line(const Line& l) const { return std::string_view(text).substr(l.offset, l.length); }
};

// What a block of lines gave: messages and rows in catalogue order.
struct BlockFindings {
    int records = 0;
    std::string messages;
    std::vector<std::pair<std::size_t, std::string>> rows;  // field index, row
};

// Everything the evaluation of one field needs, computed once per run.
struct FieldWork {
    SearchRequest request;
    ObserverPositions observer;
    FieldPrefilter prefilter;
};

}  // namespace

int search_asteroid_fields(const SearchPlan& plan, const SearchOutput& output, AsteroidScan scan,
                           std::optional<CatalogueLayout> forced)
{
    std::vector<FieldWork> fields;
    fields.reserve(plan.fields.size());
    for (const FieldSearch& field : plan.fields) {
        // The observer's positions serve every record.
        const ObserverPositions observer = observer_positions(field.request);
        FieldPrefilter prefilter = field_prefilter(field.request, observer.at);
        prefilter.active = prefilter.active && scan == AsteroidScan::fast;
        fields.push_back({field.request, observer, prefilter});
    }

    const CatalogueDiagnostics diagnostics{ASTFIELD_PROGRAM.name, output.catalogue_path, output.err};
    std::FILE* catalogue = open_catalogue(diagnostics);
    if (catalogue == nullptr) {
        return 1;
    }
    const std::optional<CatalogueFormat> format = read_catalogue_format(diagnostics, forced);
    if (!format) {
        std::fclose(catalogue);
        return 1;
    }
    const bool text = output.format == OutputFormat::text;
    FieldReports reports(plan, output.format, output.out, asteroid_table_header(), asteroid_csv_header(),
                         {"name", "dec_sign"});
    reports.begin();

    TextCatalogueReader reader(catalogue, is_compressed_catalogue(output.catalogue_path));
    auto read = [&](CatalogueLines& block) {
        block.text.clear();
        block.lines.clear();
        std::string_view line;
        while (block.lines.size() < LINES_PER_BLOCK && reader.next_line(line)) {
            block.lines.push_back({reader.line_number(), block.text.size(), line.size(), reader.full_length()});
            block.text.append(line);
        }
        return !block.lines.empty();
    };
    auto evaluate = [&](const CatalogueLines& block, BlockFindings& findings) {
        findings.records = 0;
        findings.messages.clear();
        findings.rows.clear();
        for (const CatalogueLines::Line& entry : block.lines) {
            const CatalogueLine parsed =
                parse_catalogue_line(*format, entry.number, block.line(entry), entry.full_length);
            if (!parsed.problem.empty()) {
                findings.messages += catalogue_line_message(diagnostics, entry.number, "%s", parsed.problem.c_str());
            }
            if (parsed.kind == CatalogueLine::Kind::skipped || parsed.kind == CatalogueLine::Kind::not_a_record) {
                continue;
            }
            ++findings.records;
            if (parsed.kind != CatalogueLine::Kind::record) {
                continue;
            }
            for (std::size_t i = 0; i < fields.size(); ++i) {
                const FieldWork& field = fields[i];
                if (!may_be_in_field(field.prefilter, parsed.record)) {
                    continue;
                }
                if (const auto sighting = orbit_sighting(field.request, field.observer, parsed.record)) {
                    findings.rows.emplace_back(i, text ? asteroid_report_row(*sighting) : asteroid_csv_row(*sighting));
                }
            }
        }
    };
    int records = 0;
    auto emit = [&](BlockFindings& findings) {
        records += findings.records;
        std::fputs(findings.messages.c_str(), output.err);
        for (const auto& [field, row] : findings.rows) {
            reports.add_row(field, row);
        }
    };
    run_ordered_blocks<CatalogueLines, BlockFindings>(plan.threads, read, evaluate, emit);
    // A scan cut short by a read error claims no count.
    reports.finish(records, !reader.read_error(), ASTFIELD_PROGRAM.name, output.catalogue_path);
    return close_catalogue(diagnostics, catalogue, reader, output.out);
}

int search_asteroid_fields(const SearchPlan& plan, const SearchOutput& output)
{
    std::optional<CatalogueLayout> forced;
    if (output.catalogue_format != nullptr) {
        forced = catalogue_layout_from_name(output.catalogue_format);
    }
    return search_asteroid_fields(plan, output, AsteroidScan::fast, forced);
}
