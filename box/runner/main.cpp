// vantrel-box: the stand-in set-top box.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "box/runner/options.h"
#include "box/runner/run.h"

int main(int argc, char** argv) {
  box::Options options;
  std::string error;
  if (!box::parseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "vantrel-box: %s\n", error.c_str());
    return 2;
  }
  if (options.help || options.version) {
    if (options.help)
      std::fputs(box::usage(), stdout);
    else
      std::printf("vantrel-box %s\n", VANTREL_VERSION);
    if (std::fflush(stdout) != 0) {
      std::fprintf(stderr, "vantrel-box: standard output: %s\n", std::strerror(errno));
      return 5;
    }
    return 0;
  }
  return box::run(options, argv[0]);
}
