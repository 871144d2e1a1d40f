#include "omm_record.hpp"

#include <string>

#include <gtest/gtest.h>

#include "satellite_evaluation.hpp"

using namespace fieldsearch;

namespace {

const std::string LINE1 = "1 27997U 86012D   08139.62996498  .00000021  00000-0  23056-6 0   597";
const std::string LINE2 = "2 27997  51.6400 187.1059 0043946 130.2951 254.9118 13.85957255893370";

// The OMM record of the set above, written by hand: the epoch is day
// 139.62996498 of 2008 (May 18, 15:07:08.974272, computed apart), the
// numbers spelt otherwise than in the set's columns but the same numbers.
OmmValues twin_values()
{
    OmmValues v{};
    v[static_cast<std::size_t>(OmmKeyword::object_name)] = "LEO SAT 2356";
    v[static_cast<std::size_t>(OmmKeyword::object_id)] = "1986-012D";
    v[static_cast<std::size_t>(OmmKeyword::epoch)] = "2008-05-18T15:07:08.974272";
    v[static_cast<std::size_t>(OmmKeyword::mean_motion)] = " 13.85957255 ";
    v[static_cast<std::size_t>(OmmKeyword::eccentricity)] = ".0043946";
    v[static_cast<std::size_t>(OmmKeyword::inclination)] = "51.64";
    v[static_cast<std::size_t>(OmmKeyword::ra_of_asc_node)] = "187.1059";
    v[static_cast<std::size_t>(OmmKeyword::arg_of_pericenter)] = "130.29510";
    v[static_cast<std::size_t>(OmmKeyword::mean_anomaly)] = "2.549118E2";
    v[static_cast<std::size_t>(OmmKeyword::norad_cat_id)] = "27997";
    v[static_cast<std::size_t>(OmmKeyword::bstar)] = "2.3056e-7";
    v[static_cast<std::size_t>(OmmKeyword::mean_motion_dot)] = "0.00000021";
    v[static_cast<std::size_t>(OmmKeyword::mean_motion_ddot)] = "0";
    return v;
}

}  // namespace

// An OMM record gives exactly the doubles and texts its two-line twin gives,
// epoch included: a field read from the wrong keyword, a designator or
// number column built otherwise, or an epoch off by a rounding, differs here.
TEST(OmmRecord, GivesTheElementSetOfItsTwoLineTwin)
{
    const TleRecord tle = parse_tle_record("LEO SAT 2356", LINE1, LINE2);
    const OmmElementSet omm = omm_element_set(twin_values());
    ASSERT_EQ(omm.problem, "");
    const TleRecord& r = omm.record;
    EXPECT_STREQ(r.name.data(), tle.name.data());
    EXPECT_STREQ(r.cospar_id.data(), tle.cospar_id.data());
    EXPECT_STREQ(r.norad_id.data(), tle.norad_id.data());
    EXPECT_EQ(r.norad_number, tle.norad_number);
    EXPECT_EQ(r.epoch_year, tle.epoch_year);
    EXPECT_EQ(r.epoch_day, tle.epoch_day);
    EXPECT_EQ(tle_epoch_mjd(r), tle_epoch_mjd(tle));
    const double omm_fields[] = {r.ndot2, r.nddot6, r.bstar, r.mean_anom, r.omega, r.node, r.incl, r.ecc, r.n};
    const double tle_fields[] = {tle.ndot2, tle.nddot6, tle.bstar, tle.mean_anom, tle.omega, tle.node, tle.incl, tle.ecc, tle.n};
    for (std::size_t i = 0; i < std::size(omm_fields); ++i) {
        EXPECT_EQ(omm_fields[i], tle_fields[i]) << "field " << i;
    }
}

