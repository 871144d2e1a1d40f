// Whole-program throughput of astfield and satfield on full-size catalogues.
// Each iteration runs the built program as a child process on the catalogue
// (its compiled-in scenario, `--catalogue PATH`, output to /dev/null), then
// `wc -l PATH` the same way: the program's wall time is the iteration time,
// and the counters give records per second, the program's peak resident
// memory and its time as a multiple of the plain read of the file.
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
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// One finished run of a child process.
struct ChildRun {
    bool ok;              // started, and exited with status 0
    double seconds;       // wall time from the start to the end of the wait, steady clock
    long peak_rss_kib;    // the child's peak resident set size (ru_maxrss)
};

// Runs `arguments` (the program first; looked up on PATH when it holds no
// slash) with standard output and standard error sent to /dev/null, and
// waits for it. The child is started with fork and exec rather than
// posix_spawn: a vfork-style start makes the exec inherit this process's own
// peak resident size into the child's ru_maxrss, so that a program smaller
// than the benchmark would be reported at the benchmark's size.
ChildRun run_child(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    ChildRun run{false, 0.0, 0};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        return run;
    }
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int null_device = open("/dev/null", O_WRONLY);
        if (null_device < 0 || dup2(null_device, STDOUT_FILENO) < 0 || dup2(null_device, STDERR_FILENO) < 0) {
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

    double program_seconds = 0.0;
    double read_seconds = 0.0;
    long peak_rss_kib = 0;
    long runs = 0;
    for (auto _ : state) {
        const ChildRun run = run_child(program);
        const ChildRun read = run_child(plain_read);
        if (!run.ok || !read.ok) {
            state.SkipWithError("the program or wc -l failed on the catalogue");
            break;
        }
        state.SetIterationTime(run.seconds);
        program_seconds += run.seconds;
        read_seconds += read.seconds;
        peak_rss_kib = std::max(peak_rss_kib, run.peak_rss_kib);
        ++runs;
    }
    if (runs == 0) {
        return;
    }
    state.counters["records"] = records;
    state.counters["records_per_s"] = records * static_cast<double>(runs) / program_seconds;
    state.counters["peak_RSS_MB"] = static_cast<double>(peak_rss_kib) / 1024.0;
    state.counters["plain_read_ms"] = 1000.0 * read_seconds / static_cast<double>(runs);
    state.counters["x_plain_read"] = program_seconds / read_seconds;
}

BENCHMARK_CAPTURE(program_throughput, astfield, ASTFIELD_CASE)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(program_throughput, satfield, SATFIELD_CASE)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
