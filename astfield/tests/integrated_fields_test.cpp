// Fields searched on integrated orbits: the rule-outs widened by the
// perturbation bound lose no record that integrating every record finds.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "asteroid_search.hpp"
#include "search_plan.hpp"
#include "time_scales.hpp"

using namespace fieldsearch;

namespace {

std::string output_of(const SearchPlan& plan, AsteroidScan scan)
{
    const std::string path = std::string(SAMPLE_DATA_DIR) + "/astorb.dat";
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(search_asteroid_fields(plan, {path.c_str(), OutputFormat::csv, out, err}, scan, std::nullopt), 0);
    std::string text;
    std::rewind(out);
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, out)) > 0;) {
        text.append(block, n);
    }
    std::fclose(out);
    std::fclose(err);
    return text;
}

std::size_t lines_of(const std::string& text)
{
    std::size_t n = 0;
    for (char c : text) {
        n += c == '\n' ? 1 : 0;
    }
    return n;
}

struct Field {
    double days_from_sample;  // after the sample's instant, 2008-05-20 05:14 UTC (six days after the epoch)
    double ra_deg;
    double dec_deg;
    double half_side_deg;
    double exposure_s;
};

SearchPlan integrated_plan(const std::vector<Field>& fields)
{
    SearchPlan plan;
    plan.propagation = Propagation::n_body;
    plan.threads = 2;
    const Scenario sample = asteroid_scenario();
    const double start = mjd_from_calendar_instant(sample.instant);
    for (const Field& f : fields) {
        Scenario s = sample;
        s.instant = calendar_instant_from_mjd(start + f.days_from_sample);
        s.centre = field_centre_from_degrees(f.ra_deg, f.dec_deg);
        s.half_side_arcmin = 60.0 * f.half_side_deg;
        s.mag_limit = 30.0;
        plan.fields.push_back(field_search(s, f.exposure_s));
    }
    plan.listed = plan.fields.size() > 1;
    return plan;
}

}  // namespace

// One square at a time a year, three years and two years back from the
// epoch, wide enough to hold dozens of the sample's orbits; a night of
// fields with and without exposures, a year on and near the epoch; each
// scan fast and straightforward.
TEST(IntegratedFields, FastScanListsWhatIntegratingEveryRecordLists)
{
    struct Case {
        const char* what;
        std::vector<Field> fields;
        std::size_t fewest_rows;
    };
    const std::vector<Case> cases = {
        {"a year on", {{365.0, 20.0, 10.0, 12.0, 0.0}}, 20},
        {"three years on", {{1096.0, 250.0, -20.0, 15.0, 0.0}}, 20},
        {"two years back", {{-730.0, 120.0, 20.0, 15.0, 0.0}}, 20},
        {"a night", {{365.0, 20.0, 10.0, 4.0, 0.0}, {365.2, 22.0, 9.0, 4.0, 600.0}, {365.3, 30.0, 12.0, 6.0, 0.0}}, 10},
        // Near the epoch the class bounds are small enough that a night
        // integrates without the record's own bound.
        {"a night near the epoch",
         {{5.0, 20.0, 10.0, 4.0, 0.0}, {5.2, 22.0, 9.0, 4.0, 600.0}, {5.3, 30.0, 12.0, 6.0, 0.0}},
         10},
    };
    for (const Case& c : cases) {
        const SearchPlan plan = integrated_plan(c.fields);
        const std::string fast = output_of(plan, AsteroidScan::fast);
        const std::string every = output_of(plan, AsteroidScan::straightforward);
        EXPECT_EQ(fast, every) << c.what;
        EXPECT_GE(lines_of(every), c.fewest_rows + 1) << c.what;
    }
}
