#include "satellite_search.hpp"

int main()
{
    return run_satellite_scenario();
}
