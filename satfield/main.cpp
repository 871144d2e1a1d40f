#include "command_line.hpp"
#include "satfield_program.hpp"
#include "satellite_identification.hpp"
#include "satellite_search.hpp"

using namespace fieldsearch;

int main(int argc, char** argv)
{
    return run_command_line(argc, argv, SATFIELD_PROGRAM, satellite_scenario(), search_satellite_fields);
}
