#include "identification_report.hpp"

#include "csv_rows.hpp"
#include "formatted_text.hpp"
#include "identification.hpp"
#include "json_document.hpp"

namespace fieldsearch {

RowColumns identification_observation_columns()
{
    return {"tracklet", "observation", "time_utc", "station", "observed_ra_deg", "observed_dec_deg", "rank"};
}

Row identification_observation_row(std::size_t tracklet, const Observation& o, int rank)
{
    Row row;
    row.values = {whole_value(static_cast<long long>(tracklet) + 1), whole_value(o.position),
                  text_value(identification_time_text(o.utc_mjd)), text_value(o.station),
                  real_value(o.ra_deg, 7), real_value(o.dec_deg, 7), whole_value(rank)};
    return row;
}

std::string identification_report(OutputFormat format, const IdentificationSummary& summary,
                                   const std::vector<TrackletSection>& tracklets, const RowColumns& columns,
                                   const TextRowLayout& layout, const char* table_header)
{
    const int read = static_cast<int>(tracklets.size());
    const int unidentified = read - summary.identified;
    std::string out;
    if (format == OutputFormat::text) {
        out += formatted("%s: identification of %s (%s, %zu observations)\n", summary.program,
                         summary.observations_path.c_str(), summary.observations_format, summary.observations);
        out += formatted("observatory codes: %s (%zu stations)\n", summary.observatory_codes_path.c_str(),
                         summary.stations);
        out += formatted("catalogue: %s\n", summary.catalogue_path);
        if (summary.orbits != nullptr) {
            out += formatted("%s\n", summary.orbits);
        }
        out += formatted("radius %.1f arcsec, motion tolerance %.1f %s, at most %d candidates\n", summary.radius_arcsec,
                         summary.motion_tolerance, summary.motion_unit, summary.max_candidates);
    } else if (format == OutputFormat::csv) {
        out += csv_header_line(columns, false);
    }
    std::vector<std::string> json_rows;
    for (std::size_t t = 0; t < tracklets.size(); ++t) {
        const TrackletSection& tracklet = tracklets[t];
        if (format == OutputFormat::text) {
            out += formatted("\ntracklet %zu: %s at %s, %zu observation%s, %zu candidate%s\n", t + 1,
                             tracklet.designation.c_str(), tracklet.station.c_str(), tracklet.observations,
                             tracklet.observations == 1 ? "" : "s", tracklet.candidates,
                             tracklet.candidates == 1 ? "" : "s");
            out += table_header;
        }
        for (const Row& row : tracklet.rows) {
            if (format == OutputFormat::text) {
                out += text_row(row, layout);
            } else if (format == OutputFormat::csv) {
                out += csv_row_line(row, false, "");
            } else {
                json_rows.push_back(json_object_text(row, columns));
            }
        }
    }
    if (format == OutputFormat::text) {
        out += formatted("\n tracklets read %d, identified %d, unidentified %d; %d catalogue records read\n", read,
                         summary.identified, unidentified, summary.records_read);
    } else if (format == OutputFormat::json) {
        out += "{\"program\":" + json_string_text(summary.program) +
               ",\"catalogue\":" + json_string_text(summary.catalogue_path) +
               ",\"observations\":" + json_string_text(summary.observations_path) +
               ",\"observations_format\":" + json_string_text(summary.observations_format) +
               ",\"observatory_codes\":" + json_string_text(summary.observatory_codes_path) +
               formatted(",\"radius_arcsec\":%.17g", summary.radius_arcsec) +
               formatted(",\"%s\":%.17g", summary.motion_tolerance_key, summary.motion_tolerance) +
               formatted(",\"max_candidates\":%d", summary.max_candidates) +
               formatted(",\"records_read\":%d", summary.records_read) +
               formatted(",\"tracklets_read\":%d,\"identified\":%d,\"unidentified\":%d", read, summary.identified,
                         unidentified) +
               ",\"rows\":[";
        for (std::size_t k = 0; k < json_rows.size(); ++k) {
            out += (k == 0 ? "\n" : ",\n") + json_rows[k];
        }
        out += "]}\n";
    }
    return out;
}

}  // namespace fieldsearch
