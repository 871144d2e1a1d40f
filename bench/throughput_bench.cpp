// Whole-program throughput of astfield and satfield on full-size catalogues.
// Each iteration runs the built program as a child process on the catalogue
// (its compiled-in scenario, `--catalogue PATH`, output to /dev/null), then
// `wc -l PATH` the same way: the program's wall time is the iteration time,
// and the counters give records per second, the program's peak resident
// memory and its time as a multiple of the plain read of the file.
//
// A night of 1,000 fields is measured the same way: one run with --fields
// against single-field runs of a sample of its fields, scaled to the night.
//
// The catalogues are named by FIELDSEARCH_ASTORB_FULL and
// FIELDSEARCH_TLE_FULL; when a variable is unset, the catalogue is generated
// once into the build directory by the sample generators and kept there.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// One finished run of a child process.
struct ChildRun {
    bool ok;              // started, and exited with status 0
    double seconds;       // wall time from the start to the end of the wait, steady clock
    long peak_rss_kib;    // the child's peak resident set size (ru_maxrss)
    double cpu_seconds;   // the child's user and system time, seconds
};

// Runs `arguments` (the program first; looked up on PATH when it holds no
// slash) with standard output sent to `output` (created or truncated) and
// standard error to /dev/null, and waits for it. The child is started with
// fork and exec rather than posix_spawn: a vfork-style start makes the exec
// inherit this process's own peak resident size into the child's ru_maxrss,
// so that a program smaller than the benchmark would be reported at the
// benchmark's size.
ChildRun run_child(const std::vector<std::string>& arguments, const std::string& output = "/dev/null")
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    ChildRun run{false, 0.0, 0, 0.0};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        return run;
    }
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int output_file = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null_device = open("/dev/null", O_WRONLY);
        if (output_file < 0 || null_device < 0 || dup2(output_file, STDOUT_FILENO) < 0 ||
            dup2(null_device, STDERR_FILENO) < 0) {
            _exit(127);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    pid_t waited = 0;
    do {
        waited = wait4(pid, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    const auto end = std::chrono::steady_clock::now();

    run.ok = waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.seconds = std::chrono::duration<double>(end - start).count();
    run.peak_rss_kib = usage.ru_maxrss;
    run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    return run;
}

// Number of line feeds in the file at `path`, read in fixed blocks; -1 when
// it cannot be read. Reading it also brings the file into the page cache.
long line_count(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return -1;
    }
    std::vector<char> block(1 << 16);
    long lines = 0;
    std::size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), file)) > 0) {
        lines += std::count(block.data(), block.data() + got, '\n');
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? -1 : lines;
}

// One program and the full-size catalogue it is measured on.
struct ThroughputCase {
    const char* program;       // path of the built program
    const char* variable;      // environment variable that may name the catalogue
    const char* file_name;     // the generated catalogue, in the build directory
    const char* generator;     // path of the generator: GENERATOR OUTPUT COUNT
    long count;                // records it is asked for
    long lines_per_record;     // 1 for an orbit record, 3 for an element set
};

constexpr ThroughputCase ASTFIELD_CASE{ASTFIELD_PATH, "FIELDSEARCH_ASTORB_FULL", "astorb_full_1400000.dat",
                                       MAKE_ASTORB_SAMPLE_PATH, 1400000, 1};
constexpr ThroughputCase SATFIELD_CASE{SATFIELD_PATH, "FIELDSEARCH_TLE_FULL", "tle_full_60000.tle",
                                       MAKE_TLE_SAMPLE_PATH, 60000, 3};

// What the counted runs of a benchmark measured: how many, their wall and
// CPU time summed, the largest peak memory.
struct MeasuredRuns {
    long runs = 0;
    double seconds = 0.0;
    double cpu_seconds = 0.0;
    long peak_rss_kib = 0;
};

