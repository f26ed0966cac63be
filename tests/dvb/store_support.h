#pragma once
// What the tests of the kept service list share: files read back, write
// functions that fail or kill the process part way, made-up services.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "box/dvb/store.h"
#include "host/dvb.h"

namespace store_test {

inline std::string readAll(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline size_t lineCount(const std::string& path) {
  std::string text = readAll(path);
  return size_t(std::count(text.begin(), text.end(), '\n'));
}

// The names of the files in the folder that holds path.
inline std::set<std::string> filesBeside(const std::string& path) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
    names.insert(e.path().filename().string());
  return names;
}

// Write functions: a full disk after a few bytes; a full disk for the whole
// list only; half of what it is given, then death as by a power cut.
inline int writesSoFar = 0;
inline ssize_t failingWrite(int fd, const void* data, size_t size) {
  if (writesSoFar++ > 0) return errno = ENOSPC, -1;
  return ::write(fd, data, std::min<size_t>(size, 10));
}
inline ssize_t failingWholeList(int fd, const void* data, size_t size) {
  if (size >= 10 && std::memcmp(data, "{\"version\"", 10) == 0) return errno = ENOSPC, -1;
  return ::write(fd, data, size);
}
inline ssize_t dieHalfWay(int fd, const void* data, size_t size) {
  ssize_t n = ::write(fd, data, std::max<size_t>(size / 2, 1));
  ::kill(::getpid(), SIGKILL);
  return n;
}

// Runs f in a child process; true when the child ended as status says
// (killed by SIGKILL, or exited with 0).
template <typename F>
bool inChild(F f, bool killed = true) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(f() ? 0 : 1);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return false;
  return killed ? WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL
                : WIFEXITED(status) && !WEXITSTATUS(status);
}

// A service numbered n, named "S<n>".
inline std::pair<eServiceReferenceDVB, eServiceDVB> service(int n) {
  eServiceReferenceDVB ref;
  ref.data[0] = 1;
  ref.data[1] = n;
  ref.data[2] = 1;
  ref.data[4] = 130;
  eServiceDVB record;
  record.service_name = "S" + std::to_string(n);
  record.service_provider = "P";
  return {ref, record};
}

inline eTransponder transponder(eTransponderList& list, int freqKHz) {
  eTransponder tp(list);
  tp.satellite.valid = true;
  tp.satellite.frequency = freqKHz;
  tp.satellite.symbol_rate = 27500000;
  tp.satellite.orbital_position = 130;
  return tp;
}

}  // namespace store_test