// The epoch as the set's two-digit year and day of the year rounded to 8
// decimals (864 microseconds), half up. Days computed apart from the
// calendar; 2026-02-23T06:28:41.856192 is a published OMM epoch whose set
// carries day 054.26992889.
TEST(OmmRecord, EpochBecomesTheSetsYearAndDay)
{
    struct Case {
        const char* iso;
        bool valid;
        int year;
        double day;
    };
    const Case cases[] = {
        {"2008-05-17T14:53:02.243040", true, 8, 138.62016485},
        {"2008-138T14:53:02.243040Z", true, 8, 138.62016485},
        {"2026-02-23T06:28:41.856192", true, 26, 54.26992889},
        {"2008-02-29T12:00:00", true, 8, 60.5},
        {"1999-01-01T00:00:00.000431", true, 99, 1.0},
        {"1999-01-01T00:00:00.000432", true, 99, 1.00000001},
        {"2000-12-31T23:59:59.999999", true, 0, 367.0},
        {"1985-01-01 00:00:00", true, 85, 1.0},
        {"2084-366T00:00:00", true, 84, 366.0},
        {"1984-12-31T23:00:00", false, 0, 0.0},
        {"2085-01-01T00:00:00", false, 0, 0.0},
        {"2007-02-29T00:00:00", false, 0, 0.0},
        {"2007-366T00:00:00", false, 0, 0.0},
        {"2008-13-01T00:00:00", false, 0, 0.0},
        {"2008-05-17T24:00:00", false, 0, 0.0},
        {"2008-05-17T14:53:60", false, 0, 0.0},
        {"2008-05-17T14:53:02.", false, 0, 0.0},
        {"2008-05-17T14:53:02+01", false, 0, 0.0},
        {"2008-05-17", false, 0, 0.0},
        {"", false, 0, 0.0},
    };
    for (const Case& c : cases) {
        int year = -1;
        double day = -1.0;
        EXPECT_EQ(tle_epoch_from_iso(c.iso, year, day), c.valid) << c.iso;
        if (c.valid) {
            EXPECT_EQ(year, c.year) << c.iso;
            EXPECT_EQ(day, c.day) << c.iso;
        }
    }
}

// Designators, catalogue numbers and classification as the report shows
// them, and each keyword that is missing or not understood named in the problem.
TEST(OmmRecord, DesignatorNumberAndProblems)
{
    struct Case {
        OmmKeyword keyword;
        const char* value;
        const char* cospar;  // expected designator columns, or nullptr
        const char* norad;   // expected catalogue-number column, or nullptr
        const char* problem;
    };
    const Case cases[] = {
        {OmmKeyword::object_id, "1998-067A", "98067A", nullptr, ""},
        {OmmKeyword::object_id, "1998-067ABC", "98067A", nullptr, ""},
        {OmmKeyword::object_id, "2023-001", "23001 ", nullptr, ""},
        {OmmKeyword::object_id, "UNKNOWN", "      ", nullptr, ""},
        {OmmKeyword::object_id, "98067A", "      ", nullptr, ""},
        {OmmKeyword::norad_cat_id, "123456", nullptr, "C3456U", ""},
        {OmmKeyword::norad_cat_id, "412345", nullptr, "412345", ""},
        {OmmKeyword::norad_cat_id, "999999999", nullptr, "******", ""},
        {OmmKeyword::classification_type, "S", nullptr, "27997S", ""},
        {OmmKeyword::classification_type, "UU", nullptr, nullptr, "CLASSIFICATION_TYPE is not one capital letter"},
        {OmmKeyword::norad_cat_id, "1234567890", nullptr, nullptr, "NORAD_CAT_ID is not a number of up to nine digits"},
        {OmmKeyword::norad_cat_id, "25544.0", nullptr, nullptr, "NORAD_CAT_ID is not a number of up to nine digits"},
        {OmmKeyword::norad_cat_id, "", nullptr, nullptr, "NORAD_CAT_ID is missing"},
        {OmmKeyword::epoch, "", nullptr, nullptr, "EPOCH is missing"},
        {OmmKeyword::epoch, "18 May 2008", nullptr, nullptr, "EPOCH \"18 May 2008\" is not a date and time of 1985 to 2084"},
        {OmmKeyword::time_system, "UTC", nullptr, nullptr, ""},
        {OmmKeyword::time_system, "UT1", nullptr, nullptr, "TIME_SYSTEM \"UT1\" is not UTC, TAI, TT or GPS"},
        {OmmKeyword::ref_frame, "TEME", nullptr, nullptr, ""},
        {OmmKeyword::ref_frame, "GCRF", nullptr, nullptr, "REF_FRAME \"GCRF\" is not TEME, the frame of SGP4's elements"},
        {OmmKeyword::center_name, "EARTH", nullptr, nullptr, ""},
        {OmmKeyword::center_name, "MOON", nullptr, nullptr, "CENTER_NAME \"MOON\" is not EARTH"},
        {OmmKeyword::mean_element_theory, "SGP4", nullptr, nullptr, ""},
        {OmmKeyword::mean_element_theory, "SGP/SGP4", nullptr, nullptr, ""},
        {OmmKeyword::mean_element_theory, "SGP4-XP", nullptr, nullptr,
         "MEAN_ELEMENT_THEORY \"SGP4-XP\" is not SGP4 or SGP/SGP4"},
        {OmmKeyword::eccentricity, "-0.1", nullptr, nullptr, "ECCENTRICITY \"-0.1\" is not 0 to below 1"},
        {OmmKeyword::eccentricity, "1.0", nullptr, nullptr, "ECCENTRICITY \"1.0\" is not 0 to below 1"},
        {OmmKeyword::inclination, "400", nullptr, nullptr, "INCLINATION \"400\" is not 0 to 180 deg"},
        {OmmKeyword::inclination, "180", nullptr, nullptr, ""},
        {OmmKeyword::ra_of_asc_node, "-10.5", nullptr, nullptr, ""},
        {OmmKeyword::ra_of_asc_node, "361", nullptr, nullptr, "RA_OF_ASC_NODE \"361\" is not -360 to 360 deg"},
        {OmmKeyword::mean_anomaly, "-400", nullptr, nullptr, "MEAN_ANOMALY \"-400\" is not -360 to 360 deg"},
        {OmmKeyword::mean_motion, "-13.8", nullptr, nullptr, "MEAN_MOTION \"-13.8\" is not positive"},
        {OmmKeyword::mean_motion, "", nullptr, nullptr, "MEAN_MOTION is missing"},
        {OmmKeyword::mean_motion, "13.8x", nullptr, nullptr, "MEAN_MOTION is not a number"},
        {OmmKeyword::eccentricity, "1e", nullptr, nullptr, "ECCENTRICITY is not a number"},
        {OmmKeyword::inclination, "1e999", nullptr, nullptr, "INCLINATION is not a finite number"},
        {OmmKeyword::mean_motion_dot, "", nullptr, nullptr, "MEAN_MOTION_DOT is missing"},
        {OmmKeyword::bstar, "", nullptr, nullptr, ""},
        {OmmKeyword::mean_motion_ddot, "nan", nullptr, nullptr, "MEAN_MOTION_DDOT is not a number"},
    };
    for (const Case& c : cases) {
        OmmValues values = twin_values();
        values[static_cast<std::size_t>(c.keyword)] = c.value;
        const OmmElementSet set = omm_element_set(values);
        EXPECT_EQ(set.problem, c.problem) << omm_keyword_name(c.keyword) << " " << c.value;
        if (c.cospar != nullptr) {
            EXPECT_STREQ(set.record.cospar_id.data(), c.cospar) << c.value;
        }
        if (c.norad != nullptr) {
            EXPECT_STREQ(set.record.norad_id.data(), c.norad) << c.value;
        }
    }
}

