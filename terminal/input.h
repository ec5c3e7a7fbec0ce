#pragma once

// Standard input as one stream of whitespace-separated items, shared by the
// command loop and the prompts of the map reader and the file writer, so that
// a command and its answer may stand on one line and commands may be typed
// ahead.

#include <array>
#include <cstddef>
#include <string>

namespace beatmarks {

class Input {
 public:
  // Reads a file descriptor; standard output is flushed before every wait so
  // that prompts are seen before the program blocks.
  explicit Input(int fd) : fd_(fd) {}
  // Reads the given text, then ends.
  explicit Input(std::string text) : buffer_(std::move(text)) {}

  // The byte `ahead` places past the current one, or -1 past the end.
  int Peek(std::size_t ahead);
  void Skip(std::size_t count);

 private:
  bool Fill(std::size_t needed);
  void WaitForInput();

  int fd_ = -1;
  std::string buffer_;
  std::size_t pos_ = 0;
  bool ended_ = false;
};

// The input the program reads its commands and answers from: standard input,
// unless a test has put another in its place.
Input& TerminalInput();
void SetTerminalInput(Input* input);  // nullptr restores standard input

enum class WordStatus {
  kRead,     // the word was stored
  kTooLong,  // the word was read whole but did not fit; nothing was stored
  kEnded,    // the input ended before a word began
};

// Reads the next word whole. It is stored, zero-terminated, only when it has
// at most capacity - 1 characters.
WordStatus ReadWord(Input& in, char* dest, std::size_t capacity);

template <std::size_t Size>
WordStatus ReadWord(Input& in, std::array<char, Size>& dest) {
  return ReadWord(in, dest.data(), Size);
}

}  // namespace beatmarks