// Runs `program` once per iteration of `state`, the run's wall time the
// iteration's; after each run that succeeded, `after()` checks it or
// measures beside it. At the first failure the benchmark stops with
// `failure`.
template <typename After>
MeasuredRuns measured_runs(benchmark::State& state, const std::vector<std::string>& program, const char* failure,
                           After after)
{
    MeasuredRuns measured;
    for (auto _ : state) {
        const ChildRun run = run_child(program);
        if (!run.ok || !after()) {
            state.SkipWithError(failure);
            break;
        }
        state.SetIterationTime(run.seconds);
        measured.seconds += run.seconds;
        measured.cpu_seconds += run.cpu_seconds;
        measured.peak_rss_kib = std::max(measured.peak_rss_kib, run.peak_rss_kib);
        ++measured.runs;
    }
    return measured;
}

// The catalogue of `c`: the path its environment variable names, else the
// generated file in the build directory, made now if it is not there yet
// (written under a temporary name first, so that an interrupted run leaves
// no partial catalogue behind). Empty when it cannot be made.
std::string full_catalogue(const ThroughputCase& c)
{
    if (const char* named = std::getenv(c.variable); named != nullptr && *named != '\0') {
        return named;
    }
    const std::string path = std::string(BENCH_DATA_DIR) + "/" + c.file_name;
    if (std::FILE* existing = std::fopen(path.c_str(), "rb")) {
        std::fclose(existing);
        return path;
    }
    std::fprintf(stderr, "generating %s (%ld records), once...\n", path.c_str(), c.count);
    const std::string partial = path + ".part";
    if (!run_child({c.generator, partial, std::to_string(c.count)}).ok ||
        std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        return {};
    }
    return path;
}

// The machine's load average over the last minute (other work running
// beside the benchmark); -1 when the system does not tell.
double load_average()
{
    double load = -1.0;
    return getloadavg(&load, 1) == 1 ? load : -1.0;
}

void program_throughput(benchmark::State& state, const ThroughputCase& c)
{
    const std::string catalogue = full_catalogue(c);
    if (catalogue.empty()) {
        state.SkipWithError("the full-size catalogue could not be generated");
        return;
    }
    const long lines = line_count(catalogue);
    if (lines <= 0) {
        state.SkipWithError("the catalogue cannot be read or is empty");
        return;
    }
    const double records = static_cast<double>(lines / c.lines_per_record);
    const std::vector<std::string> program{c.program, "--catalogue", catalogue};
    const std::vector<std::string> plain_read{"wc", "-l", catalogue};

    // A first run of each, not counted, leaves the file and the programs in
    // the page cache for every counted run.
    if (!run_child(program).ok || !run_child(plain_read).ok) {
        state.SkipWithError("the program or wc -l failed on the catalogue");
        return;
    }

    double read_seconds = 0.0;
    const MeasuredRuns m = measured_runs(state, program, "the program or wc -l failed on the catalogue", [&] {
        const ChildRun read = run_child(plain_read);
        read_seconds += read.seconds;
        return read.ok;
    });
    if (m.runs == 0) {
        return;
    }
    state.counters["records"] = records;
    state.counters["records_per_s"] = records * static_cast<double>(m.runs) / m.seconds;
    state.counters["peak_RSS_MB"] = static_cast<double>(m.peak_rss_kib) / 1024.0;
    state.counters["plain_read_ms"] = 1000.0 * read_seconds / static_cast<double>(m.runs);
    state.counters["x_plain_read"] = m.seconds / read_seconds;
    state.counters["load_1min"] = load_average();
}

BENCHMARK_CAPTURE(program_throughput, astfield, ASTFIELD_CASE)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(program_throughput, satfield, SATFIELD_CASE)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// A night of fields: one run of a program with --fields over 1,000 fields,
// against the same fields searched one run each.

// One generated field of a night.
struct NightField {
    std::string id;
    std::string time;        // UTC, YYYY-MM-DDTHH:MM:SS
    std::string ra_deg;      // the centre, decimal degrees as written in the list
    std::string dec_deg;
    std::string side_arcmin;
    std::string exposure_s;  // the exposure's length, seconds
};

// Where the centres of a night's fields lie.
enum class Sky {
    ecliptic,  // within 15 degrees of the ecliptic, at every ecliptic longitude
    whole,     // uniformly over the whole sphere
};

