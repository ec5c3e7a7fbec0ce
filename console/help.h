#pragma once

namespace beatmarks {

// Prints how to toggle the command list, the command-line arguments and the
// tempo map file format.
void PrintHelp();

}  // namespace beatmarks
