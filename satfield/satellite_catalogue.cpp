#include "satellite_catalogue.hpp"

#include <algorithm>
#include <map>
#include <vector>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "catalogue_file.hpp"
#include "fixed_columns.hpp"
#include "formatted_text.hpp"

namespace fieldsearch {

namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

bool is_white(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view without_byte_order_mark(std::string_view text)
{
    return text.substr(0, BYTE_ORDER_MARK.size()) == BYTE_ORDER_MARK ? text.substr(BYTE_ORDER_MARK.size()) : text;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && is_white(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_white(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The fields of one CSV line, separated by commas; a field in double quotes
// may hold commas and doubled quotes. Blanks around a field are dropped.
// False when a quote is left open.
bool split_csv_line(std::string_view line, std::vector<std::string>& fields, std::size_t& count)
{
    count = 0;
    std::size_t at = 0;
    for (;;) {
        if (fields.size() <= count) {
            fields.emplace_back();
        }
        std::string& field = fields[count++];
        field.clear();
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
            ++at;
        }
        if (at < line.size() && line[at] == '"') {
            bool closed = false;
            for (++at; at < line.size(); ++at) {
                if (line[at] == '"') {
                    if (at + 1 < line.size() && line[at + 1] == '"') {
                        field += '"';
                        ++at;
                    } else {
                        closed = true;
                        ++at;
                        break;
                    }
                } else {
                    field += line[at];
                }
            }
            if (!closed) {
                return false;
            }
            while (at < line.size() && line[at] != ',') {
                ++at;
            }
        } else {
            const std::size_t comma = line.find(',', at);
            const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
            field.assign(trimmed(line.substr(at, end - at)));
            at = end;
        }
        if (at >= line.size()) {
            return true;
        }
        ++at;  // the comma
    }
}

// The keywords a record cannot do without.
constexpr OmmKeyword REQUIRED_KEYWORDS[] = {
    OmmKeyword::epoch,          OmmKeyword::mean_motion,       OmmKeyword::eccentricity,
    OmmKeyword::inclination,    OmmKeyword::ra_of_asc_node,    OmmKeyword::arg_of_pericenter,
    OmmKeyword::mean_anomaly,   OmmKeyword::mean_motion_dot,   OmmKeyword::norad_cat_id,
};

// An element name without its namespace prefix.
std::string_view local_name(const char* name)
{
    const std::string_view full(name);
    const std::size_t colon = full.rfind(':');
    return colon == std::string_view::npos ? full : full.substr(colon + 1);
}

std::size_t index_of(OmmKeyword keyword)
{
    return static_cast<std::size_t>(keyword);
}

// A JSON key as a message names it: at most 40 bytes, control characters as '?'.
std::string quoted_key(std::string_view key)
{
    std::string out(key.substr(0, 40));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return out;
}

}  // namespace

CatalogueForm satellite_catalogue_form(std::string_view start)
{
    // The first line that is not blank.
    std::string_view rest = without_byte_order_mark(start);
    std::string_view line;
    while (!rest.empty()) {
        const std::size_t feed = rest.find('\n');
        line = rest.substr(0, feed);
        if (!is_blank_line(line)) {
            break;
        }
        rest = feed == std::string_view::npos ? std::string_view() : rest.substr(feed + 1);
        line = {};
    }
    const std::string_view text = trimmed(rest);
    if (text.starts_with("{")) {
        return CatalogueForm::omm_json;
    }
    if (text.starts_with("[")) {
        const std::string_view inside = trimmed(text.substr(1));
        if (inside.starts_with("{") || inside.starts_with("]")) {
            return CatalogueForm::omm_json;
        }
    }
    if (text.starts_with("<?") || text.starts_with("<!") || text.starts_with("<omm") || text.starts_with("<ndm")) {
        return CatalogueForm::omm_xml;
    }
    std::vector<std::string> fields;
    std::size_t count = 0;
    split_csv_line(line, fields, count);
    std::size_t keywords = 0;
    for (std::size_t i = 0; i < count; ++i) {
        keywords += omm_keyword(fields[i]) ? 1 : 0;
    }
    if (keywords >= 2) {
        return CatalogueForm::omm_csv;
    }
    // Element sets: a line 1 and, as the next line that is not blank, the
    // line 2 of its catalogue number.
    std::size_t looked_at = 0;
    std::string_view previous;
    bool any = false;
    while (!rest.empty() && looked_at < SATELLITE_FORM_LINES) {
        const std::size_t feed = rest.find('\n');
        const std::string_view next = rest.substr(0, feed);
        rest = feed == std::string_view::npos ? std::string_view() : rest.substr(feed + 1);
        if (is_blank_line(next)) {
            continue;
        }
        any = true;
        ++looked_at;
        if (tle_line_kind(next) == 2 && tle_line_kind(previous) == 1 &&
            catalogue_number_from_text(columns(previous, 3, 7)) == catalogue_number_from_text(columns(next, 3, 7))) {
            return CatalogueForm::three_line;
        }
        previous = next;
    }
    return any ? CatalogueForm::unrecognised : CatalogueForm::three_line;
}

std::string unrecognised_catalogue_problem()
{
    return formatted("it matches no catalogue form (element sets: a line 1 followed by the line 2 of its "
                     "catalogue number within the first %zu lines; OMM CSV: a header line of OMM keywords; OMM "
                     "JSON: an array of objects; OMM XML: <omm> or <ndm>), not read",
                     SATELLITE_FORM_LINES);
}

struct SatelliteCatalogueReader::Document {
    std::string text;
    nlohmann::json json;
    pugi::xml_document xml;
    std::vector<pugi::xml_node> omm_nodes;
    std::size_t record_count = 0;
    std::size_t next = 0;
    std::array<std::string, OMM_KEYWORD_COUNT> number_texts;
    // JSON: the first key a record gives twice, by the record's 0-based index.
    std::map<std::size_t, std::string> duplicate_keys;
};

void read_three_line_set(std::string_view name, std::string_view line1, std::string_view line2, ElementSetEntry& set)
{
    set.message_line = 0;
    if (const char* problem = tle_line_length_problem(line1, line2)) {
        set.kind = EntryKind::not_evaluated;
        set.message = std::string("element set not evaluated: ") + problem;
        return;
    }
    set.record = parse_tle_record(name, line1, line2);
    const TleFieldProblem field = tle_field_problem(line1, line2, set.record);
    if (field.line != 0) {
        set.kind = EntryKind::not_evaluated;
        set.message_line = set.element_lines[static_cast<std::size_t>(field.line - 1)];
        set.message = "element set not evaluated: " + field.what;
        return;
    }
    if (const char* problem = tle_element_problem(set.record)) {
        set.kind = EntryKind::not_evaluated;
        set.message = std::string("element set not evaluated: ") + problem;
        return;
    }
    set.kind = EntryKind::element_set;
    set.message = tle_checksum_problem(line1, line2);
    if (!set.message.empty()) {
        set.message_line = set.element_lines[set.message.starts_with("line 1") ? 0 : 1];
        set.message += " (the set is evaluated all the same)";
    }
}

SatelliteCatalogueReader::SatelliteCatalogueReader(std::FILE* file, bool defer_three_line_sets, bool gzip_compressed,
                                                   const LeapSecondTable* leap_seconds)
    : reader_(file, gzip_compressed, CSV_MAX_LINE), form_(satellite_catalogue_form(reader_.look_ahead())),
      defer_three_line_sets_(defer_three_line_sets),
      leap_seconds_(leap_seconds != nullptr ? leap_seconds : &compiled_leap_second_table())
{
    csv_columns_.fill(-1);
    if (form_ == CatalogueForm::unrecognised) {
        whole_problem_ = unrecognised_catalogue_problem();
    }
}

SatelliteCatalogueReader::~SatelliteCatalogueReader() = default;

bool SatelliteCatalogueReader::next(ElementSetEntry& entry)
{
    switch (form_) {
    case CatalogueForm::three_line:
        return next_three_line(entry);
    case CatalogueForm::omm_csv:
        entry.message_line = 0;
        return next_csv(entry);
    case CatalogueForm::omm_json:
    case CatalogueForm::omm_xml:
        entry.message_line = 0;
        return next_document(entry);
    case CatalogueForm::unrecognised:
        return false;
    }
    return false;
}

bool SatelliteCatalogueReader::next_three_line(ElementSetEntry& entry)
{
    if (queued_next_ < queued_.size()) {
        std::swap(entry, queued_[queued_next_++]);
        return true;
    }
    queued_.clear();
    queued_next_ = 0;
    first_ = &entry;
    first_given_ = false;
    std::string_view line;
    while (reader_.next_line(line)) {
        if (!started_) {
            started_ = true;
            line = without_byte_order_mark(line);
        }
        take_three_line(line, reader_.full_length(), reader_.line_number());
        if (first_given_) {
            return true;
        }
    }
    if ((have_name_ || have_line1_) && !reader_.read_error()) {
        notice(have_name_ ? name_line_ : line1_number_, "element set cut short by the end of the file, not counted");
    }
    have_name_ = false;
    have_line1_ = false;
    return first_given_;
}

// The entry to fill next: the caller's, then queued ones.
ElementSetEntry& SatelliteCatalogueReader::emitted()
{
    if (!first_given_) {
        first_given_ = true;
        return *first_;
    }
    return queued_.emplace_back();
}

void SatelliteCatalogueReader::notice(long line, std::string message)
{
    ElementSetEntry& entry = emitted();
    entry.kind = EntryKind::notice;
    entry.line = line;
    entry.record_index = 0;
    entry.message_line = 0;
    entry.message = std::move(message);
}

// The waiting line 1 has no line 2: its set is reported and dropped.
void SatelliteCatalogueReader::give_up_line1()
{
    notice(have_name_ ? name_line_ : line1_number_,
           formatted("element set without its line 2 (line %ld is its line 1), not counted", line1_number_));
    have_name_ = false;
    have_line1_ = false;
}

// The set of the waiting lines and `line2`.
void SatelliteCatalogueReader::give_set(std::string_view line2, long line2_number)
{
    ElementSetEntry& set = emitted();
    set.line = have_name_ ? name_line_ : line1_number_;
    set.record_index = 0;
    set.message_line = 0;
    set.element_lines = {line1_number_, line2_number};
    if (!have_name_) {
        name_.clear();
    }
    have_name_ = false;
    have_line1_ = false;
    if (defer_three_line_sets_) {
        // Swapped rather than copied: the reader's strings take the entry's
        // old ones, to be overwritten by the next set.
        set.kind = EntryKind::lines;
        set.lines[0].swap(name_);
        set.lines[1].swap(line1_);
        set.lines[2].assign(line2);
        set.message.clear();
        return;
    }
    read_three_line_set(name_, line1_, line2, set);
}

// Takes one line of the element sets. Lines are told apart by what they
// open with, "1 " or "2 " for the element lines and anything else for a
// name line, so that a set that lacks a line costs only that set, and sets
// of two lines without their name lines read as well.
void SatelliteCatalogueReader::take_three_line(std::string_view line, std::size_t full_length, long line_number)
{
    if (full_length > THREE_LINE_MAX_KEPT) {
        notice(line_number,
               formatted("line of %zu characters, only the first %zu are read", full_length, THREE_LINE_MAX_KEPT));
        line = line.substr(0, THREE_LINE_MAX_KEPT);
    }
    const int kind = tle_line_kind(line);
    if (kind == 0 && is_blank_line(line)) {
        return;
    }
    if (kind == 2) {
        if (!have_line1_) {
            notice(have_name_ ? name_line_ : line_number,
                   formatted("element set without its line 1 (line %ld is its line 2), not counted", line_number));
            have_name_ = false;
            return;
        }
        // The same five columns are the same number; other texts may still be.
        const bool same_text = line1_.size() >= 7 && line.size() >= 7 && line1_[2] == line[2] &&
                               line1_[3] == line[3] && line1_[4] == line[4] && line1_[5] == line[5] &&
                               line1_[6] == line[6];
        const long number1 = same_text ? 0 : catalogue_number_from_text(columns(line1_, 3, 7));
        const long number2 = same_text ? 0 : catalogue_number_from_text(columns(line, 3, 7));
        if (number1 != number2) {
            notice(have_name_ ? name_line_ : line1_number_,
                   formatted("element set not read: line 1 (line %ld) is of catalogue number %ld, the line 2 after "
                             "it (line %ld) of %ld; not counted",
                             line1_number_, number1, line_number, number2));
            have_name_ = false;
            have_line1_ = false;
            return;
        }
        give_set(line, line_number);
        return;
    }
    if (have_line1_) {
        give_up_line1();
    }
    if (kind == 1) {
        line1_.assign(line);
        line1_number_ = line_number;
        have_line1_ = true;
        return;
    }
    if (have_name_) {
        notice(name_line_, "name line without its element lines, not counted");
    }
    name_.assign(line);
    name_line_ = line_number;
    have_name_ = true;
}

bool SatelliteCatalogueReader::read_csv_header(std::string_view line)
{
    std::vector<std::string> fields;
    std::size_t count = 0;
    split_csv_line(without_byte_order_mark(line), fields, count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::optional<OmmKeyword> keyword = omm_keyword(fields[i]);
        if (keyword && csv_columns_[index_of(*keyword)] >= 0) {
            whole_problem_ = formatted("the CSV header line names the %s column twice", omm_keyword_name(*keyword));
            return false;
        }
        if (keyword) {
            csv_columns_[index_of(*keyword)] = static_cast<long>(i);
        }
    }
    for (const OmmKeyword keyword : REQUIRED_KEYWORDS) {
        if (csv_columns_[index_of(keyword)] < 0) {
            whole_problem_ = formatted("the CSV header line names no %s column", omm_keyword_name(keyword));
            return false;
        }
    }
    return true;
}

bool SatelliteCatalogueReader::next_csv(ElementSetEntry& entry)
{
    std::string_view line;
    while (reader_.next_line(line)) {
        if (is_blank_line(line)) {
            continue;
        }
        if (!started_) {
            started_ = true;
            if (!read_csv_header(line)) {
                return false;
            }
            continue;
        }
        entry.line = reader_.line_number();
        entry.record_index = 0;
        std::size_t count = 0;
        if (reader_.full_length() > CSV_MAX_LINE) {
            entry.kind = EntryKind::not_evaluated;
            entry.message = formatted("element set not evaluated: line of %zu characters, longer than %zu",
                                      reader_.full_length(), CSV_MAX_LINE);
            return true;
        }
        if (!split_csv_line(line, csv_fields_, count)) {
            entry.kind = EntryKind::not_evaluated;
            entry.message = "element set not evaluated: a quoted field is not closed";
            return true;
        }
        OmmValues values{};
        for (std::size_t k = 0; k < OMM_KEYWORD_COUNT; ++k) {
            const long column = csv_columns_[k];
            if (column >= 0 && static_cast<std::size_t>(column) < count) {
                values[k] = csv_fields_[static_cast<std::size_t>(column)];
            }
        }
        finish_set(entry, values);
        return true;
    }
    return false;
}

void SatelliteCatalogueReader::finish_set(ElementSetEntry& entry, const OmmValues& values)
{
    const OmmElementSet set = omm_element_set(values, *leap_seconds_);
    entry.record = set.record;
    if (!set.problem.empty()) {
        entry.kind = EntryKind::not_evaluated;
        entry.message = "element set not evaluated: " + set.problem;
        return;
    }
    if (const char* problem = tle_element_problem(set.record)) {
        entry.kind = EntryKind::not_evaluated;
        entry.message = std::string("element set not evaluated: ") + problem;
        return;
    }
    entry.kind = EntryKind::element_set;
    entry.message.clear();
}

bool SatelliteCatalogueReader::next_document(ElementSetEntry& entry)
{
    if (!started_) {
        started_ = true;
        document_ = std::make_unique<Document>();
        Document& d = *document_;
        if (!reader_.read_rest(d.text, DOCUMENT_MAX_BYTES)) {
            whole_problem_ = formatted("a JSON or XML catalogue is read whole, and this one is larger than %zu MiB",
                                       DOCUMENT_MAX_BYTES >> 20);
            return false;
        }
        if (reader_.read_error()) {
            return false;
        }
        if (form_ == CatalogueForm::omm_json) {
            // Values nested deeper than a record's keywords are not kept.
            // The keys of each record are watched for one given twice (the
            // document keeps only one of them).
            using Event = nlohmann::json::parse_event_t;
            int level = 0;
            bool top_array = false;
            std::size_t element = 0;  // 1-based, in the top array (or 1 for a lone object)
            std::vector<std::string> keys;
            const auto shallow = [&](int depth, Event event, nlohmann::json& parsed) {
                const int record_level = top_array ? 1 : 0;
                switch (event) {
                case Event::object_start:
                case Event::array_start:
                    if (level == 0 && event == Event::array_start) {
                        top_array = true;
                    } else if (level == (top_array ? 1 : 0)) {
                        ++element;
                        keys.clear();
                    }
                    ++level;
                    break;
                case Event::object_end:
                case Event::array_end:
                    --level;
                    break;
                case Event::value:
                    if (top_array && level == 1) {
                        ++element;
                    }
                    break;
                case Event::key:
                    if (level == record_level + 1 && element > 0 && parsed.is_string()) {
                        const std::string& key = parsed.get_ref<const std::string&>();
                        if (std::find(keys.begin(), keys.end(), key) != keys.end()) {
                            d.duplicate_keys.emplace(element - 1, key);
                        } else {
                            keys.push_back(key);
                        }
                    }
                    break;
                }
                return depth <= 2;
            };
            try {
                d.json = nlohmann::json::parse(d.text, shallow);
            } catch (const nlohmann::json::parse_error& e) {
                whole_problem_ = formatted("not a JSON document: syntax error at byte %zu", e.byte);
                return false;
            } catch (const nlohmann::json::exception& e) {
                whole_problem_ = formatted("not a JSON document (error %d)", e.id);
                return false;
            }
            if (!d.json.is_array() && !d.json.is_object()) {
                whole_problem_ = "a JSON catalogue is an array of OMM objects";
                return false;
            }
            d.record_count = d.json.is_array() ? d.json.size() : 1;
        } else {
            const pugi::xml_parse_result parsed = d.xml.load_buffer_inplace(d.text.data(), d.text.size());
            if (!parsed) {
                whole_problem_ = formatted("not an XML document: %s at byte %td", parsed.description(), parsed.offset);
                return false;
            }
            const pugi::xml_node root = d.xml.document_element();
            if (local_name(root.name()) == "omm") {
                d.omm_nodes.push_back(root);
            } else if (local_name(root.name()) == "ndm") {
                for (const pugi::xml_node child : root.children()) {
                    if (child.type() == pugi::node_element && local_name(child.name()) == "omm") {
                        d.omm_nodes.push_back(child);
                    }
                }
            } else {
                whole_problem_ = "the XML document is neither an <omm> nor an <ndm>";
                return false;
            }
            d.record_count = d.omm_nodes.size();
        }
    }
    Document& d = *document_;
    if (!whole_problem_.empty() || d.next >= d.record_count) {
        return false;
    }
    const std::size_t index = d.next++;
    entry.line = 0;
    entry.record_index = static_cast<long>(index + 1);
    OmmValues values{};
    if (form_ == CatalogueForm::omm_json) {
        const nlohmann::json& record = d.json.is_array() ? d.json[index] : d.json;
        if (!record.is_object()) {
            entry.kind = EntryKind::not_evaluated;
            entry.message = "element set not evaluated: the record is not a JSON object";
            return true;
        }
        if (const auto twice = d.duplicate_keys.find(index); twice != d.duplicate_keys.end()) {
            entry.kind = EntryKind::not_evaluated;
            entry.message = "element set not evaluated: " + quoted_key(twice->second) + " is given twice";
            return true;
        }
        for (std::size_t k = 0; k < OMM_KEYWORD_COUNT; ++k) {
            const auto found = record.find(omm_keyword_name(static_cast<OmmKeyword>(k)));
            if (found == record.end() || found->is_null()) {
                continue;
            }
            if (found->is_string()) {
                values[k] = found->get_ref<const std::string&>();
            } else if (found->is_number()) {
                d.number_texts[k] = found->dump();
                values[k] = d.number_texts[k];
            } else {
                entry.kind = EntryKind::not_evaluated;
                entry.message = formatted("element set not evaluated: %s is neither a number nor text",
                                          omm_keyword_name(static_cast<OmmKeyword>(k)));
                return true;
            }
        }
    } else {
        // The first element of each keyword's name anywhere inside the <omm>.
        const pugi::xml_node omm = d.omm_nodes[index];
        std::array<bool, OMM_KEYWORD_COUNT> seen{};
        pugi::xml_node node = omm.first_child();
        while (node) {
            if (node.type() == pugi::node_element) {
                std::optional<OmmKeyword> keyword = omm_keyword(local_name(node.name()));
                // A user-defined parameter is named by its attribute: <USER_DEFINED parameter="STD_MAG">.
                if (!keyword && local_name(node.name()) == "USER_DEFINED" &&
                    std::string_view(node.attribute("parameter").value()) == "STD_MAG") {
                    keyword = OmmKeyword::user_defined_std_mag;
                }
                if (keyword && seen[index_of(*keyword)]) {
                    entry.kind = EntryKind::not_evaluated;
                    entry.message = formatted("element set not evaluated: %s is given twice",
                                              omm_keyword_name(*keyword));
                    return true;
                }
                if (keyword) {
                    seen[index_of(*keyword)] = true;
                    values[index_of(*keyword)] = node.child_value();
                }
            }
            if (node.first_child()) {
                node = node.first_child();
                continue;
            }
            while (node != omm && !node.next_sibling()) {
                node = node.parent();
            }
            if (node == omm) {
                break;
            }
            node = node.next_sibling();
        }
    }
    finish_set(entry, values);
    return true;
}

bool read_entries(SatelliteCatalogueReader& catalogue, EntryBlock& block)
{
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
}

const ElementSetEntry& evaluated_entry(const ElementSetEntry& held, ElementSetEntry& scratch)
{
    if (held.kind != EntryKind::lines) {
        return held;
    }
    scratch.line = held.line;
    scratch.record_index = held.record_index;
    scratch.element_lines = held.element_lines;
    read_three_line_set(held.lines[0], held.lines[1], held.lines[2], scratch);
    return scratch;
}

}  // namespace fieldsearch
