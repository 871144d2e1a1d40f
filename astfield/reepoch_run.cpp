#include "reepoch_run.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>

#include <zlib.h>

#include "catalogue_file.hpp"
#include "catalogue_reepoch.hpp"
#include "ordered_blocks.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

namespace {

constexpr const char* PROGRAM = "astfield";

// Lines longer than this are refused rather than copied cut.
constexpr std::size_t LONGEST_LINE = 1 << 16;

// Lines per block handed to a thread.
constexpr std::size_t BLOCK_LINES = 2000;

struct Request {
    std::string in;
    std::string out;
    int year = 0;
    int month = 0;
    int day = 0;
    int threads = 0;
    std::optional<CatalogueLayout> layout;
};

int refuse(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", PROGRAM, message.c_str());
    std::fprintf(stderr, "Try '%s --help' for the options.\n", PROGRAM);
    return 2;
}

bool digits(std::string_view text)
{
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return !text.empty();
}

// The date of an --epoch value YYYY-MM-DD or YYYY-MM-DDT00:00:00 (a time of
// day other than 0h has no place in the catalogues' epoch fields); the
// message saying what is wrong otherwise.
std::string epoch_problem(std::string_view text, Request& request)
{
    const std::string_view date = text.substr(0, 10);
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' || !digits(date.substr(0, 4)) ||
        !digits(date.substr(5, 2)) || !digits(date.substr(8, 2))) {
        return "--epoch needs a date YYYY-MM-DD[THH:MM:SS], not '" + std::string(text) + "'";
    }
    if (text.size() > 10) {
        const std::string_view time = text.substr(10);
        if (time.size() != 9 || time[0] != 'T' || time[3] != ':' || time[6] != ':' || !digits(time.substr(1, 2)) ||
            !digits(time.substr(4, 2)) || !digits(time.substr(7, 2))) {
            return "--epoch needs a date YYYY-MM-DD[THH:MM:SS], not '" + std::string(text) + "'";
        }
        if (time != "T00:00:00") {
            return "--epoch '" + std::string(text) +
                   "': the catalogues' epochs are dates (0h TT); give a time of 00:00:00 or none";
        }
    }
    request.year = std::stoi(std::string(date.substr(0, 4)));
    request.month = std::stoi(std::string(date.substr(5, 2)));
    request.day = std::stoi(std::string(date.substr(8, 2)));
    if (request.year < 1900 || request.year > 2099) {
        return "--epoch '" + std::string(text) + "' lies outside the years 1900-2099 the integrator takes";
    }
    static constexpr int DAYS[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (request.year % 4 == 0 && request.year % 100 != 0) || request.year % 400 == 0;
    if (request.month < 1 || request.month > 12 || request.day < 1 || request.day > DAYS[request.month - 1] ||
        (request.month == 2 && request.day == 29 && !leap)) {
        return "--epoch '" + std::string(text) + "' is no date";
    }
    return {};
}

// The request, or the status after a message.
std::optional<Request> parse_request(const std::vector<std::string_view>& arguments, int& status)
{
    Request request;
    bool have_epoch = false;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const std::string_view option = arguments[k];
        if (option != "--catalogue" && option != "--write-catalogue" && option != "--epoch" &&
            option != "--threads" && option != "--catalogue-format") {
            status = refuse("option '" + std::string(option) + "' is not taken with --write-catalogue");
            return std::nullopt;
        }
        if (k + 1 >= arguments.size()) {
            status = refuse(std::string(option) + " needs a value");
            return std::nullopt;
        }
        const std::string_view value = arguments[++k];
        if (option == "--catalogue") {
            request.in = value;
        } else if (option == "--write-catalogue") {
            request.out = value;
        } else if (option == "--epoch") {
            const std::string problem = epoch_problem(value, request);
            if (!problem.empty()) {
                status = refuse(problem);
                return std::nullopt;
            }
            have_epoch = true;
        } else if (option == "--threads") {
            if (!digits(value) || value.size() > 4 || std::stoi(std::string(value)) < 1) {
                status = refuse("--threads needs a whole number of at least 1, not '" + std::string(value) + "'");
                return std::nullopt;
            }
            request.threads = std::stoi(std::string(value));
        } else {
            request.layout = catalogue_layout_from_name(value);
            if (!request.layout) {
                status = refuse("--catalogue-format needs astorb, mpcorb or comets, not '" + std::string(value) + "'");
                return std::nullopt;
            }
        }
    }
    if (request.in.empty() || request.out.empty() || !have_epoch) {
        status = refuse("--write-catalogue needs --catalogue IN and --epoch YYYY-MM-DD");
        return std::nullopt;
    }
    if (request.in == request.out) {
        status = refuse("--write-catalogue must name another file than --catalogue");
        return std::nullopt;
    }
    return request;
}

