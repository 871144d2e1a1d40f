#include "search_plan.hpp"

namespace fieldsearch {

FieldSearch field_search_at_instant(const Scenario& scenario)
{
    const SearchRequest request = search_request_from_scenario(scenario);
    return {std::string(), scenario, request, request.utc_mjd, 0.0, std::string(), nullptr};
}

FieldSearch field_search_for_request(const SearchRequest& request)
{
    return {std::string(), Scenario{}, request, request.utc_mjd, 0.0, std::string(), nullptr};
}

}  // namespace fieldsearch
