// Writes Orbit Mean-elements Message (OMM) samples for `satfield` from a file
// of three-line element sets: the same element sets as CSV, JSON and XML, and
// their three-line twin, plus two new objects whose catalogue numbers do not
// fit five digits. Deterministic: the same input always gives the same files.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "fixed_columns.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_search.hpp"
#include "tle_record.hpp"

using namespace fieldsearch;

namespace {

constexpr const char* USAGE =
    "usage: make_omm_sample INPUT.tle OUTPUT_BASE [EVERY]\n"
    "\n"
    "Reads the three-line element sets of INPUT.tle and writes OUTPUT_BASE.csv,\n"
    "OUTPUT_BASE.json and OUTPUT_BASE.xml: OMM records of every EVERY-th set\n"
    "(default 25) and of every set satfield's compiled-in scenario lists, with\n"
    "values copied from the sets' columns (the epoch as a UTC date and time to\n"
    "the microsecond, exactly the set's day of the year). Two new objects are\n"
    "added, pieces of a 2008 launch on the orbit of the first listed set a\n"
    "little further along it: catalogue number 123456 (Alpha-5 C3456) and\n"
    "412345, which no two-line set can carry. OUTPUT_BASE_twin.tle holds the\n"
    "same sets as three-line sets: all but the object 412345.\n";

// The columns of one element set, kept as text.
struct ElementSet {
    std::string name;
    std::string line1;
    std::string line2;
    long catalogue_number;  // in full; may exceed what line 1 can carry
};

std::string trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string field(const std::string& line, int first, int last)
{
    return trimmed(columns(line, first, last));
}

// Checksum of one element line: digits count their value, '-' counts 1, modulo 10.
char checksum(std::string_view line)
{
    int sum = 0;
    for (const char ch : line.substr(0, 68)) {
        sum += (ch >= '0' && ch <= '9') ? ch - '0' : (ch == '-' ? 1 : 0);
    }
    return static_cast<char>('0' + sum % 10);
}

// The designator of line 1 columns 10-17 as OMM writes it: "98067A" gives "1998-067A".
std::string object_id(const ElementSet& s)
{
    const std::string year = s.line1.substr(9, 2);
    const int two_digits = std::atoi(year.c_str());
    return std::string(two_digits < 57 ? "20" : "19") + year + "-" + s.line1.substr(11, 3) + field(s.line1, 15, 17);
}

// The epoch of line 1 columns 19-32 as an ISO 8601 UTC date and time: the
// day's eighth decimal is 864 microseconds, so the microseconds are exact.
std::string epoch_text(const ElementSet& s)
{
    const int two_digits = std::atoi(s.line1.substr(18, 2).c_str());
    const int year = two_digits < 85 ? 2000 + two_digits : 1900 + two_digits;
    const std::string day_text = s.line1.substr(20, 12);  // DDD.DDDDDDDD
    int day = std::atoi(day_text.substr(0, 3).c_str());
    const long long microseconds = std::atoll(day_text.substr(4, 8).c_str()) * 864;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int lengths[12] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    while (day > lengths[month]) {
        day -= lengths[month];
        ++month;
    }
    const long long seconds = microseconds / 1000000;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02lld:%02lld:%02lld.%06lld", year, month + 1, day, seconds / 3600,
                  seconds / 60 % 60, seconds % 60, microseconds % 1000000);
    return text;
}

// Half the first derivative of the mean motion, line 1 columns 34-43, with its leading zero.
std::string first_derivative(const ElementSet& s)
{
    const std::string text = field(s.line1, 34, 43);
    if (text.starts_with("-.") || text.starts_with("+.")) {
        return text.substr(0, 1) + "0" + text.substr(1);
    }
    return text.starts_with(".") ? "0" + text : text;
}

// A field with an assumed decimal point and exponent as a plain number.
std::string exponent_value(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4e", value);
    return text;
}

