#include "leap_seconds_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "leap_seconds_list.hpp"

namespace fieldsearch {

std::optional<std::string> leap_seconds_list_text(const std::string& path, std::string& reason)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char block[4096];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) {
        text.append(block, n);
        if (text.size() > static_cast<std::size_t>(LARGEST_LEAP_SECONDS_LIST_BYTES)) {
            std::fclose(file);
            reason = "longer than " + std::to_string(LARGEST_LEAP_SECONDS_LIST_BYTES) + " bytes, not a leap-second list";
            return std::nullopt;
        }
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) {
        reason = std::strerror(error);
        return std::nullopt;
    }
    return text;
}

LeapSecondTableLoad leap_second_table_for_run(const std::optional<std::string>& path, const std::string& system_path)
{
    std::string reason;
    if (!path) {
        const std::optional<std::string> text = leap_seconds_list_text(system_path, reason);
        const LeapSecondTable& compiled = compiled_leap_second_table();
        LeapSecondTable table = preferred_leap_second_table(text, compiled);
        const bool from_system = table.expiry_mjd != compiled.expiry_mjd;
        return {std::move(table), from_system ? system_path : "compiled-in", {}};
    }
    const std::optional<std::string> text = leap_seconds_list_text(*path, reason);
    if (!text) {
        return {std::nullopt, *path, *path + ": " + reason};
    }
    LeapSecondListResult list = leap_second_table_from_text(*text);
    if (!list.table) {
        const std::string where = list.line > 0 ? *path + ":" + std::to_string(list.line) : *path;
        return {std::nullopt, *path, where + ": " + list.error};
    }
    return {std::move(list.table), *path, {}};
}

}  // namespace fieldsearch
