#include "asteroid_search.hpp"

#include <cstdio>

int run_asteroid_scenario()
{
    SearchRequest request{3395.0303, 3128.7911, 4388.8511, 0.0, 0.041666666666666664, 0.5, 1.0, 20.0};
    return search_asteroid_field(request);
}

int search_asteroid_field(const SearchRequest&)
{
    std::fputs("astfield: not built yet\n", stderr);
    return 1;
}
