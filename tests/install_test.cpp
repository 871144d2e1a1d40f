// cmake --install into a directory of the test's own: both programs run from
// there and both manual pages describe the options observers use most.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "scratch_directory.hpp"

namespace {

std::string file_contents(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// `text` in single quotes for the shell.
std::string quoted(const std::string& text)
{
    std::string result(1, '\'');
    result.append(text).push_back('\'');
    return result;
}

// The exit status of `command` run by the shell, -1 when it did not exit.
int shell_status(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// `text` as roff writes it in a page: each hyphen escaped.
std::string roff_text(const std::string& text)
{
    std::string roff;
    for (const char c : text) {
        roff += c == '-' ? std::string("\\-") : std::string(1, c);
    }
    return roff;
}

// A program installed from the build tree: its name, the title of its page
// and the option only it has (its page must come from its own --help).
struct InstalledProgram {
    const char* name;
    const char* page_title;
    const char* own_option;
};

// A missing install rule, a page not built or not installed, a program that
// cannot run outside the build tree, or a page made from the wrong program's
// --help would each fail here.
TEST(Install, PutsRunnableProgramsAndTheirManualPagesUnderThePrefix)
{
    const ScratchDirectory prefix;
    ASSERT_EQ(shell_status(quoted(CMAKE_COMMAND) + " --install " + quoted(BUILD_DIR) + " --prefix " +
                           quoted(prefix.path().string()) + " >" + quoted(prefix.file("install.log")) + " 2>&1"),
              0)
        << file_contents(prefix.file("install.log"));

    for (const InstalledProgram program : {InstalledProgram{"astfield", ".TH ASTFIELD \"1\"", "\\-\\-mag\\-limit"},
                                           InstalledProgram{"satfield", ".TH SATFIELD \"1\"", "\\-\\-theory"}}) {
        SCOPED_TRACE(program.name);
        const std::filesystem::path binary = prefix.path() / "bin" / program.name;
        const std::string version_file = prefix.file(std::string(program.name) + ".version");
        ASSERT_EQ(shell_status(quoted(binary.string()) + " --version >" + quoted(version_file)), 0);
        EXPECT_EQ(file_contents(version_file), std::string(program.name) + " 1.0.0\n");

        if (!MAN_PAGES_BUILT) {
            continue;
        }
        const std::string page =
            file_contents(prefix.path() / "share" / "man" / "man1" / (std::string(program.name) + ".1"));
        ASSERT_FALSE(page.empty()) << "no manual page " << program.name << ".1";
        EXPECT_NE(page.find(program.page_title), std::string::npos);
        // Options as roff writes them, with escaped hyphens.
        for (const char* option : {"\\-\\-image", "\\-\\-fields", "\\-\\-format", program.own_option}) {
            EXPECT_NE(page.find(option), std::string::npos) << option;
        }
        EXPECT_NE(page.find(".SH \"EXIT STATUS\""), std::string::npos);
        // The observatory codes' default where the installed program finds
        // it, not in the source tree the page was made in.
        EXPECT_EQ(page.find(SOURCE_DIR), std::string::npos);
        EXPECT_NE(page.find(roff_text(INSTALLED_OBSCODES)), std::string::npos);
    }
}

}  // namespace
