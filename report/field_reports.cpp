#include "field_reports.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "csv_rows.hpp"
#include "formatted_text.hpp"
#include "json_document.hpp"

namespace fieldsearch {

FieldReports::FieldReports(const SearchPlan& plan, OutputFormat format, RowFormat row_format, SunPositionFunction sun)
    : plan_(plan),
      format_(format),
      row_format_(std::move(row_format)),
      sun_(sun),
      field_column_(rows_carry_field(plan)),
      rows_(plan.fields.size()),
      found_(plan.fields.size(), 0)
{
}

std::string FieldReports::row_text(std::size_t field, const Row& row) const
{
    switch (format_) {
    case OutputFormat::text:
        return text_row(row, row_format_.text_layout);
    case OutputFormat::csv:
        return csv_row_line(row, field_column_, plan_.fields[field].id);
    case OutputFormat::json:
        return json_row_text(row, row_format_.columns, plan_.fields[field].id) + "\n";
    }
    return {};
}

int FieldReports::take(const BlockFindings& findings, std::FILE* err)
{
    std::fputs(findings.messages.c_str(), err);
    for (const FoundRow& found : findings.rows) {
        ++found_[found.field];
        rows_[found.field] += found.text;
        if (std::isfinite(found.elements_age_days)) {
            ages_.push_back(std::fabs(found.elements_age_days));
        }
        if (found.overlay && found.field == 0) {
            overlays_.push_back(*found.overlay);
        }
    }
    return findings.records;
}

std::string FieldReports::stale_elements_summary(const char* program, double stale_after_days) const
{
    int count = 0;
    double largest = 0.0;
    for (double age : ages_) {
        if (age > stale_after_days) {
            ++count;
            largest = std::max(largest, age);
        }
    }
    if (count == 0) {
        return {};
    }
    return formatted("%s: %d row%s rest%s on elements more than %g days from their epoch (the oldest %.1f days): "
                     "their places may be off by more than the printed digits\n",
                     program, count, count == 1 ? "" : "s", count == 1 ? "s" : "", stale_after_days, largest);
}

std::string FieldReports::output(int records, const char* program, const char* catalogue, int superseded) const
{
    if (format_ == OutputFormat::json) {
        std::vector<FieldSky> skies;
        for (const FieldSearch& field : plan_.fields) {
            skies.push_back(field_sky(field, sun_));
        }
        return json_document(plan_, program, catalogue, rows_, records, skies, superseded);
    }
    if (format_ == OutputFormat::csv) {
        std::string out = csv_header_line(row_format_.columns, field_column_);
        for (const std::string& rows : rows_) {
            out += rows;
        }
        return out;
    }
    std::string out;
    for (std::size_t i = 0; i < plan_.fields.size(); ++i) {
        out += field_report_header(plan_.fields[i]);
        if (plan_.propagation == Propagation::n_body) {
            out += " \norbits  integrated from their epochs under the Sun, the planets and the Moon (n-body)\n";
        }
        out += row_format_.table_header;
        out += rows_[i];
        out += count_line(found_[i], records, superseded);
    }
    return out;
}

namespace {

// Writes `text` to the open `file` and closes it; false with the reason in
// `error`.
bool write_and_close(std::FILE* file, const std::string& text, std::string& error)
{
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int write_errno = errno;
    if (std::fclose(file) != 0 || !written) {
        error = std::strerror(written ? errno : write_errno);
        return false;
    }
    return true;
}

// The overlay of a field: its outline, title and caption lines.
OverlayField overlay_field(const FieldSearch& field, OverlayObjectKind kind, const char* program)
{
    const SearchRequest request = field_request(field);
    OverlayField overlay;
    overlay.kind = kind;
    overlay.centre_ra_deg = request.centre_ra_deg;
    overlay.centre_dec_deg = request.centre_dec_deg;
    const CalendarInstant i = calendar_instant_from_mjd(field.start_utc_mjd);
    overlay.title = field.image.empty() ? std::string(program) + " field" : std::string(program) + ": " + field.image;
    if (field.frame) {
        overlay.region_system = field.frame->system;
        for (const SkyPoint& p : widened_outline(*field.frame, 8)) {
            overlay.outline.push_back(p);
        }
    } else {
        overlay.outline =
            square_field_outline(request.centre_ra_deg, request.centre_dec_deg, request.half_side_deg, 1.1);
    }
    overlay.caption_lines.push_back(
        formatted("%04d-%02d-%02d %02d:%02d:%04.1f UTC", i.year, i.month, i.day, i.hour, i.minute, i.second) +
        (field.exposure_s > 0.0 ? formatted(", exposure %.1f s", field.exposure_s) : std::string()));
    if (field.frame) {
        if (const auto size = frame_size(*field.frame)) {
            overlay.caption_lines.push_back(
                formatted("footprint %.2f' x %.2f' (widened by 10 %%)", size->width_arcmin, size->height_arcmin));
        }
    } else {
        overlay.caption_lines.push_back(formatted("square of side %.2f' (widened by 10 %%)", 2.0 * field.half_side_arcmin));
    }
    overlay.caption_lines.push_back(field.exposure_s > 0.0 ? "arrows: motion over the exposure"
                                    : kind == OverlayObjectKind::asteroid ? "arrows: motion over one hour"
                                                                          : "arrows: motion over ten seconds");
    return overlay;
}

}  // namespace

bool open_overlay_files(const SearchOutput& output, const char* program, OverlayFiles& files)
{
    for (const auto& [path, file] : {std::pair<const char*, std::FILE**>{output.regions_path, &files.regions},
                                     {output.chart_path, &files.chart}}) {
        if (path == nullptr) {
            continue;
        }
        *file = std::fopen(path, "wb");
        if (*file == nullptr) {
            std::fprintf(output.err, "%s: cannot write %s: %s\n", program, path, std::strerror(errno));
            discard_overlay_files(output, files);
            return false;
        }
    }
    return true;
}

void discard_overlay_files(const SearchOutput& output, OverlayFiles& files)
{
    for (const auto& [path, file] : {std::pair<const char*, std::FILE**>{output.regions_path, &files.regions},
                                     {output.chart_path, &files.chart}}) {
        if (*file != nullptr) {
            std::fclose(*file);
            *file = nullptr;
            std::remove(path);
        }
    }
}

int write_field_overlays(const FieldSearch& field, const SearchOutput& output, OverlayFiles& files,
                         const std::vector<OverlayObject>& objects, OverlayObjectKind kind, const char* program)
{
    if (files.regions == nullptr && files.chart == nullptr) {
        return 0;
    }
    const OverlayField overlay = overlay_field(field, kind, program);
    int status = 0;
    std::string error;
    if (files.regions != nullptr && !write_and_close(std::exchange(files.regions, nullptr), ds9_region_text(overlay, objects), error)) {
        std::fprintf(output.err, "%s: cannot write %s: %s\n", program, output.regions_path, error.c_str());
        status = 1;
    }
    if (files.chart != nullptr && !write_and_close(std::exchange(files.chart, nullptr), finder_chart_svg(overlay, objects), error)) {
        std::fprintf(output.err, "%s: cannot write %s: %s\n", program, output.chart_path, error.c_str());
        status = 1;
    }
    return status;
}

}  // namespace fieldsearch
