// vantrel-box: the stand-in set-top box.
#include <cstdio>

#include "box/runner/options.h"
#include "box/runner/run.h"

int main(int argc, char** argv) {
  box::Options options;
  std::string error;
  if (!box::parseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "vantrel-box: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(box::usage(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("vantrel-box %s\n", VANTREL_VERSION);
    return 0;
  }
  return box::run(options, argv[0]);
}
