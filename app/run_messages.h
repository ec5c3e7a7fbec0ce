#pragma once

// How a run with options speaks: as Unix tools do, every message on standard
// error and every error as "beatmarks: FILE: reason" ("beatmarks: FILE:LINE:
// reason" where a line is at fault); with --quiet, its errors and nothing else.

#include <string>
#include <string_view>

namespace beatmarks {

// Whether a message line tells of a failure: an error, or a list cut short (which ends the run with status 1).
bool IsErrorMessage(std::string_view line);

// A message line in the run's form: "Error: song.tmap line 3: why" becomes
// "beatmarks: song.tmap:3: why", "Error: why" becomes "beatmarks: why"; any
// other line is kept as it is.
std::string InUnixForm(std::string_view line);

// A message of the classic form ("Error: Not a WAV file!") as an error about
// the file NAME: "Error: NAME: not a WAV file"; the first letter is lowered
// unless the word is an abbreviation, and a final "!" dropped, the cause in
// parentheses kept.
std::string AboutFile(std::string_view name, std::string_view message);

// Whether the messages are in the run's form now (a run with options).
bool UnixMessages();

// From here on, until the guard ends: the messages go to standard error (when
// they would go to standard output) in the run's form, errors alone if `quiet`.
class RunMessages {
 public:
  explicit RunMessages(bool quiet);
  ~RunMessages();
  RunMessages(const RunMessages&) = delete;
  RunMessages& operator=(const RunMessages&) = delete;

 private:
  bool redirected_ = false;
};

}  // namespace beatmarks