constexpr int NIGHT_FIELDS = 1000;
constexpr int NIGHT_INSTANTS = 100;             // 10 fields at each
constexpr int NIGHT_MINUTES_BETWEEN_INSTANTS = 6;  // 100 instants over ten hours
constexpr int NIGHT_START_HOUR_UTC = 18;        // 2008 May 20, 18:00 UTC: both catalogues' epochs are days before
constexpr double PI = 3.14159265358979323846;
constexpr double OBLIQUITY_J2000_DEG = 23.4392911;

// A fixed sequence of uniform numbers in [0, 1) (splitmix64), the same on
// every library, so that every build searches the same night.
struct UniformSequence {
    unsigned long long state;
    double next()
    {
        unsigned long long z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * 0x1.0p-53;
    }
    double between(double low, double high) { return low + (high - low) * next(); }
};

// The UTC text of the night's instant `k` (0 to 99), minutes past the start
// carried into the next day.
std::string night_instant_text(int k)
{
    const int minutes = NIGHT_START_HOUR_UTC * 60 + k * NIGHT_MINUTES_BETWEEN_INSTANTS;
    char text[32];
    std::snprintf(text, sizeof text, "2008-05-%02dT%02d:%02d:00", 20 + minutes / 1440, minutes / 60 % 24, minutes % 60);
    return text;
}

// The 1,000 fields of the night over `sky`, ten at each of 100 instants six
// minutes apart from 2008 May 20, 18:00 UTC; sides 60 to 240 arcminutes and
// exposures 30 to 300 s, drawn with a fixed seed.
std::vector<NightField> night_fields(Sky sky)
{
    UniformSequence random{sky == Sky::ecliptic ? 0x20080520a57ULL : 0x20080520541ULL};
    const double obliquity = OBLIQUITY_J2000_DEG * PI / 180.0;
    std::vector<NightField> fields;
    for (int i = 0; i < NIGHT_FIELDS; ++i) {
        double ra = 0.0;
        double dec = 0.0;
        if (sky == Sky::ecliptic) {
            // Ecliptic longitude and latitude to right ascension and declination (J2000 obliquity).
            const double longitude = random.between(0.0, 2.0 * PI);
            const double latitude = random.between(-15.0, 15.0) * PI / 180.0;
            dec = std::asin(std::sin(latitude) * std::cos(obliquity) +
                            std::cos(latitude) * std::sin(obliquity) * std::sin(longitude));
            ra = std::atan2(std::sin(longitude) * std::cos(obliquity) - std::tan(latitude) * std::sin(obliquity),
                            std::cos(longitude));
        } else {
            ra = random.between(0.0, 2.0 * PI);
            dec = std::asin(random.between(-1.0, 1.0));
        }
        ra = std::fmod(ra * 180.0 / PI + 360.0, 360.0);
        dec *= 180.0 / PI;
        char id[16];
        char ra_text[32];
        char dec_text[32];
        char side_text[32];
        char exposure_text[32];
        std::snprintf(id, sizeof id, "F%04d", i + 1);
        std::snprintf(ra_text, sizeof ra_text, "%.6f", ra);
        std::snprintf(dec_text, sizeof dec_text, "%.6f", dec);
        std::snprintf(side_text, sizeof side_text, "%.1f", random.between(60.0, 240.0));
        std::snprintf(exposure_text, sizeof exposure_text, "%.0f", random.between(30.0, 300.0));
        fields.push_back({id, night_instant_text(i / (NIGHT_FIELDS / NIGHT_INSTANTS)), ra_text, dec_text, side_text,
                          exposure_text});
    }
    return fields;
}

// Writes `fields` as a --fields list at `path` (with the exposure_s column
// when `exposures`); false when it cannot be written.
bool write_field_list(const std::string& path, const std::vector<NightField>& fields, bool exposures)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    std::fprintf(file, exposures ? "id,time,ra_deg,dec_deg,side_arcmin,exposure_s\n"
                                 : "id,time,ra_deg,dec_deg,side_arcmin\n");
    for (const NightField& f : fields) {
        std::fprintf(file, "%s,%s,%s,%s,%s", f.id.c_str(), f.time.c_str(), f.ra_deg.c_str(), f.dec_deg.c_str(),
                     f.side_arcmin.c_str());
        std::fprintf(file, exposures ? ",%s\n" : "\n", f.exposure_s.c_str());
    }
    return std::fclose(file) == 0;
}

