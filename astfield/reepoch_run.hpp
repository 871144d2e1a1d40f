// The asteroid program's command that writes a catalogue at a new epoch:
// astfield --catalogue IN --write-catalogue OUT --epoch YYYY-MM-DD.
#pragma once

#include <string_view>
#include <vector>

namespace fieldsearch {

// True when the arguments (after the program name) ask for a catalogue to be
// written at a new epoch (--write-catalogue is among them).
bool asks_for_reepoch(const std::vector<std::string_view>& arguments);

// Runs that command: reads IN, writes OUT (gzip-compressed when its name
// ends in ".gz") through a temporary file renamed into place at the end,
// reports progress, each refused record and a summary on standard error.
// Returns the exit status: 0 done, 1 a file that cannot be read or
// written, 2 a bad request.
int run_catalogue_reepoch(const std::vector<std::string_view>& arguments);

}  // namespace fieldsearch