// Where the lines go: a plain file or a gzip stream.
class LineSink {
public:
    LineSink(const std::string& path, bool compressed) : compressed_(compressed)
    {
        if (compressed_) {
            gz_ = gzopen(path.c_str(), "wb6");
        } else {
            file_ = std::fopen(path.c_str(), "wb");
        }
    }
    ~LineSink() { close(); }
    LineSink(const LineSink&) = delete;
    LineSink& operator=(const LineSink&) = delete;

    bool is_open() const { return compressed_ ? gz_ != nullptr : file_ != nullptr; }

    void write(const std::string& text)
    {
        if (!ok_ || text.empty()) {
            return;
        }
        if (compressed_) {
            ok_ = gzwrite(gz_, text.data(), static_cast<unsigned>(text.size())) == static_cast<int>(text.size());
        } else {
            ok_ = std::fwrite(text.data(), 1, text.size(), file_) == text.size();
        }
    }

    // Closes the file; false when anything failed to reach it.
    bool close()
    {
        if (compressed_ && gz_ != nullptr) {
            ok_ = gzclose(gz_) == Z_OK && ok_;
            gz_ = nullptr;
        } else if (file_ != nullptr) {
            ok_ = std::fclose(file_) == 0 && ok_;
            file_ = nullptr;
        }
        return ok_;
    }

private:
    bool compressed_;
    gzFile gz_ = nullptr;
    std::FILE* file_ = nullptr;
    bool ok_ = true;
};

struct Result {
    std::string text;      // the lines to write, each with its line end
    std::string messages;  // one line for each refused record
    long rewritten = 0;
    long refused = 0;
    long too_long = 0;     // lines longer than LONGEST_LINE (the run fails)
};

// Progress on standard error: a bar on a terminal, else a line every few seconds.
class Progress {
public:
    explicit Progress(long total_bytes) : total_(total_bytes), terminal_(isatty(2) != 0) {}

    void update(long records, long bytes_read)
    {
        const auto now = std::chrono::steady_clock::now();
        const double since = std::chrono::duration<double>(now - last_).count();
        if (since < (terminal_ ? 0.2 : 5.0)) {
            return;
        }
        last_ = now;
        const double share = total_ > 0 ? std::min(1.0, static_cast<double>(bytes_read) / total_) : 0.0;
        if (terminal_) {
            const int filled = static_cast<int>(share * 40.0);
            std::fprintf(stderr, "\r%s: [%-40.*s] %3.0f %% %ld records", PROGRAM, filled,
                         "========================================", share * 100.0, records);
            shown_ = true;
        } else {
            std::fprintf(stderr, "%s: %ld records written (%.0f %% of the catalogue)\n", PROGRAM, records,
                         share * 100.0);
        }
        std::fflush(stderr);
    }

