// vantrel-box: the stand-in set-top box.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "box/base/tr.h"
#include "box/gui/boot.h"
#include "box/runner/options.h"
#include "box/runner/run.h"

int main(int argc, char** argv) {
  // The language comes first, so that a fault in the other arguments is told in it.
  std::string lang;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--lang") lang = argv[i + 1];
  box::Options options;
  std::string error;
  box::chooseLanguage(box::knownLanguage(lang) ? lang : "");
  if (!box::parseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "vantrel-box: %s\n", error.c_str());
    return 2;
  }
  if (options.help || options.version) {
    if (options.help)
      std::fputs(box::usage(), stdout);
    else
      std::printf("vantrel-box %s\n", VANTREL_VERSION);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      std::fprintf(stderr, "vantrel-box: %s\n",
                   box::trf("standard output: %s", std::strerror(errno)).c_str());
      return 5;
    }
    return 0;
  }
  return box::run(options);
}
