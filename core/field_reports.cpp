#include "field_reports.hpp"

std::string field_report_header(const FieldSearch& field)
{
    return report_header(field.scenario);
}

FieldReports::FieldReports(const SearchPlan& plan, OutputFormat format, std::FILE* out, std::string table_header,
                           std::string csv_header)
    : plan_(plan),
      format_(format),
      out_(out),
      table_header_(std::move(table_header)),
      csv_header_(std::move(csv_header)),
      gathered_(plan.fields.size() > 1),
      rows_(gathered_ ? plan.fields.size() : 0),
      found_(plan.fields.size(), 0)
{
}

void FieldReports::begin()
{
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

void FieldReports::finish(int records, bool complete)
{
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
