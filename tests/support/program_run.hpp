// Running one of the programs from a test as an observer runs it: in a
// directory of its choice, standard output and error caught in files of the
// test's own scratch directory.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

struct ProgramRun {
    int status;       // exit status, -1 when the program did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
};

inline std::string file_contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines of a text, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// All that was written to a temporary file (std::tmpfile), which is closed.
inline std::string temporary_file_contents(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char block[4096];
    for (std::size_t n = 0; (n = std::fread(block, 1, sizeof block, file)) > 0;) {
        text.append(block, n);
    }
    std::fclose(file);
    return text;
}

// Runs `program` with `arguments` (already quoted for the shell) in
// `directory`; its output goes through files under `scratch_directory`
// (a path that ends with a separator).
inline ProgramRun run_program(const std::string& scratch_directory, const std::string& directory, const char* program,
                              const std::string& arguments)
{
    const std::string out = scratch_directory + "program_out.txt";
    const std::string err = scratch_directory + "program_err.txt";
    const std::string command = "cd '" + directory + "' && '" + program + "' " + arguments + " >'" + out + "' 2>'" +
                                err + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, file_contents(out), file_contents(err)};
}
