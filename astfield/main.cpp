#include <string_view>
#include <vector>

#include "asteroid_search.hpp"
#include "astfield_program.hpp"
#include "command_line.hpp"
#include "observation_search.hpp"
#include "reepoch_run.hpp"

using namespace fieldsearch;

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (asks_for_reepoch(arguments)) {
        return run_catalogue_reepoch(arguments);
    }
    return run_command_line(argc, argv, ASTFIELD_PROGRAM, asteroid_scenario(), search_asteroid_fields);
}
