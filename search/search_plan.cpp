#include "search_plan.hpp"

namespace fieldsearch {

FieldSearch field_search(const Scenario& scenario, double exposure_s)
{
    FieldSearch field;
    field.start_utc_mjd = mjd_from_calendar_instant(scenario.instant);
    field.exposure_s = exposure_s > 0.0 ? exposure_s : 0.0;
    field.centre = scenario.centre;
    field.half_side_arcmin = scenario.half_side_arcmin;
    field.observer_earth_fixed = scenario.observer_earth_fixed;
    field.mag_limit = scenario.mag_limit;
    field.leap_seconds = scenario.leap_seconds;
    field.ut1_minus_utc_seconds = scenario.ut1_minus_utc_seconds;
    return field;
}

double rows_utc_mjd(const FieldSearch& field)
{
    if (field.mid_utc_mjd) {
        return *field.mid_utc_mjd;
    }
    return field.exposure_s > 0.0 ? field.start_utc_mjd + 0.5 * field.exposure_s * DAYS_PER_SECOND
                                  : field.start_utc_mjd;
}

SearchRequest field_request(const FieldSearch& field)
{
    return {field.observer_earth_fixed(1),
            field.observer_earth_fixed(2),
            field.observer_earth_fixed(3),
            rows_utc_mjd(field),
            field.centre.ra_deg,
            field.centre.dec_deg,
            field.half_side_arcmin / 60.0,
            field.mag_limit,
            field.leap_seconds,
            field.ut1_minus_utc_seconds};
}

Scenario field_scenario(const FieldSearch& field)
{
    return {calendar_instant_from_mjd(field.start_utc_mjd),
            field.observer_earth_fixed,
            field.centre,
            field.half_side_arcmin,
            field.mag_limit,
            field.leap_seconds,
            field.ut1_minus_utc_seconds};
}

bool rows_carry_field(const SearchPlan& plan)
{
    return plan.listed || plan.fields.size() > 1;
}

}  // namespace fieldsearch