// The keyword values of one record, in the order OMM lists them.
std::vector<std::pair<std::string, std::string>> keyword_values(const ElementSet& s)
{
    const TleRecord r = parse_tle_record(s.name, s.line1, s.line2);
    return {
        {"OBJECT_NAME", trimmed(s.name)},
        {"OBJECT_ID", object_id(s)},
        {"EPOCH", epoch_text(s)},
        {"MEAN_MOTION", field(s.line2, 53, 63)},
        {"ECCENTRICITY", "0." + field(s.line2, 27, 33)},
        {"INCLINATION", field(s.line2, 9, 16)},
        {"RA_OF_ASC_NODE", field(s.line2, 18, 25)},
        {"ARG_OF_PERICENTER", field(s.line2, 35, 42)},
        {"MEAN_ANOMALY", field(s.line2, 44, 51)},
        {"EPHEMERIS_TYPE", field(s.line1, 63, 63)},
        {"CLASSIFICATION_TYPE", field(s.line1, 8, 8)},
        {"NORAD_CAT_ID", std::to_string(s.catalogue_number)},
        {"ELEMENT_SET_NO", field(s.line1, 65, 68)},
        {"REV_AT_EPOCH", field(s.line2, 64, 68)},
        {"BSTAR", exponent_value(r.bstar)},
        {"MEAN_MOTION_DOT", first_derivative(s)},
        {"MEAN_MOTION_DDOT", exponent_value(r.nddot6)},
    };
}

bool is_text_keyword(const std::string& keyword)
{
    return keyword == "OBJECT_NAME" || keyword == "OBJECT_ID" || keyword == "EPOCH" ||
           keyword == "CLASSIFICATION_TYPE";
}

std::string escaped(const std::string& text, bool xml)
{
    std::string out;
    for (const char ch : text) {
        if (xml && ch == '&') {
            out += "&amp;";
        } else if (xml && ch == '<') {
            out += "&lt;";
        } else if (!xml && (ch == '"' || ch == '\\')) {
            out += '\\';
            out += ch;
        } else {
            out += ch;
        }
    }
    return out;
}

std::string csv_text(const std::vector<ElementSet>& sets)
{
    std::string out = "CCSDS_OMM_VERS,COMMENT,CREATION_DATE,ORIGINATOR,OBJECT_NAME,OBJECT_ID,CENTER_NAME,REF_FRAME,"
                      "TIME_SYSTEM,MEAN_ELEMENT_THEORY,EPOCH,MEAN_MOTION,ECCENTRICITY,INCLINATION,RA_OF_ASC_NODE,"
                      "ARG_OF_PERICENTER,MEAN_ANOMALY,EPHEMERIS_TYPE,CLASSIFICATION_TYPE,NORAD_CAT_ID,ELEMENT_SET_NO,"
                      "REV_AT_EPOCH,BSTAR,MEAN_MOTION_DOT,MEAN_MOTION_DDOT\n";
    for (const ElementSet& s : sets) {
        out += "2.0,SYNTHETIC SAMPLE,2008-05-20T00:00:00,FIELDSEARCH";
        for (const auto& [keyword, value] : keyword_values(s)) {
            if (keyword == "EPOCH") {
                out += ",EARTH,TEME,UTC,SGP4";
            }
            out.append(keyword == "OBJECT_NAME" ? ",\"" : ",").append(value);
            if (keyword == "OBJECT_NAME") {
                out.append("\"");
            }
        }
        out += '\n';
    }
    return out;
}

std::string json_text(const std::vector<ElementSet>& sets)
{
    std::string out = "[";
    for (std::size_t i = 0; i < sets.size(); ++i) {
        out += i == 0 ? "\n  {" : ",\n  {";
        out += "\"CCSDS_OMM_VERS\": \"2.0\", \"CENTER_NAME\": \"EARTH\", \"REF_FRAME\": \"TEME\", ";
        out += "\"TIME_SYSTEM\": \"UTC\", \"MEAN_ELEMENT_THEORY\": \"SGP4\"";
        for (const auto& [keyword, value] : keyword_values(sets[i])) {
            out.append(", \"").append(keyword).append("\": ");
            if (is_text_keyword(keyword)) {
                out.append("\"").append(escaped(value, false)).append("\"");
            } else {
                out.append(value);
            }
        }
        out += "}";
    }
    out += "\n]\n";
    return out;
}

std::string xml_text(const std::vector<ElementSet>& sets)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ndm>\n";
    for (const ElementSet& s : sets) {
        const auto values = keyword_values(s);
        const auto element = [&](std::size_t i) {
            return "        <" + values[i].first + ">" + escaped(values[i].second, true) + "</" + values[i].first + ">\n";
        };
        out += "  <omm id=\"CCSDS_OMM_VERS\" version=\"2.0\">\n";
        out += "    <header><CREATION_DATE>2008-05-20T00:00:00</CREATION_DATE>"
               "<ORIGINATOR>FIELDSEARCH</ORIGINATOR></header>\n";
        out += "    <body><segment>\n      <metadata>\n";
        out += element(0) + element(1);
        out += "        <CENTER_NAME>EARTH</CENTER_NAME>\n        <REF_FRAME>TEME</REF_FRAME>\n";
        out += "        <TIME_SYSTEM>UTC</TIME_SYSTEM>\n        <MEAN_ELEMENT_THEORY>SGP4</MEAN_ELEMENT_THEORY>\n";
        out += "      </metadata>\n      <data>\n      <meanElements>\n";
        for (std::size_t i = 2; i <= 8; ++i) {
            out += element(i);
        }
        out += "      </meanElements>\n      <tleParameters>\n";
        for (std::size_t i = 9; i < values.size(); ++i) {
            out += element(i);
        }
        out += "      </tleParameters>\n      </data>\n    </segment></body>\n  </omm>\n";
    }
    out += "</ndm>\n";
    return out;
}

