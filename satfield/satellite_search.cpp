#include "satellite_search.hpp"

#include <cstdio>

int run_satellite_scenario()
{
    SearchRequest request{3395.0303, 3128.7911, 4388.8511, 0.0, 0.041666666666666664, 0.5, 1.0, 20.0};
    return search_satellite_field(request);
}

int search_satellite_field(const SearchRequest&)
{
    std::fputs("satfield: not built yet\n", stderr);
    return 1;
}