// One night to measure: a program, its catalogue, its sky and whether the
// fields are exposures.
struct NightCase {
    const ThroughputCase* program;
    Sky sky;
    bool exposures;
    const char* list_name;  // the field list, written into the build directory
    const char* propagation = nullptr;  // astfield's --propagation; none: not given
};

constexpr NightCase ASTFIELD_NIGHT{&ASTFIELD_CASE, Sky::ecliptic, false, "night_astfield.csv"};
constexpr NightCase ASTFIELD_NIGHT_NBODY{&ASTFIELD_CASE, Sky::ecliptic, false, "night_astfield.csv", "n-body"};
constexpr NightCase ASTFIELD_NIGHT_EXPOSURES{&ASTFIELD_CASE, Sky::ecliptic, true, "night_astfield_exposures.csv"};
constexpr NightCase SATFIELD_NIGHT{&SATFIELD_CASE, Sky::whole, false, "night_satfield.csv"};
constexpr NightCase SATFIELD_NIGHT_EXPOSURES{&SATFIELD_CASE, Sky::whole, true, "night_satfield_exposures.csv"};

// The path of the field list of `c`, written on the first call of this
// process (the fields are fixed, so a list from an earlier build is simply
// written again); empty when it cannot be written.
std::string night_field_list(const NightCase& c)
{
    const std::string path = std::string(BENCH_DATA_DIR) + "/" + c.list_name;
    static std::vector<std::string> written;
    if (std::find(written.begin(), written.end(), path) == written.end()) {
        if (!write_field_list(path, night_fields(c.sky), c.exposures)) {
            return {};
        }
        written.push_back(path);
    }
    return path;
}

// Mean wall time of the night of each list at two threads, seconds, once
// measured in this process: the separate runs compare with it.
std::vector<std::pair<std::string, double>>& night_seconds_by_list()
{
    static std::vector<std::pair<std::string, double>> seconds;
    return seconds;
}

void remember_night_seconds(const std::string& list, double seconds)
{
    for (auto& [name, value] : night_seconds_by_list()) {
        if (name == list) {
            value = seconds;
            return;
        }
    }
    night_seconds_by_list().emplace_back(list, seconds);
}

double remembered_night_seconds(const std::string& list)
{
    for (const auto& [name, value] : night_seconds_by_list()) {
        if (name == list) {
            return value;
        }
    }
    return 0.0;
}

// Number of lines of the report of one run of `program`, written to a file
// in the build directory and removed; -1 when the run fails.
long output_lines(const std::vector<std::string>& program)
{
    const std::string output = std::string(BENCH_DATA_DIR) + "/night_output.txt";
    const bool ok = run_child(program, output).ok;
    const long lines = ok ? line_count(output) : -1;
    std::remove(output.c_str());
    return lines;
}

// The night of `c` in one run: `program --catalogue PATH --fields LIST
// --threads N`, the text report to /dev/null. Counters: fields per second,
// the program's CPU time per run (user and system; on a loaded machine the
// wall time alone overstates the program's cost), its peak memory, the lines
// of its report (a header for each field and a line per object found) and
// the machine's load average.
void night_run(benchmark::State& state, const NightCase& c, int threads)
{
    const std::string catalogue = full_catalogue(*c.program);
    const std::string list = night_field_list(c);
    if (catalogue.empty() || list.empty()) {
        state.SkipWithError("the catalogue or the field list could not be written");
        return;
    }
    std::vector<std::string> program{c.program->program, "--catalogue", catalogue,
                                     "--fields",         list,          "--threads", std::to_string(threads)};
    if (c.propagation != nullptr) {
        program.insert(program.end(), {"--propagation", c.propagation});
    }
    // The first run, not counted, warms the page cache and counts the output.
    const long lines = output_lines(program);
    if (lines < 0) {
        state.SkipWithError("the program failed on the field list");
        return;
    }
    const MeasuredRuns m = measured_runs(state, program, "the program failed on the field list", [] { return true; });
    if (m.runs == 0) {
        return;
    }
    if (threads == 2) {
        remember_night_seconds(list, m.seconds / static_cast<double>(m.runs));
    }
    state.counters["fields_per_s"] = NIGHT_FIELDS * static_cast<double>(m.runs) / m.seconds;
    state.counters["cpu_s"] = m.cpu_seconds / static_cast<double>(m.runs);
    state.counters["peak_RSS_MB"] = static_cast<double>(m.peak_rss_kib) / 1024.0;
    state.counters["report_lines"] = static_cast<double>(lines);
    state.counters["load_1min"] = load_average();
}