std::string three_line_text(const std::vector<ElementSet>& sets)
{
    std::string out;
    for (const ElementSet& s : sets) {
        if (s.catalogue_number <= 339999) {
            out += s.name + "\n" + s.line1 + "\n" + s.line2 + "\n";
        }
    }
    return out;
}

bool in_field(const ElementSet& s, const SatelliteSearchGeometry& geometry)
{
    const TleRecord r = parse_tle_record(s.name, s.line1, s.line2);
    return tle_element_problem(r) == nullptr &&
           evaluate_satellite(r, geometry).outcome == SatelliteOutcome::in_field;
}

// A new piece of a 2008 launch on the orbit of `source`, its mean anomaly
// moved on by `step` degrees; the catalogue columns of its lines carry
// `columns` (the Alpha-5 form, or a stand-in for a number they cannot carry).
ElementSet new_piece(const ElementSet& source, long number, const char* columns_text, char piece, double step)
{
    ElementSet s = source;
    s.name = "CUBESAT " + std::to_string(number);
    s.catalogue_number = number;
    s.line1.replace(2, 5, columns_text);
    s.line2.replace(2, 5, columns_text);
    s.line1.replace(9, 8, std::string("08099") + piece + "  ");
    const double mean_anomaly = decimal_from_text(columns(s.line2, 44, 51)) + step;
    char text[16];
    std::snprintf(text, sizeof text, "%8.4f", mean_anomaly);
    s.line2.replace(43, 8, text);
    s.line1[68] = checksum(s.line1);
    s.line2[68] = checksum(s.line2);
    return s;
}

bool write_file(const std::string& path, const std::string& text)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fclose(out) != 0) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const long every = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 25;
    std::ifstream in(argv[1], std::ios::binary);
    if (!in || every < 1) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const SatelliteSearchGeometry geometry = satellite_search_geometry(satellite_scenario_request());
    std::vector<ElementSet> sets;
    std::vector<ElementSet> listed;
    ElementSet s;
    for (long i = 0; std::getline(in, s.name) && std::getline(in, s.line1) && std::getline(in, s.line2); ++i) {
        if (s.line1.size() < 69 || s.line2.size() < 69) {
            std::fprintf(stderr, "make_omm_sample: %s: set %ld has short lines\n", argv[1], i + 1);
            return 1;
        }
        s.catalogue_number = catalogue_number_from_text(columns(s.line1, 3, 7));
        const bool listed_set = in_field(s, geometry);
        if (listed_set) {
            listed.push_back(s);
        }
        if (listed_set || i % every == 0) {
            sets.push_back(s);
        }
    }
    if (listed.empty()) {
        std::fputs("make_omm_sample: no set of the input lies in the compiled-in field\n", stderr);
        return 1;
    }
    // The new pieces, close enough behind the first listed set to stay in the field.
    const std::size_t without_new = sets.size();
    for (const double step : {0.05, 0.02, 0.01, 0.005, -0.005, -0.01}) {
        const ElementSet alpha5 = new_piece(listed.front(), 123456, "C3456", 'B', step);
        const ElementSet six_digits = new_piece(listed.front(), 412345, "00000", 'C', 2.0 * step);
        if (in_field(alpha5, geometry) && in_field(six_digits, geometry)) {
            sets.push_back(alpha5);
            sets.push_back(six_digits);
            break;
        }
    }
    if (sets.size() == without_new) {
        std::fputs("make_omm_sample: the new pieces do not stay in the compiled-in field\n", stderr);
        return 1;
    }
    const std::string base = argv[2];
    const bool written = write_file(base + ".csv", csv_text(sets)) && write_file(base + ".json", json_text(sets)) &&
                         write_file(base + ".xml", xml_text(sets)) &&
                         write_file(base + "_twin.tle", three_line_text(sets));
    return written ? 0 : 1;
}
