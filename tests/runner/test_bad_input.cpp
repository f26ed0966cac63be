// Bad input on the box's command line, as users gave it: each is refused
// before anything runs, with exit 2 and one short message naming the
// argument (or the file and script line), and nothing made or changed: no
// trace, no export, the band, script and kept list as they were; in German
// when German is asked for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "runner/box_run.h"

namespace fs = std::filesystem;
using namespace box_run;

namespace {

class BadInput : public BoxRun {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(BoxRun::SetUp());
    std::ofstream(dir / "file") << "a regular file\n";
    std::ofstream(dir / "nul.keys", std::ios::binary) << std::string("wait 5\nkey red\0key ok\n", 22);
    // Inputs, the kept files of a root, and other names for them.
    std::ofstream(dir / "band.json") << "a band\n";
    std::ofstream(dir / "run.keys") << "key red\n";
    const fs::path kept = dir / "root/var/tuxbox/config/vantrel-box";
    fs::create_directories(kept);
    std::ofstream(kept / "services.json") << "the kept list\n";
    std::ofstream(kept / "services.json.lock");
    fs::create_hard_link(kept / "services.json.lock", dir / "lock-hard");
    fs::create_symlink(kept / "services.json.journal", dir / "journal-link");  // not there yet
    fs::create_symlink("band.json", dir / "band-link");
    fs::create_directories(dir / "sub/deeper");
    fs::create_symlink("sub/deeper", dir / "deep");  // so deep/.. is sub
    fs::create_directories(dir / "readonly");
    fs::permissions(dir / "readonly", fs::perms::owner_read | fs::perms::owner_exec);
    // A band whose second carrier has a polarisation that does not exist, on
    // line 8, and a script with a step that does not, on line 4.
    std::ofstream(dir / "bad.json")
        << "{\n  \"name\": \"Test\",\n  \"orbital_position\": 130,\n  \"carriers\": [\n"
           "    { \"frequency_mhz\": 11000, \"polarisation\": \"H\", \"symbol_rate_ks\": "
           "27500, \"cn_db\": 10, \"system\": \"DVB-S\", \"services\": [] },\n"
           "    { \"frequency_mhz\": 11100,\n"
           "      \"symbol_rate_ks\": 27500, \"cn_db\": 10, \"system\": \"DVB-S\",\n"
           "      \"polarisation\": \"X\", \"services\": [] }\n  ]\n}\n";
    std::ofstream(dir / "bad.keys") << "# Hin und zurück\nwait 10\nkey red\nblink 3\n";
    // Two skies at one position, and a hunt for one that no band shows.
    for (const char* name : {"b130.json", "b130-too.json"})
      std::ofstream(dir / name) << R"({"orbital_position": 130, "carriers": []})";
    std::ofstream(dir / "plan.json")
        << "{\"sweeps\": [\n {\"start\": 10700, \"end\": 10800, \"step\": 3, "
           "\"symbol_rate\": 27500, \"polarisation\": \"H\", \"position\": \"30.0W\"}]}";
  }
  // Every entry under the test's folder: a file's content, a link's target.
  std::map<std::string, std::string> folder() const {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      entries[e.path().lexically_relative(dir).string()] =
          e.is_symlink() ? "-> " + fs::read_symlink(e).string() : (e.is_directory() ? "/" : readText(e));
    return entries;
  }
  // The box with a trace and a script (unless a hunt drives it) and these arguments.
  Result run(const std::string& args) {
    return shell(boxCommand() + " --trace " + quote((dir / "trace.jsonl").string()) +
                 (args.find("--hunt") == std::string::npos ? " --keys 'key red' " : " ") + inDir(args));
  }
};