// Ten of the night's fields (every hundredth, one per hour of the night),
// each searched by a run of its own through --time, --centre and --side (and
// --exposure), at two threads. The time column is the wall time per run;
// `total_1000_s` scales it to the whole night's 1,000 runs and
// `x_night_faster` is that total over `night_s`, the one-run night at two
// threads (measured just before, or now when the night was filtered out);
// `cpu_per_run_ms` is a run's user and system time.
void separate_runs(benchmark::State& state, const NightCase& c)
{
    constexpr int SAMPLE = 10;
    const std::string catalogue = full_catalogue(*c.program);
    const std::string list = night_field_list(c);
    if (catalogue.empty() || list.empty()) {
        state.SkipWithError("the catalogue or the field list could not be written");
        return;
    }
    const std::vector<NightField> fields = night_fields(c.sky);
    std::vector<std::vector<std::string>> programs;
    for (int i = 0; i < SAMPLE; ++i) {
        const NightField& f = fields[static_cast<std::size_t>(i * (NIGHT_FIELDS / SAMPLE))];
        std::vector<std::string> program{c.program->program, "--catalogue", catalogue, "--time",    f.time,
                                         "--centre",         f.ra_deg,      f.dec_deg, "--side",    f.side_arcmin,
                                         "--threads",        "2"};
        if (c.exposures) {
            program.insert(program.end(), {"--exposure", f.exposure_s});
        }
        programs.push_back(std::move(program));
    }
    const std::vector<std::string> night{c.program->program, "--catalogue", catalogue, "--fields", list,
                                         "--threads",        "2"};
    if (!run_child(programs.front()).ok) {
        state.SkipWithError("the program failed on a single field");
        return;
    }
    if (remembered_night_seconds(list) <= 0.0) {
        const ChildRun run = run_child(night);
        if (!run.ok) {
            state.SkipWithError("the program failed on the field list");
            return;
        }
        remember_night_seconds(list, run.seconds);
    }

    double seconds = 0.0;
    double cpu_seconds = 0.0;
    long runs = 0;
    for (auto _ : state) {
        double sample_seconds = 0.0;
        for (const std::vector<std::string>& program : programs) {
            const ChildRun run = run_child(program);
            if (!run.ok) {
                state.SkipWithError("the program failed on a single field");
                return;
            }
            sample_seconds += run.seconds;
            cpu_seconds += run.cpu_seconds;
        }
        state.SetIterationTime(sample_seconds / SAMPLE);
        seconds += sample_seconds;
        runs += SAMPLE;
    }
    if (runs == 0) {
        return;
    }
    const double per_run = seconds / static_cast<double>(runs);
    state.counters["total_1000_s"] = per_run * NIGHT_FIELDS;
    state.counters["cpu_per_run_ms"] = 1000.0 * cpu_seconds / static_cast<double>(runs);
    state.counters["night_s"] = remembered_night_seconds(list);
    state.counters["x_night_faster"] = per_run * NIGHT_FIELDS / remembered_night_seconds(list);
    state.counters["load_1min"] = load_average();
}

