#include "satellite_search.hpp"

int main(int argc, char** argv)
{
    if (argc <= 1) {
        return run_satellite_scenario();
    }
    return run_command_line(argc, argv, SATFIELD_PROGRAM, satellite_scenario(), search_satellite_fields);
}
