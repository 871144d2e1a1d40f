// The command line both programs share: options that override the parts of
// the compiled-in scenario, the catalogue path and the output format.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search_plan.hpp"
#include "search_scenario.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// The observatory codes used when --observatory-codes is not given: the
// installed copy of the list, or else the one in the source tree.
std::string default_observatory_codes_path();

// What the command line asked for; an option not given stays empty.
struct CommandLine {
    bool show_help = false;
    bool show_version = false;
    std::optional<std::string> catalogue_path;
    std::optional<CalendarInstant> instant;
    std::optional<Vector3> observer_earth_fixed;  // from --observer or --site, km
    std::optional<FieldCentre> centre;
    std::optional<double> side_arcmin;  // the full side
    std::optional<double> mag_limit;
    OutputFormat format = OutputFormat::text;
    std::optional<std::string> fields_path;  // --fields: a list of fields to search
    std::optional<int> threads;              // --threads
    std::optional<std::string> catalogue_format;  // --catalogue-format
    std::optional<std::string> theory;            // --theory
    std::optional<std::string> leap_seconds_path; // --leap-seconds
    std::optional<double> ut1_minus_utc_seconds;  // --ut1-utc
    std::vector<std::string> images;              // --image, each a field
    std::optional<double> exposure_s;             // --exposure
    std::optional<std::string> regions_path;      // --regions
    std::optional<std::string> chart_path;        // --chart
    bool sunlit_only = false;                     // --sunlit-only
    std::optional<std::string> standard_magnitudes_path;  // --standard-magnitudes
    std::optional<std::string> propagation;       // --propagation
    std::optional<std::string> site_code;         // --site CODE: a station of the observatory codes
    std::optional<std::string> observations_path;       // --observations
    std::optional<std::string> observatory_codes_path;  // --observatory-codes
    std::optional<double> radius_arcsec;                // --radius
    std::optional<double> motion_tolerance;             // --motion-tolerance
    std::optional<int> max_candidates;                  // --max-candidates
    std::optional<std::string> identified_path;         // --write-identified
};

// The parsed command line, or the one-line reason it was refused (naming the
// option and what is wrong with it).
struct CommandLineResult {
    bool ok;
    CommandLine command_line;
    std::string error;
};

// Parses the arguments that follow the program name.
CommandLineResult parse_command_line(const std::vector<std::string_view>& arguments, const ProgramInfo& program);

// The scenario with every option that was given put in place of its
// compiled-in value.
Scenario scenario_with_options(const Scenario& compiled_in, const CommandLine& command_line);

// The --help text: every option with an example.
std::string usage_text(const ProgramInfo& program);

// The line that follows an error message: where to find the usage.
std::string usage_hint(const ProgramInfo& program);

// The --version line.
std::string version_text(const ProgramInfo& program);

// The plan a command line asks for, or why there is none: status 1 for a
// file that cannot be read, 2 for a bad request (error: one line).
struct PlanResult {
    SearchPlan plan;
    int status = 0;
    std::string error;
};

// The fields and threads of a run: the one field of the scenario with the
// options in place, or the fields of the --fields list (each with the
// options' observer, limit and clock); reads the list's file, the
// leap-second list (the named one, else the system's when it is newer than
// the compiled-in table) and the file of standard magnitudes.
PlanResult plan_from_command_line(const CommandLine& line, const Scenario& compiled_in);

// The whole command line of a program: with no arguments the compiled-in
// scenario exactly as built in; otherwise the options are parsed, --help and
// --version answered, a bad option refused (message and usage hint on
// standard error, exit status 2) or the scenario with the options searched.
// Returns the exit status.
int run_command_line(int argc, const char* const* argv, const ProgramInfo& program, const Scenario& compiled_in,
                     PlanSearchFunction search);

// A UTC instant written YYYY-MM-DDTHH:MM:SS[.sss] with an optional trailing
// Z; empty when the text is malformed or the date does not exist (years
// 1900 to 2099).
std::optional<CalendarInstant> instant_from_text(std::string_view text);

// A whole decimal number filling all of `text`, optionally signed; empty
// when anything else is there or the value is not finite.
std::optional<double> number_from_text(std::string_view text);

}  // namespace fieldsearch
