// Fuzz target: the CSV and JSON writers fed rows of every kind of value made
// from the input (texts of any bytes, whole numbers, reals of any bits and
// decimals), and the asteroid program's scan writing CSV and JSON from the
// input read as a catalogue. Every JSON line or document must parse (as
// UTF-8), every CSV line must split into the columns of its header.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "asteroid_search.hpp"
#include "catalogue_input.hpp"
#include "csv_rows.hpp"
#include "json_document.hpp"
#include "rows.hpp"

using namespace fieldsearch;

namespace {

[[noreturn]] void fail(const char* what, std::string_view text)
{
    std::fprintf(stderr, "fuzz: %s\n%.*s\n", what, static_cast<int>(text.size()), text.data());
    std::abort();
}

// The fields of one CSV line (line end included) split the plain way:
// quoted fields with their quotes doubled; -1 when the line is not one line
// of CSV (a line end outside quotes before its last byte, a quote left open).
long csv_field_count(std::string_view line)
{
    if (line.empty() || line.back() != '\n') {
        return -1;
    }
    line.remove_suffix(1);
    long fields = 1;
    bool quoted = false;
    for (std::size_t k = 0; k < line.size(); ++k) {
        const char c = line[k];
        if (quoted) {
            if (c == '"') {
                if (k + 1 < line.size() && line[k + 1] == '"') {
                    ++k;
                } else {
                    quoted = false;
                }
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            ++fields;
        } else if (c == '\n' || c == '\r') {
            return -1;
        }
    }
    return quoted ? -1 : fields;
}

// One value from a chunk of the input: its first byte chooses the kind.
RowValue value_of(std::string_view chunk)
{
    if (chunk.empty()) {
        return absent_value();
    }
    const unsigned kind = static_cast<unsigned char>(chunk[0]) % 5;
    chunk.remove_prefix(1);
    switch (kind) {
    case 1: {
        long long whole = 0;
        std::memcpy(&whole, chunk.data(), std::min(chunk.size(), sizeof whole));
        return whole_value(whole);
    }
    case 2: {
        double real = 0.0;
        const int decimals = chunk.empty() ? ALL_DIGITS : static_cast<unsigned char>(chunk[0]) % 14 - 1;
        if (!chunk.empty()) {
            chunk.remove_prefix(1);
        }
        std::memcpy(&real, chunk.data(), std::min(chunk.size(), sizeof real));
        return real_value(real, decimals);
    }
    case 3:
        return text_value(chunk);
    case 4:
        return designation_value(chunk);
    default:
        return absent_value();
    }
}

// Everything written to `file` (a temporary file, closed).
std::string written(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char block[4096];
    for (std::size_t n = 0; (n = std::fread(block, 1, sizeof block, file)) > 0;) {
        text.append(block, n);
    }
    std::fclose(file);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // A row of the chunks between the bytes 0x1F; the first chunk is the field's id.
    std::vector<std::string_view> chunks;
    for (std::size_t at = 0;;) {
        const std::size_t end = bytes.find('\x1f', at);
        chunks.push_back(bytes.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos || chunks.size() == 64) {
            break;
        }
        at = end + 1;
    }
    const std::string_view id = chunks.front();
    Row row;
    RowColumns columns;
    for (std::size_t k = 1; k < chunks.size(); ++k) {
        row.values.push_back(value_of(chunks[k]));
        columns.push_back("c" + std::to_string(k));
    }
    const std::string csv = csv_row_line(row, true, id);
    if (csv_field_count(csv) != static_cast<long>(columns.size()) + 1) {
        fail("a CSV row does not split into its columns", csv);
    }
    const std::string json = json_row_text(row, columns, id);
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object() || parsed.size() != columns.size() + 1) {
        fail("a JSON row is not an object of its columns", json);
    }

    // The input as a catalogue, its rows written as CSV and as JSON.
    static const std::string path = scratch_catalogue_path(".dat");
    write_catalogue(path, bytes);
    for (const OutputFormat format : {OutputFormat::csv, OutputFormat::json}) {
        std::FILE* out = std::tmpfile();
        if (out == nullptr) {
            fail("cannot make a temporary file", "");
        }
        const int status = search_asteroid_field(asteroid_scenario(), SearchOutput{path.c_str(), format, out, null_sink()});
        const std::string text = written(out);
        if (status != 0) {
            if (!text.empty()) {
                fail("a refused catalogue wrote output", text);
            }
            continue;
        }
        if (format == OutputFormat::json) {
            if (nlohmann::json::parse(text, nullptr, false).is_discarded()) {
                fail("the JSON document does not parse", text);
            }
            continue;
        }
        std::string_view rest = text;
        long header_fields = -1;
        while (!rest.empty()) {
            std::size_t end = 0;
            bool quoted = false;
            while (end < rest.size() && (quoted || rest[end] != '\n')) {
                quoted = rest[end] == '"' ? !quoted : quoted;
                ++end;
            }
            const std::string_view line = rest.substr(0, end + 1);
            rest.remove_prefix(std::min(rest.size(), end + 1));
            const long fields = csv_field_count(line);
            if (header_fields < 0) {
                header_fields = fields;
            }
            if (fields < 1 || fields != header_fields) {
                fail("a CSV line does not have the header's columns", line);
            }
        }
    }
    std::remove(path.c_str());
    return 0;
}