TEST_F(BadInput, IsRefusedWithExit2AndOneMessageNamingIt) {
  const std::string kept = "DIR/root/var/tuxbox/config/vantrel-box/services.json";
  struct Case {
    std::string args;
    std::string message;
  } cases[] = {
      // In German when asked, with the place and the user's text as given.
      {"--lang de --band DIR/bad.json",
       "DIR/bad.json: Zeile 8: carriers[1].polarisation: muss \"H\" oder \"V\" sein"},
      {"--lang de --frobnicate", "--frobnicate: unbekannte Option (siehe --help)"},
      {"--lang de --keys @DIR/bad.keys", "DIR/bad.keys: Skriptzeile 4: unbekannter Schritt 'blink'"},
      {"--lang de --keys @DIR", "--keys: DIR: ist ein Ordner, keine Datei"},
      // Files that are no plug-in: the loader's reason.
      {"--plugin /etc/passwd", "--plugin: /etc/passwd: invalid ELF header"},
      {"--plugin DIR", "--plugin: DIR: cannot read file data: Is a directory"},
      {"--plugin " VANTREL_BINARY_DIR "/libvantrelbox.so",
       "--plugin: " VANTREL_BINARY_DIR "/libvantrelbox.so: undefined symbol: plugin_exec"},
      {"--plugin DIR/none.so", "--plugin: DIR/none.so: No such file or directory"},
      // Key script files: a fault in one is named with the file.
      {"--keys @DIR/nul.keys", "DIR/nul.keys: script line 2: a NUL byte (\\x00) in the script"},
      // Folders that cannot be used; the trace's is found after the plug-in loads.
      {"--trace DIR/file/trace.jsonl", "--trace: DIR/file/trace.jsonl: Not a directory"},
      {"--shots DIR/file/shots", "--shots: cannot create the folder DIR/file/shots: Not a directory"},
      {"--root DIR/file/root", "--root: cannot set up DIR/file/root: Not a directory"},
      {"--export vdr:DIR/file/x.conf", "--export: cannot create the folder DIR/file: Not a directory"},
      {"--spectrum DIR/file/s.csv", "--spectrum: cannot create the folder DIR/file: Not a directory"},
      {"--spectrum DIR/", "--spectrum: DIR/ is a folder"},
      // Outputs that are one file with another output, an input or a kept
      // file, by another name (a link, "./", a linked folder's "..").
      {"--export vdr:DIR/y.conf --export zap:DIR/./y.conf",
       "--export: 'DIR/./y.conf' is the same file as --export 'DIR/y.conf'"},
      {"--export vdr:DIR/trace.jsonl",
       "--trace: 'DIR/trace.jsonl' is the same file as --export 'DIR/trace.jsonl'"},
      {"--spectrum DIR/sub/s.csv --trace DIR/deep/../s.csv",
       "--trace: 'DIR/deep/../s.csv' is the same file as --spectrum 'DIR/sub/s.csv'"},
      {"--band DIR/band.json --export zap:DIR/band-link",
       "--export: 'DIR/band-link' is the same file as --band 'DIR/band.json'"},
      {"--keys @DIR/run.keys --export zap:DIR/run.keys",
       "--export: 'DIR/run.keys' is the same file as --keys 'DIR/run.keys'"},
      {"--plugin DIR/file --trace DIR/file", "--trace: 'DIR/file' is the same file as --plugin 'DIR/file'"},
      {"--root DIR/root --export vdr:" + kept,
       "--export: '" + kept + "' is the same file as the box's own '" + kept + "'"},
      {"--root DIR/root --trace DIR/journal-link",
       "--trace: 'DIR/journal-link' is the same file as the box's own '" + kept + ".journal'"},
      {"--root DIR/root --spectrum DIR/lock-hard",
       "--spectrum: 'DIR/lock-hard' is the same file as the box's own '" + kept + ".lock'"},
      {"--root DIR/root --export "
       "vdr:DIR/root/var/tuxbox/./plugins/vantrel.esml",
       "--export: 'DIR/root/var/tuxbox/./plugins/vantrel.esml' is the same file as the box's own "
       "'DIR/root/var/tuxbox/plugins/vantrel.esml'"},
      {"--hunt DIR/plan.json --keys 'key red'",
       "--hunt and --keys exclude each other: a hunt types its own keys"},
      {"--hunt DIR/plan.json", "DIR/plan.json: line 2: sweeps[0].position: no --band lies at 30.0W"},
      {"--hunt DIR/plan.json --usals 45N,100E",
       "DIR/plan.json: line 2: sweeps[0].position: 30.0W lies below the horizon of the --usals site"},
      {"--band DIR/b130.json --band DIR/b130-too.json",
       "DIR/b130-too.json: orbital_position 13.0E is already that of DIR/b130.json"},
      {"--band DIR/b130.json --hunt DIR/plan.json --export csv:DIR/plan.json",
       "--export: 'DIR/plan.json' is the same file as --hunt 'DIR/plan.json'"},
      {"--shots DIR/readonly --keys 'shot x'",
       "--shots: cannot create files in DIR/readonly: Permission denied"},
  // A box built without a part (the window for a box without SDL2, the real
  // tuner without libdvbv5, as the PowerPC build is) refuses its option.
#ifndef VANTREL_HAVE_WINDOW
      {"--window", "--window: this vantrel-box was built without SDL2 (install libsdl2-dev and rebuild)"},
#endif
#ifndef VANTREL_HAVE_REAL_TUNER
      {"--adapter 0",
       "--adapter: this vantrel-box was built without libdvbv5 (install libdvbv5-dev and rebuild)"},
#endif
  };
  // Permission bits stop no root.
  const bool readOnly = access((dir / "readonly").c_str(), W_OK) != 0;
  for (const Case& c : cases) {
    if (!readOnly && c.args.find("readonly") != std::string::npos) continue;
    const auto before = folder();
    Result r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
    EXPECT_EQ(told(r.out), c.message + "\n") << c.args;
    EXPECT_EQ(folder(), before) << c.args << ": nothing runs on bad input";
  }
}

}  // namespace
