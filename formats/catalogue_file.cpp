#include "catalogue_file.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace fieldsearch {

namespace {

// The message `prefix` then the printf-style text, with a line end.
std::string message_line(std::string message, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n > 0) {
        const std::size_t at = message.size();
        message.resize(at + static_cast<std::size_t>(n) + 1);
        std::vsnprintf(message.data() + at, static_cast<std::size_t>(n) + 1, format, args);
        message.resize(at + static_cast<std::size_t>(n));
    }
    message += '\n';
    return message;
}

}  // namespace

std::string catalogue_line_message(const CatalogueDiagnostics& d, long line_number, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string message =
        message_line(std::string(d.program) + ": " + d.path + ":" + std::to_string(line_number) + ": ", format, args);
    va_end(args);
    return message;
}

std::string catalogue_record_message(const CatalogueDiagnostics& d, long record_number, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string message = message_line(
        std::string(d.program) + ": " + d.path + ": record " + std::to_string(record_number) + ": ", format, args);
    va_end(args);
    return message;
}

std::FILE* open_catalogue(const CatalogueDiagnostics& d)
{
    errno = 0;
    std::FILE* file = std::fopen(d.path, "rb");
    if (file == nullptr) {
        std::fprintf(d.err, "%s: cannot open %s: %s\n", d.program, d.path,
                     errno != 0 ? std::strerror(errno) : "unknown error");
    }
    return file;
}

bool is_compressed_catalogue(const char* path)
{
    const std::string_view name(path != nullptr ? path : "");
    return name.size() > 3 && name.substr(name.size() - 3) == ".gz";
}

bool is_blank_line(std::string_view line)
{
    return line.find_first_not_of(" \t\v\f\r") == std::string_view::npos;
}

int close_catalogue(const CatalogueDiagnostics& d, std::FILE* catalogue, const TextCatalogueReader& reader,
                    std::FILE* out)
{
    int status = 0;
    if (reader.read_error()) {
        std::fprintf(d.err, "%s: cannot read %s: %s\n", d.program, d.path,
                     reader.read_errno() != 0          ? std::strerror(reader.read_errno())
                     : !reader.read_error_text().empty() ? reader.read_error_text().c_str()
                                                         : "read error");
        status = 1;
    }
    if (std::fclose(catalogue) != 0 && status == 0) {
        std::fprintf(d.err, "%s: cannot close %s: %s\n", d.program, d.path, std::strerror(errno));
        status = 1;
    }
    if ((std::fflush(out) != 0 || std::ferror(out) != 0) && status == 0) {
        std::fprintf(d.err, "%s: cannot write the results: %s\n", d.program, std::strerror(errno));
        status = 1;
    }
    return status;
}

HeldMessages::HeldMessages(std::FILE* err, bool hold) : direct_(err)
{
    if (hold) {
        memory_ = open_memstream(&text_, &size_);
    }
}

HeldMessages::~HeldMessages()
{
    if (memory_ != nullptr) {
        std::fclose(memory_);
    }
    std::free(text_);
}

void HeldMessages::release()
{
    if (memory_ == nullptr) {
        return;
    }
    std::fclose(memory_);
    memory_ = nullptr;
    std::fwrite(text_, 1, size_, direct_);
}

}  // namespace fieldsearch
