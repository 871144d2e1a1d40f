#include "asteroid_search.hpp"

int main(int argc, char** argv)
{
    if (argc <= 1) {
        return run_asteroid_scenario();
    }
    return run_command_line(argc, argv, ASTFIELD_PROGRAM, asteroid_scenario(), search_asteroid_fields);
}