// An epoch in TAI, TT or GPS time gives the element set of the same instant
// written in UTC. TAI - UTC was 33 s through 2008 and 34 s from 2009 January
// 1 (IERS Bulletin C); TT = TAI + 32.184 s, GPS = TAI - 19 s. The UTC
// instants were computed apart with astropy's time scales.
TEST(OmmRecord, EpochsOfOtherTimeScalesAreTakenToUtc)
{
    struct Case {
        const char* time_system;
        const char* epoch;
        const char* utc;
    };
    const Case cases[] = {
        {"TAI", "2008-05-18T15:07:41.974272", "2008-05-18T15:07:08.974272"},
        {"TT", "2008-05-18T15:08:14.158272", "2008-05-18T15:07:08.974272"},
        {"GPS", "2008-05-18T15:07:22.974272", "2008-05-18T15:07:08.974272"},
        // Back over the year's end, before the leap second of 2008 December 31.
        {"TAI", "2009-01-01T00:00:10", "2008-12-31T23:59:37"},
        // After it.
        {"TAI", "2009-01-01T00:00:34.5", "2009-01-01T00:00:00.5"},
        {"TAI", "2009-001T00:00:34.5", "2009-01-01T00:00:00.5"},
    };
    for (const Case& c : cases) {
        OmmValues values = twin_values();
        values[static_cast<std::size_t>(OmmKeyword::time_system)] = c.time_system;
        values[static_cast<std::size_t>(OmmKeyword::epoch)] = c.epoch;
        const OmmElementSet scaled = omm_element_set(values);
        OmmValues utc = twin_values();
        utc[static_cast<std::size_t>(OmmKeyword::epoch)] = c.utc;
        const OmmElementSet reference = omm_element_set(utc);
        ASSERT_EQ(scaled.problem, "") << c.epoch;
        ASSERT_EQ(reference.problem, "") << c.utc;
        EXPECT_EQ(scaled.record.epoch_year, reference.record.epoch_year) << c.epoch;
        EXPECT_EQ(scaled.record.epoch_day, reference.record.epoch_day) << c.epoch;
    }
}
