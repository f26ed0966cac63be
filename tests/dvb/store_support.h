#pragma once
// What the tests of the kept service list share: reading files back, the
// files beside the list, write functions that fail or kill the process part
// way, and services made up by number.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "box/dvb/store.h"
#include "host/dvb.h"

namespace store_test {

inline std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
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

// Writes a few bytes, then fails as a full disk would.
inline int& writesSoFar() {
  static int n = 0;
  return n;
}
inline ssize_t failingWrite(int fd, const void* data, size_t size) {
  if (writesSoFar()++ > 0) {
    errno = ENOSPC;
    return -1;
  }
  return ::write(fd, data, size < 10 ? size : 10);
}

// Fails writing the whole list (the disk is full), lets journal lines through.
inline ssize_t failingWholeList(int fd, const void* data, size_t size) {
  if (size >= 10 && std::memcmp(data, "{\"version\"", 10) == 0) {
    errno = ENOSPC;
    return -1;
  }
  return ::write(fd, data, size);
}

// Writes half of what it is given, then the process dies as a power cut or
// a kill -9 would end it.
inline ssize_t dieHalfWay(int fd, const void* data, size_t size) {
  ssize_t n = ::write(fd, data, size / 2 > 0 ? size / 2 : 1);
  ::kill(::getpid(), SIGKILL);
  return n;
}

// Runs f in a child process; true when the child was killed by SIGKILL.
template <typename F>
bool diesWhile(F f) {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    f();
    ::_exit(0);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return false;
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// A service numbered n on transponder tsid, named "S<n>".
inline std::pair<eServiceReferenceDVB, eServiceDVB> service(int n, int tsid = 1) {
  eServiceReferenceDVB ref;
  ref.data[0] = 1;
  ref.data[1] = n;
  ref.data[2] = tsid;
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
