#include "files/temporary_file.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace beatmarks {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The path the signal handler removes; written only with the signals blocked.
char g_path[PATH_MAX];
volatile sig_atomic_t g_pathSet = 0;
struct sigaction g_old[3];
bool g_installed[3];

extern "C" void RemoveAndEnd(int signal) {
  if (g_pathSet) ::unlink(g_path);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

sigset_t CleanupSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  return set;
}

// A signal that the program was started to ignore stays ignored.
void InstallHandlers() {
  for (int i = 0; i < 3; ++i) {
    struct sigaction action {};
    action.sa_handler = RemoveAndEnd;
    sigemptyset(&action.sa_mask);
    g_installed[i] = ::sigaction(kSignals[i], nullptr, &g_old[i]) == 0 &&
                     g_old[i].sa_handler != SIG_IGN &&
                     ::sigaction(kSignals[i], &action, nullptr) == 0;
  }
}

void RestoreHandlers() {
  for (int i = 0; i < 3; ++i) {
    if (g_installed[i]) ::sigaction(kSignals[i], &g_old[i], nullptr);
  }
}

}  // namespace

bool TemporaryFile::Create(const std::string& folder) {
  std::string pattern = folder + "/.beatmarks-XXXXXX";
  if (pattern.size() >= sizeof g_path) return false;
  sigset_t block = CleanupSignals(), old;
  ::sigprocmask(SIG_BLOCK, &block, &old);
  std::memcpy(g_path, pattern.c_str(), pattern.size() + 1);
  fd_ = ::mkostemp(g_path, O_CLOEXEC);
  exists_ = fd_ >= 0;
  g_pathSet = exists_;
  if (exists_) InstallHandlers();
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
  return exists_;
}

bool TemporaryFile::Close() {
  if (fd_ < 0) return true;
  bool ok = ::close(fd_) == 0;
  fd_ = -1;
  return ok;
}

bool TemporaryFile::RenameOver(const std::string& target) {
  bool ok = exists_ && Close() && ::rename(g_path, target.c_str()) == 0;
  Forget(!ok);
  return ok;
}

void TemporaryFile::Remove() {
  Close();
  Forget(true);
}

void TemporaryFile::Forget(bool unlinkIt) {
  if (!exists_) return;
  sigset_t block = CleanupSignals(), old;
  ::sigprocmask(SIG_BLOCK, &block, &old);
  if (unlinkIt) ::unlink(g_path);
  exists_ = false;
  g_pathSet = 0;
  RestoreHandlers();
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace beatmarks
