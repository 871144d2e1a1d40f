// Fuzz target: the reader of standard-magnitude files (--standard-magnitudes).
// It may refuse its input, but only naming a line of it and saying why in one
// line; what it accepts must be catalogue numbers in range with finite
// magnitudes within bounds, and the table written out again (in either
// separator, with comments) must read back the same.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "standard_magnitudes.hpp"

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

long line_count(std::string_view text)
{
    long lines = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        ++lines;
        start = end == std::string_view::npos ? text.size() : end + 1;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace fieldsearch;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const StandardMagnitudesResult result = standard_magnitudes_from_text(text);
    if (result.magnitudes.has_value() == !result.error.empty()) {
        fail("the text is neither refused with a reason nor read into a table");
    }
    if (!result.magnitudes) {
        if (result.line < 1 || result.line > line_count(text)) {
            fail("a refusal names no line of the text");
        }
        if (result.error.find('\n') != std::string::npos) {
            fail("a refusal is more than one line");
        }
        return 0;
    }
    if (result.line != 0) {
        fail("an accepted text names a line at fault");
    }
    const auto& table = result.magnitudes->by_catalogue_number;
    if (static_cast<long>(table.size()) > line_count(text)) {
        fail("more magnitudes than lines");
    }
    std::string with_commas;
    std::string with_blanks = "# written again\n";
    for (const auto& [number, magnitude] : table) {
        if (number < 0 || number > LARGEST_CATALOGUE_NUMBER) {
            fail("a catalogue number out of range");
        }
        if (!std::isfinite(magnitude) || std::fabs(magnitude) > LARGEST_STANDARD_MAGNITUDE) {
            fail("a magnitude that is not finite or out of bounds");
        }
        char line[96];
        std::snprintf(line, sizeof line, "%ld,%.17g\r\n", number, magnitude);
        with_commas += line;
        std::snprintf(line, sizeof line, "\t%09ld   %.17g # comment\n\n", number, magnitude);
        with_blanks += line;
    }
    for (const std::string& again : {with_commas, with_blanks}) {
        const StandardMagnitudesResult reread = standard_magnitudes_from_text(again);
        if (!reread.magnitudes || reread.magnitudes->by_catalogue_number != table) {
            fail("the table written out again does not read back the same");
        }
    }
    return 0;
}