// One field of the compiled-in scenario a year after the catalogue's epoch
// (2009-05-20), at two threads, with `propagation`: wall and CPU time per
// run, peak memory, the rows found and the load average.
void year_field(benchmark::State& state, const char* propagation)
{
    const std::string catalogue = full_catalogue(ASTFIELD_CASE);
    if (catalogue.empty()) {
        state.SkipWithError("the full-size catalogue could not be generated");
        return;
    }
    const std::vector<std::string> program{ASTFIELD_PATH, "--catalogue",     catalogue,   "--time",
                                           "2009-05-20T05:14:00", "--propagation", propagation, "--threads", "2"};
    const long lines = output_lines(program);
    if (lines < 0) {
        state.SkipWithError("the program failed on the catalogue");
        return;
    }
    const MeasuredRuns m = measured_runs(state, program, "the program failed on the catalogue", [] { return true; });
    if (m.runs == 0) {
        return;
    }
    state.counters["cpu_s"] = m.cpu_seconds / static_cast<double>(m.runs);
    state.counters["peak_RSS_MB"] = static_cast<double>(m.peak_rss_kib) / 1024.0;
    state.counters["report_lines"] = static_cast<double>(lines);
    state.counters["load_1min"] = load_average();
}

// The full-size catalogue written a year on (from its epoch, 2008-05-14, to
// 2009-05-20) at two threads: wall and CPU time, peak memory, records a
// second and the load average. The catalogue written goes into the build
// directory and is removed after each run.
void catalogue_reepoch(benchmark::State& state)
{
    const std::string catalogue = full_catalogue(ASTFIELD_CASE);
    const long lines = catalogue.empty() ? -1 : line_count(catalogue);
    if (lines <= 0) {
        state.SkipWithError("the full-size catalogue could not be generated or read");
        return;
    }
    const std::string written = std::string(BENCH_DATA_DIR) + "/astorb_full_reepoched.dat";
    const std::vector<std::string> program{ASTFIELD_PATH, "--catalogue", catalogue, "--write-catalogue",
                                           written,       "--epoch",     "2009-05-20", "--threads", "2"};
    const MeasuredRuns m =
        measured_runs(state, program, "the program failed on the catalogue or wrote another number of lines", [&] {
            const long written_lines = line_count(written);
            std::remove(written.c_str());
            return written_lines == lines;
        });
    std::remove(written.c_str());
    if (m.runs == 0) {
        return;
    }
    state.counters["records"] = static_cast<double>(lines);
    state.counters["records_per_s"] = static_cast<double>(lines) * static_cast<double>(m.runs) / m.seconds;
    state.counters["cpu_s"] = m.cpu_seconds / static_cast<double>(m.runs);
    state.counters["peak_RSS_MB"] = static_cast<double>(m.peak_rss_kib) / 1024.0;
    state.counters["load_1min"] = load_average();
}

BENCHMARK_CAPTURE(year_field, two_body, "two-body")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(year_field, n_body, "n-body")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(catalogue_reepoch)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(night_run, astfield_nbody_threads2, ASTFIELD_NIGHT_NBODY, 2)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(night_run, astfield_threads2, ASTFIELD_NIGHT, 2)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(night_run, astfield_threads1, ASTFIELD_NIGHT, 1)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(separate_runs, astfield, ASTFIELD_NIGHT)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(night_run, astfield_exposures_threads2, ASTFIELD_NIGHT_EXPOSURES, 2)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(night_run, astfield_exposures_threads1, ASTFIELD_NIGHT_EXPOSURES, 1)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(separate_runs, astfield_exposures, ASTFIELD_NIGHT_EXPOSURES)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(night_run, satfield_threads2, SATFIELD_NIGHT, 2)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(night_run, satfield_threads1, SATFIELD_NIGHT, 1)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(separate_runs, satfield, SATFIELD_NIGHT)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
// A satellite exposure night took over two minutes a run: one counted run.
BENCHMARK_CAPTURE(night_run, satfield_exposures_threads2, SATFIELD_NIGHT_EXPOSURES, 2)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(night_run, satfield_exposures_threads1, SATFIELD_NIGHT_EXPOSURES, 1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(separate_runs, satfield_exposures, SATFIELD_NIGHT_EXPOSURES)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
