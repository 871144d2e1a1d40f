#include "asteroid_search.hpp"

int main()
{
    return run_asteroid_scenario();
}