    void finish()
    {
        if (shown_) {
            std::fprintf(stderr, "\n");
        }
    }

private:
    long total_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace

bool asks_for_reepoch(const std::vector<std::string_view>& arguments)
{
    for (std::string_view argument : arguments) {
        if (argument == "--write-catalogue") {
            return true;
        }
    }
    return false;
}

int run_catalogue_reepoch(const std::vector<std::string_view>& arguments)
{
    int status = 0;
    const std::optional<Request> parsed = parse_request(arguments, status);
    if (!parsed) {
        return status;
    }
    const Request& request = *parsed;
    const CatalogueDiagnostics diagnostics{PROGRAM, request.in.c_str(), stderr};
    const std::optional<CatalogueFormat> format = read_catalogue_format(diagnostics, request.layout);
    if (!format) {
        return 1;
    }
    std::FILE* catalogue = open_catalogue(diagnostics);
    if (catalogue == nullptr) {
        return 1;
    }
    long total_bytes = 0;
    if (std::fseek(catalogue, 0, SEEK_END) == 0) {
        total_bytes = std::ftell(catalogue);
        std::rewind(catalogue);
    }
    const bool compressed_in = is_compressed_catalogue(request.in.c_str());
    TextCatalogueReader reader(catalogue, compressed_in, LONGEST_LINE);

    const std::string partial = request.out + ".part";
    LineSink sink(partial, is_compressed_catalogue(request.out.c_str()));
    if (!sink.is_open()) {
        std::fprintf(stderr, "%s: %s: cannot be written (%s)\n", PROGRAM, partial.c_str(), std::strerror(errno));
        std::fclose(catalogue);
        return 1;
    }

    const double target_tt = mjd_from_calendar(request.day, request.month, request.year, 0, 0, 0.0);
    const RunPlanetTables tables(target_tt, target_tt);
    const int threads = request.threads > 0 ? request.threads : default_thread_count();
    Progress progress(compressed_in ? 0 : total_bytes);
    long rewritten = 0;
    long refused = 0;
    long too_long = 0;

    auto read = [&](CatalogueLines& block) { return read_catalogue_lines(reader, block, BLOCK_LINES); };
    auto evaluate = [&](const CatalogueLines& block, Result& result) {
        result = Result{};
        for (const CatalogueLines::Line& l : block.lines) {
            const std::string_view text = block.line(l);
            if (l.full_length > l.length) {
                ++result.too_long;
                result.messages += catalogue_line_message(diagnostics, l.number,
                                                          "a line of %zu bytes, longer than the %zu copied",
                                                          l.full_length, l.length);
                continue;
            }
            const ReepochedLine line = reepoched_line(*format, l.number, text, request.year, request.month,
                                                      request.day, target_tt, tables);
            result.text += line.text;
            result.text += '\n';
            if (line.kind == ReepochedLine::Kind::rewritten) {
                ++result.rewritten;
            } else if (line.kind == ReepochedLine::Kind::refused) {
                ++result.refused;
                result.messages += catalogue_line_message(diagnostics, l.number, "%s, copied unchanged: %.*s",
                                                          line.reason.c_str(), static_cast<int>(text.size()),
                                                          text.data());
            }
        }
    };
    auto emit = [&](Result& result) {
        sink.write(result.text);
        std::fputs(result.messages.c_str(), stderr);
        rewritten += result.rewritten;
        refused += result.refused;
        too_long += result.too_long;
        progress.update(rewritten + refused, std::ftell(catalogue));
    };
    run_ordered_blocks<CatalogueLines, Result>(threads, read, evaluate, emit);
    progress.finish();

    const bool written = sink.close();
    const int read_status = close_catalogue(diagnostics, catalogue, reader, stderr);
    if (!written || read_status != 0 || too_long > 0) {
        if (!written) {
            std::fprintf(stderr, "%s: %s: could not be written in full\n", PROGRAM, partial.c_str());
        }
        std::remove(partial.c_str());
        std::fprintf(stderr, "%s: %s not written\n", PROGRAM, request.out.c_str());
        return 1;
    }
    if (std::rename(partial.c_str(), request.out.c_str()) != 0) {
        std::fprintf(stderr, "%s: %s: cannot be put in place (%s)\n", PROGRAM, request.out.c_str(),
                     std::strerror(errno));
        std::remove(partial.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: %s: %ld records written at epoch %04d-%02d-%02d, %ld refused (copied unchanged)\n",
                 PROGRAM, request.out.c_str(), rewritten, request.year, request.month, request.day, refused);
    return 0;
}

}  // namespace fieldsearch
