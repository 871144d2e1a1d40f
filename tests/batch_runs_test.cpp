// A list of fields searched in one run gives, field by field, exactly what a
// run on each field alone prints, whatever the number of threads.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "program_run.hpp"
#include "scratch_directory.hpp"

namespace {

ProgramRun run(const ScratchDirectory& scratch, const char* program, const std::string& arguments)
{
    return run_program(scratch.path().string() + "/", SAMPLE_DATA_DIR, program, arguments);
}

struct Field {
    std::string id;
    std::string time;
    std::string ra_deg;
    std::string dec_deg;
    std::string side_arcmin;
};

// The list as a file with its columns in another order than the usual and a
// column the programs do not know; ids holding a comma or a quote are quoted.
std::string fields_file(const ScratchDirectory& scratch, const std::vector<Field>& fields)
{
    std::string text = "side_arcmin,ra_deg,note,id,dec_deg,time\n";
    for (const Field& f : fields) {
        std::string id = f.id;
        if (id.find_first_of(",\"") != std::string::npos) {
            std::string quoted = "\"";
            for (char c : id) {
                quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            }
            id = quoted + "\"";
        }
        text += f.side_arcmin + "," + f.ra_deg + ",ignored," + id + "," + f.dec_deg + "," + f.time + "\n";
    }
    const std::string path = scratch.file("fields.csv");
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string csv_id(const std::string& id)
{
    if (id.find_first_of(",\"") == std::string::npos) {
        return id;
    }
    std::string quoted = "\"";
    for (char c : id) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

// Batch against single runs, text and CSV, on 1, 2 and 3 threads.
void expect_batch_equals_single_runs(const char* program, const std::vector<Field>& fields)
{
    const ScratchDirectory scratch;
    const std::string list = fields_file(scratch, fields);
    std::string text;
    std::string csv;
    std::size_t rows = 0;
    for (const Field& f : fields) {
        const std::string options =
            "--time " + f.time + " --centre " + f.ra_deg + " " + f.dec_deg + " --side " + f.side_arcmin;
        const ProgramRun single = run(scratch, program, options + " --threads 1");
        ASSERT_EQ(single.status, 0) << single.err;
        text += single.out;
        const ProgramRun single_csv = run(scratch, program, options + " --format csv --threads 1");
        std::istringstream lines(single_csv.out);
        std::string line;
        std::getline(lines, line);
        if (csv.empty()) {
            csv = "field," + line + "\n";
        }
        while (std::getline(lines, line)) {
            csv += csv_id(f.id) + "," + line + "\n";
            ++rows;
        }
    }
    ASSERT_GT(rows, 3u) << "the fields should hold objects";
    for (const char* threads : {"1", "2", "3"}) {
        const ProgramRun batch = run(scratch, program, "--fields '" + list + "' --threads " + threads);
        EXPECT_EQ(batch.status, 0) << batch.err;
        EXPECT_EQ(batch.out, text) << program << " with " << threads << " threads";
        const ProgramRun batch_csv = run(scratch, program, "--fields '" + list + "' --format csv --threads " + threads);
        EXPECT_EQ(batch_csv.out, csv) << program << " with " << threads << " threads";
    }
}

}  // namespace

// Fields that share an instant, fields at other instants, fields across 0h,
// one at the pole, one holding nothing; ids that need quoting in CSV.
TEST(BatchRuns, AsteroidFieldsGiveWhatSingleRunsGive)
{
    expect_batch_equals_single_runs(
        ASTFIELD_PROGRAM_PATH, {
                                   {"a", "2008-05-20T05:14:00", "0.0416666666666667", "0.5", "120"},
                                   {"across 0h", "2008-05-20T05:14:00", "359.8", "0.2", "90"},
                                   {"later, east", "2008-05-20T07:44:30", "0.3", "0.9", "60"},
                                   {"pole \"N\"", "2008-05-20T05:14:00", "10.0", "89.9", "300"},
                                   {"empty", "2008-05-21T01:00:00", "180.0", "-30.0", "30"},
                                   {"a again", "2008-05-20T05:14:00", "0.1", "0.4", "45"},
                               });
}

TEST(BatchRuns, SatelliteFieldsGiveWhatSingleRunsGive)
{
    expect_batch_equals_single_runs(SATFIELD_PROGRAM_PATH,
                                    {
                                        {"f1", "2008-05-20T20:54:00", "172.0", "1.2666666666666666", "300"},
                                        {"f2", "2008-05-20T20:54:00", "171.0", "1.9", "120"},
                                        {"f3", "2008-05-20T20:55:00", "171.5", "1.0", "600"},
                                        {"0h", "2008-05-20T20:55:00", "359.9", "0.0", "3000"},
                                        {"pole", "2008-05-20T20:54:00", "0.0", "90.0", "1200"},
                                        {"f1 later", "2008-05-20T21:10:00", "172.0", "1.2666666666666666", "300"},
                                    });
}

// A bad list is refused before any search, naming the line (the header is
// line 1): nothing on standard output, exit status 2.
TEST(BatchRuns, RefusesABadListNamingTheLine)
{
    const ScratchDirectory scratch;
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"id,time,ra_deg,dec_deg\n", "no column 'side_arcmin'"},
        {"id,time,ra_deg,dec_deg,side_arcmin\na,2008-05-20T05:14:00,0,0,60\nb,2008-02-30T05:14:00,0,0,60\n",
         "line 3: time"},
        {"id,time,ra_deg,dec_deg,side_arcmin\na,2008-05-20T05:14:00,12h,0,60\n", "line 2: ra_deg"},
        {"id,time,ra_deg,dec_deg,side_arcmin\n\na,2008-05-20T05:14:00,0,91,60\n", "line 3: dec_deg"},
        {"id,time,ra_deg,dec_deg,side_arcmin\na,2008-05-20T05:14:00,0,0,0\n", "line 2: side_arcmin"},
        {"id,time,ra_deg,dec_deg,side_arcmin\na,2008-05-20T05:14:00,0,0\n", "line 2:"},
        {"id,time,ra_deg,dec_deg,side_arcmin\n", "holds no field"},
        {"", "empty"},
    };
    for (const Case& c : cases) {
        const std::string path = scratch.file("bad.csv");
        std::ofstream(path, std::ios::binary) << c.text;
        for (const char* program : {ASTFIELD_PROGRAM_PATH, SATFIELD_PROGRAM_PATH}) {
            const ProgramRun r = run(scratch, program, "--fields '" + path + "'");
            EXPECT_EQ(r.status, 2) << c.text;
            EXPECT_EQ(r.out, "") << c.text;
            EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        }
    }
    const ProgramRun missing = run(scratch, ASTFIELD_PROGRAM_PATH, "--fields no_such_list.csv");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open no_such_list.csv"), std::string::npos);
}
