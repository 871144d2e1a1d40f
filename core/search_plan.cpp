#include "search_plan.hpp"

FieldSearch field_search_at_instant(const Scenario& scenario)
{
    const SearchRequest request = search_request_from_scenario(scenario);
    return {std::string(), scenario, request, request.utc_mjd, 0.0, std::string(), nullptr};
}

SearchPlan single_field_plan(const Scenario& scenario)
{
    return {{field_search_at_instant(scenario)}, 1, {}};
}

FieldSearch field_search_for_request(const SearchRequest& request)
{
    return {std::string(), Scenario{}, request, request.utc_mjd, 0.0, std::string(), nullptr};
}
