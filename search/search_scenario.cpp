#include "search_scenario.hpp"


#include "angles.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

FieldCentre field_centre_from_sexagesimal(int ra_hours, int ra_minutes, double ra_seconds, bool dec_negative,
                                          int dec_degrees, int dec_arcminutes, double dec_arcseconds)
{
    const double ra_deg = (ra_hours + (ra_minutes + ra_seconds / 60.0) / 60.0) * 15.0;
    const double dec_magnitude = dec_degrees + (dec_arcminutes + dec_arcseconds / 60.0) / 60.0;
    const double dec_deg = dec_negative ? -dec_magnitude : dec_magnitude;
    return {ra_deg,     dec_deg,      ra_hours,       ra_minutes,    ra_seconds,
            dec_negative, dec_degrees, dec_arcminutes, dec_arcseconds};
}

FieldCentre field_centre_from_degrees(double ra_deg, double dec_deg)
{
    const HoursMinutesSeconds hms = ra_to_hms(ra_deg);
    const SignDegreesMinutesSeconds dms = dec_to_dms(dec_deg);
    return {ra_deg,          dec_deg,     hms.hours,      hms.minutes,   hms.seconds,
            dms.sign == '-', dms.degrees, dms.arcminutes, dms.arcseconds};
}

SearchRequest search_request_from_scenario(const Scenario& s)
{
    const CalendarInstant& i = s.instant;
    return {s.observer_earth_fixed(1),
            s.observer_earth_fixed(2),
            s.observer_earth_fixed(3),
            mjd_from_calendar(i.day, i.month, i.year, i.hour, i.minute, i.second),
            s.centre.ra_deg,
            s.centre.dec_deg,
            s.half_side_arcmin / 60.0,
            s.mag_limit,
            s.leap_seconds,
            s.ut1_minus_utc_seconds};
}

}  // namespace fieldsearch
