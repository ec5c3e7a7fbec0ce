#include "terminal/input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/number_scan.h"
#include "terminal/output.h"

namespace beatmarks {
namespace {

Input* g_replacement = nullptr;

}  // namespace

// Standard input may have been left non-blocking by whoever started the
// program: wait for more rather than take "nothing yet" as the end.
void Input::WaitForInput() {
  pollfd ready{fd_, POLLIN, 0};
  while (::poll(&ready, 1, -1) < 0 && errno == EINTR) {
  }
}

int Input::Peek(std::size_t ahead) {
  if (!Fill(ahead + 1)) return -1;
  return static_cast<unsigned char>(buffer_[pos_ + ahead]);
}

void Input::Skip(std::size_t count) {
  Fill(count);
  std::size_t available = buffer_.size() - pos_;
  pos_ += count < available ? count : available;
}

bool Input::Fill(std::size_t needed) {
  while (buffer_.size() - pos_ < needed && !ended_) {
    buffer_.erase(0, pos_);
    pos_ = 0;
    if (fd_ < 0) {
      ended_ = true;
      break;
    }
    FlushOutput();
    char chunk[4096];
    ssize_t got = ::read(fd_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      WaitForInput();
      continue;
    }
    if (got <= 0) {
      ended_ = true;
      break;
    }
    buffer_.append(chunk, static_cast<std::size_t>(got));
  }
  return buffer_.size() - pos_ >= needed;
}

Input& TerminalInput() {
  static Input standardInput(STDIN_FILENO);
  return g_replacement ? *g_replacement : standardInput;
}

void SetTerminalInput(Input* input) { g_replacement = input; }

WordStatus ReadWord(Input& in, char* dest, std::size_t capacity) {
  while (IsSpace(in.Peek(0))) in.Skip(1);
  if (in.Peek(0) < 0) return WordStatus::kEnded;
  std::string word;
  // Only a little more than fits is kept; the rest is read and dropped.
  for (int c; (c = in.Peek(0)) >= 0 && !IsSpace(c); in.Skip(1)) {
    if (word.size() < capacity) word.push_back(static_cast<char>(c));
  }
  if (word.size() >= capacity) return WordStatus::kTooLong;
  std::memcpy(dest, word.c_str(), word.size() + 1);
  return WordStatus::kRead;
}

}  // namespace beatmarks
