#include "text_catalogue.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace fieldsearch {

namespace {

constexpr std::size_t BLOCK_BYTES = 64 * 1024;
constexpr char CTRL_Z = 0x1A;

// Removes every carriage return from data[0, n) in place; returns the new length.
std::size_t without_carriage_returns(char* data, std::size_t n)
{
    char* first = static_cast<char*>(std::memchr(data, '\r', n));
    if (first == nullptr) {
        return n;
    }
    return static_cast<std::size_t>(std::remove(first, data + n, '\r') - data);
}

}  // namespace

TextCatalogueReader::TextCatalogueReader(std::FILE* file, std::size_t max_kept_bytes)
    : file_(file), max_kept_bytes_(std::max<std::size_t>(max_kept_bytes, 1)),
      buffer_(std::max(BLOCK_BYTES, 2 * max_kept_bytes_))
{
}

TextCatalogueReader::TextCatalogueReader(std::FILE* file, bool gzip_compressed, std::size_t max_kept_bytes)
    : TextCatalogueReader(file, max_kept_bytes)
{
    if (!gzip_compressed) {
        return;
    }
    // zlib reads from a descriptor of its own, so that closing it leaves the
    // caller's FILE to be closed as before.
    const int descriptor = ::dup(::fileno(file));
    gz_ = descriptor >= 0 ? gzdopen(descriptor, "rb") : nullptr;
    if (gz_ == nullptr) {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        end_of_file_ = true;
        read_error_ = true;
        read_errno_ = errno;
        read_error_text_ = "cannot start reading the compressed stream";
        return;
    }
    gzbuffer(gz_, static_cast<unsigned>(BLOCK_BYTES));
}

TextCatalogueReader::~TextCatalogueReader()
{
    if (gz_ != nullptr) {
        gzclose_r(gz_);
    }
}

// Reads up to `room` bytes into `start`; sets end_of_file_ (and the error
// state) when fewer came.
std::size_t TextCatalogueReader::read_block(char* start, std::size_t room)
{
    errno = 0;
    if (gz_ == nullptr) {
        const std::size_t got = std::fread(start, 1, room, file_);
        if (got < room) {
            end_of_file_ = true;
            read_error_ = std::ferror(file_) != 0;
            read_errno_ = read_error_ ? errno : 0;
        }
        return got;
    }
    const int got = gzread(gz_, start, static_cast<unsigned>(room));
    int code = Z_OK;
    const char* message = gzerror(gz_, &code);
    if (got < 0 || code != Z_OK) {
        end_of_file_ = true;
        read_error_ = true;
        read_errno_ = code == Z_ERRNO ? errno : 0;
        if (code != Z_ERRNO) {
            // A stream cut short gives Z_BUF_ERROR and "unexpected end of file".
            // zlib names the stream by its descriptor ("<fd:4>: ..."); the
            // caller names the file.
            std::string_view reason = message != nullptr && *message != '\0' ? message : "error";
            if (reason.rfind("<fd:", 0) == 0) {
                const std::size_t colon = reason.find(": ");
                reason.remove_prefix(colon == std::string_view::npos ? reason.size() : colon + 2);
            }
            read_error_text_ = "compressed data: " + std::string(reason.empty() ? "error" : reason);
        }
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    if (static_cast<std::size_t>(got) < room) {
        end_of_file_ = true;
    }
    return static_cast<std::size_t>(got);
}

// Moves what is left to the front of the buffer and reads one more block
// behind it. False when nothing more can come.
bool TextCatalogueReader::fill()
{
    if (end_of_file_) {
        return false;
    }
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    const std::size_t room = buffer_.size() - end_;
    if (room == 0) {
        return false;
    }
    char* start = buffer_.data() + end_;
    const std::size_t got = read_block(start, room);
    std::size_t kept = without_carriage_returns(start, got);
    if (const void* stop = std::memchr(start, CTRL_Z, kept)) {
        kept = static_cast<std::size_t>(static_cast<const char*>(stop) - start);
        end_of_file_ = true;
    }
    end_ += kept;
    return got > 0;
}

bool TextCatalogueReader::next_line(std::string_view& line)
{
    for (;;) {
        const char* begin = buffer_.data() + begin_;
        const std::size_t available = end_ - begin_;
        const void* feed = std::memchr(begin, '\n', std::min(available, max_kept_bytes_ + 1));
        if (feed != nullptr) {
            const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(feed) - begin);
            line = std::string_view(begin, length);
            begin_ += length + 1;
            full_length_ = length;
            ++line_number_;
            return true;
        }
        if (available > max_kept_bytes_) {
            return next_long_line(line);
        }
        if (!fill()) {
            if (end_ == begin_) {
                return false;
            }
            // A last line without a line feed.
            line = std::string_view(buffer_.data() + begin_, end_ - begin_);
            full_length_ = end_ - begin_;
            begin_ = end_;
            ++line_number_;
            return true;
        }
    }
}

// A line longer than max_kept_bytes_: keep its start, skip the rest up to
// and including its line feed, and count what was skipped.
bool TextCatalogueReader::next_long_line(std::string_view& line)
{
    long_line_.assign(buffer_.data() + begin_, max_kept_bytes_);
    begin_ += max_kept_bytes_;
    std::size_t length = max_kept_bytes_;
    for (;;) {
        const char* begin = buffer_.data() + begin_;
        const std::size_t available = end_ - begin_;
        const void* feed = std::memchr(begin, '\n', available);
        if (feed != nullptr) {
            const std::size_t skipped = static_cast<std::size_t>(static_cast<const char*>(feed) - begin);
            length += skipped;
            begin_ += skipped + 1;
            break;
        }
        length += available;
        begin_ = end_;
        if (!fill()) {
            break;
        }
    }
    line = long_line_;
    full_length_ = length;
    ++line_number_;
    return true;
}

std::string_view TextCatalogueReader::look_ahead()
{
    if (begin_ == end_) {
        fill();
    }
    return std::string_view(buffer_.data() + begin_, end_ - begin_);
}

bool TextCatalogueReader::read_rest(std::string& text, std::size_t max_bytes)
{
    for (;;) {
        if (text.size() + (end_ - begin_) > max_bytes) {
            return false;
        }
        text.append(buffer_.data() + begin_, end_ - begin_);
        begin_ = end_;
        if (!fill()) {
            return true;
        }
    }
}

std::string_view take_text_line(std::string_view& text)
{
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

bool read_catalogue_lines(TextCatalogueReader& reader, CatalogueLines& block, std::size_t most)
{
    block.text.clear();
    block.lines.clear();
    std::string_view line;
    while (block.lines.size() < most && reader.next_line(line)) {
        block.lines.push_back({reader.line_number(), block.text.size(), line.size(), reader.full_length()});
        block.text.append(line);
    }
    return !block.lines.empty();
}

}  // namespace fieldsearch
