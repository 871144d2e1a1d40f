#include "field_reports.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cmath>

#include <nlohmann/json.hpp>

#include "report_text.hpp"
#include "field_list.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

namespace {

// A CSV value as JSON: a string for a text column, else a number, null when
// empty or not a number.
nlohmann::json json_value(const std::string& value, bool text)
{
    if (text) {
        return value;
    }
    if (value.empty()) {
        return nullptr;
    }
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    if (end != value.c_str() + value.size() || !std::isfinite(number)) {
        return nullptr;
    }
    return number;
}

// The scenario of one field as JSON.
nlohmann::json json_field(const FieldSearch& field)
{
    const CalendarInstant& i = field.scenario.instant;
    nlohmann::json out;
    out["id"] = field.id;
    out["time_utc"] = formatted("%04d-%02d-%02dT%02d:%02d:%06.3fZ", i.year, i.month, i.day, i.hour, i.minute, i.second);
    out["start_utc_mjd"] = field.start_utc_mjd;
    out["exposure_s"] = field.exposure_s;
    out["rows_utc_mjd"] = field.request.utc_mjd;
    out["centre_ra_deg"] = field.request.centre_ra_deg;
    out["centre_dec_deg"] = field.request.centre_dec_deg;
    out["side_arcmin"] = 2.0 * field.scenario.half_side_arcmin;
    out["observer_earth_fixed_km"] = {field.request.observer_x, field.request.observer_y, field.request.observer_z};
    out["mag_limit"] = field.request.mag_limit;
    return out;
}

}  // namespace

std::string json_document(const SearchPlan& plan, const char* program, const char* catalogue,
                          const std::string& csv_header, const std::vector<std::string>& text_columns,
                          const std::vector<std::string>& field_rows, int records, bool complete)
{
    std::string header = csv_header;
    while (!header.empty() && (header.back() == '\n' || header.back() == '\r')) {
        header.pop_back();
    }
    const std::vector<std::string> names = csv_fields(header).value_or(std::vector<std::string>());
    std::vector<bool> text(names.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
        text[k] = std::find(text_columns.begin(), text_columns.end(), names[k]) != text_columns.end();
    }
    nlohmann::json document;
    document["program"] = program;
    document["catalogue"] = catalogue;
    document["fields"] = nlohmann::json::array();
    for (const FieldSearch& field : plan.fields) {
        document["fields"].push_back(json_field(field));
    }
    document["records_read"] = records;
    document["complete"] = complete;
    nlohmann::json rows = nlohmann::json::array();
    for (std::size_t f = 0; f < field_rows.size(); ++f) {
        std::size_t begin = 0;
        const std::string& all = field_rows[f];
        while (begin < all.size()) {
            std::size_t end = all.find('\n', begin);
            if (end == std::string::npos) {
                end = all.size();
            }
            const std::optional<std::vector<std::string>> values = csv_fields(std::string_view(all).substr(begin, end - begin));
            begin = end + 1;
            if (!values) {
                continue;
            }
            nlohmann::json row = nlohmann::json::object();
            row["field"] = plan.fields[f].id;
            for (std::size_t k = 0; k < names.size() && k < values->size(); ++k) {
                row[names[k]] = json_value((*values)[k], text[k]);
            }
            rows.push_back(std::move(row));
        }
    }
    document["rows"] = std::move(rows);
    return document.dump(1) + "\n";
}

std::string field_report_header(const FieldSearch& field)
{
    std::string header = report_header(field.scenario);
    if (!field.frame && field.exposure_s <= 0.0) {
        return header;
    }
    // The lines that restate an image and an exposure go before the
    // magnitude line, the last of the header.
    std::size_t last = header.rfind(" \n");
    std::string lines;
    if (field.frame) {
        // An image has a footprint, not a square: its line stands instead.
        const std::size_t side = header.find(" \nside of square");
        if (side != std::string::npos && side < last) {
            const std::size_t end = header.find('\n', side + 2);
            header.erase(side, end + 1 - side);
            last = header.rfind(" \n");
        }
        const std::optional<FrameSize> size = frame_size(*field.frame);
        lines += formatted(" \nimage   %s   %d x %d pixels   %.2f x %.2f arcminute (widened by 10 %% for the search)\n",
                           field.image.c_str(), field.frame->naxis1, field.frame->naxis2,
                           size ? size->width_arcmin : NAN, size ? size->height_arcmin : NAN);
        lines += formatted(" \nsite    %.4f, %.4f, %.4f km (geocentric, Earth-fixed)\n", field.request.observer_x,
                           field.request.observer_y, field.request.observer_z);
    }
    if (field.exposure_s > 0.0) {
        lines += formatted(" \nexposure %9.2f s from the date above; rows at mid-exposure, %.6f julian day\n",
                           field.exposure_s, field.request.utc_mjd);
    } else if (field.frame) {
        lines += " \nexposure none: the instant above\n";
    }
    header.insert(last, lines);
    return header;
}

FieldReports::FieldReports(const SearchPlan& plan, OutputFormat format, std::FILE* out, std::string table_header,
                           std::string csv_header, std::vector<std::string> text_columns)
    : plan_(plan),
      format_(format),
      out_(out),
      table_header_(std::move(table_header)),
      csv_header_(std::move(csv_header)),
      text_columns_(std::move(text_columns)),
      gathered_(plan.fields.size() > 1 || format == OutputFormat::json),
      rows_(gathered_ ? plan.fields.size() : 0),
      found_(plan.fields.size(), 0)
{
}

