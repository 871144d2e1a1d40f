#include "asteroid_search.hpp"
#include "command_line.hpp"

using namespace fieldsearch;

namespace {

// The program as its command line knows it.
constexpr ProgramInfo ASTFIELD_PROGRAM{ASTFIELD_PROGRAM_NAME, ASTORB_CATALOGUE_PATH, true, "astorb|mpcorb|comets",
                                       nullptr, false, "two-body|n-body"};

}  // namespace

int main(int argc, char** argv)
{
    return run_command_line(argc, argv, ASTFIELD_PROGRAM, asteroid_scenario(), search_asteroid_fields);
}
