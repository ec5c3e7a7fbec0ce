#pragma once

#include <string>
#include <string_view>

namespace beatmarks {

// Keeps what is left to read of fd (standard input, a pipe) in a file of its
// own that no name leads to, in $TMPDIR (else /tmp), so that it can be read
// again from its start as often as needed; it is gone once closed, however
// the program ends. `head`, bytes already taken from fd, comes first. The
// descriptor, or -1 with the reason ("could not keep a copy in /tmp: No
// space left on device").
int SpoolToFile(int fd, std::string_view head, std::string& reason);

}  // namespace beatmarks