void FieldReports::begin()
{
    if (format_ == OutputFormat::json) {
        return;
    }
    if (format_ == OutputFormat::csv) {
        if (gathered_) {
            std::fputs("field,", out_);
        }
        std::fputs(csv_header_.c_str(), out_);
    } else if (!gathered_) {
        std::fputs(table_header_.c_str(), out_);
    }
}

void FieldReports::add_row(std::size_t field, const std::string& row)
{
    ++found_[field];
    if (!gathered_) {
        std::fputs(row.c_str(), out_);
        return;
    }
    if (format_ == OutputFormat::csv) {
        rows_[field] += csv_field(plan_.fields[field].id);
        rows_[field] += ',';
    }
    rows_[field] += row;
}

void FieldReports::add(const FoundRow& found)
{
    add_row(found.field, found.row);
    if (std::isfinite(found.elements_age_days)) {
        ages_.push_back(std::fabs(found.elements_age_days));
    }
    if (found.overlay && found.field == 0) {
        overlays_.push_back(*found.overlay);
    }
}

int FieldReports::take(const BlockFindings& findings, std::FILE* err)
{
    std::fputs(findings.messages.c_str(), err);
    for (const FoundRow& found : findings.rows) {
        add(found);
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

void FieldReports::finish(int records, bool complete, const char* program, const char* catalogue)
{
    if (format_ == OutputFormat::json) {
        const std::string document =
            json_document(plan_, program, catalogue, csv_header_, text_columns_, rows_, records, complete);
        std::fputs(document.c_str(), out_);
        std::vector<std::string>(rows_.size()).swap(rows_);
        return;
    }
    if (!gathered_) {
        if (format_ == OutputFormat::text && complete) {
            std::fputs(count_line(found_[0], records).c_str(), out_);
        }
        return;
    }
    for (std::size_t i = 0; i < plan_.fields.size(); ++i) {
        if (format_ == OutputFormat::text) {
            std::fputs(field_report_header(plan_.fields[i]).c_str(), out_);
            std::fputs(table_header_.c_str(), out_);
        }
        std::fputs(rows_[i].c_str(), out_);
        if (format_ == OutputFormat::text && complete) {
            std::fputs(count_line(found_[i], records).c_str(), out_);
        }
        std::string().swap(rows_[i]);
    }
}

void begin_run(const SearchPlan& plan, OutputFormat format, std::FILE* out)
{
    if (format == OutputFormat::text && plan.fields.size() == 1) {
        std::fputs(field_report_header(plan.fields[0]).c_str(), out);
    }
}

namespace {

// Writes `text` to `path`; false with the reason in `error`.
bool write_text_file(const std::string& path, const std::string& text, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int write_errno = errno;
    if (std::fclose(file) != 0 || !written) {
        error = std::strerror(written ? errno : write_errno);
        return false;
    }
    return true;
}

}  // namespace

int write_field_overlays(const FieldSearch& field, const SearchOutput& output, const std::vector<OverlayObject>& objects,
                         OverlayObjectKind kind, const char* program)
{
    if (output.regions_path == nullptr && output.chart_path == nullptr) {
        return 0;
    }
    OverlayField overlay;
    overlay.kind = kind;
    overlay.centre_ra_deg = field.request.centre_ra_deg;
    overlay.centre_dec_deg = field.request.centre_dec_deg;
    const CalendarInstant& i = field.scenario.instant;
    overlay.title = field.image.empty() ? std::string(program) + " field"
                                        : std::string(program) + ": " + field.image;
    if (field.frame) {
        for (const SkyPoint& p : widened_outline(*field.frame, 8)) {
            overlay.outline.push_back({p.ra_deg, p.dec_deg});
        }
    } else {
        overlay.outline = square_field_outline(field.request.centre_ra_deg, field.request.centre_dec_deg,
                                               field.request.half_side_deg, 1.1);
    }
    overlay.caption_lines.push_back(formatted("%04d-%02d-%02d %02d:%02d:%04.1f UTC", i.year, i.month, i.day, i.hour,
                                              i.minute, i.second) +
                                    (field.exposure_s > 0.0 ? formatted(", exposure %.1f s", field.exposure_s)
                                                            : std::string()));
    if (field.frame) {
        if (const auto size = frame_size(*field.frame)) {
            overlay.caption_lines.push_back(
                formatted("footprint %.2f' x %.2f' (widened by 10 %%)", size->width_arcmin, size->height_arcmin));
        }
    } else {
        overlay.caption_lines.push_back(formatted("square of side %.2f' (widened by 10 %%)", 2.0 * field.scenario.half_side_arcmin));
    }
    overlay.caption_lines.push_back(field.exposure_s > 0.0 ? "arrows: motion over the exposure"
                                    : kind == OverlayObjectKind::asteroid ? "arrows: motion over one hour"
                                                                          : "arrows: motion over ten seconds");
    int status = 0;
    std::string error;
    if (output.regions_path != nullptr &&
        !write_text_file(output.regions_path, ds9_region_text(overlay, objects), error)) {
        std::fprintf(output.err, "%s: cannot write %s: %s\n", program, output.regions_path, error.c_str());
        status = 1;
    }
    if (output.chart_path != nullptr && !write_text_file(output.chart_path, finder_chart_svg(overlay, objects), error)) {
        std::fprintf(output.err, "%s: cannot write %s: %s\n", program, output.chart_path, error.c_str());
        status = 1;
    }
    return status;
}

}  // namespace fieldsearch
