#include "search_plan.hpp"

FieldSearch field_search_at_instant(const Scenario& scenario)
{
    const SearchRequest request = search_request_from_scenario(scenario);
    return {std::string(), scenario, request, request.utc_mjd, 0.0};
}

SearchPlan single_field_plan(const Scenario& scenario)
{
    return {{field_search_at_instant(scenario)}, 1, {}};
}
