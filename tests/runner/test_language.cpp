// The box's own messages in the chosen language: faults from different
// rooms (a band file with its line, an option, a key script, a file, the
// summary at exit, the band plot) come out in German when German is asked for, by --lang
// or by the environment, and in Italian when no language is, with the user's text and
// the option names as given.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "runner/box_run.h"

using box_run::BoxRun;
using box_run::quote;
using box_run::Result;

namespace {

const char* const kBox = VANTREL_EMULATOR VANTREL_BINARY_DIR "/vantrel-box";

class German : public BoxRun {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(BoxRun::SetUp());
    // A band whose second carrier has a polarisation that does not exist, on line 8.
    std::ofstream(dir / "band.json")
        << "{\n"
           "  \"name\": \"Test\",\n"
           "  \"orbital_position\": 130,\n"
           "  \"carriers\": [\n"
           "    { \"frequency_mhz\": 11000, \"polarisation\": \"H\", \"symbol_rate_ks\": "
           "27500, \"cn_db\": 10, \"system\": \"DVB-S\", \"services\": [] },\n"
           "    { \"frequency_mhz\": 11100,\n"
           "      \"symbol_rate_ks\": 27500, \"cn_db\": 10, \"system\": \"DVB-S\",\n"
           "      \"polarisation\": \"X\", \"services\": [] }\n"
           "  ]\n"
           "}\n";
    std::ofstream(dir / "bad.keys") << "# Hin und zurück\nwait 10\nkey red\nblink 3\n";
  }
  // The box in German (DIR: the test's folder); VANTREL_LANG says English,
  // so that only --lang can make it German.
  Result run(const std::string& args) {
    std::string expanded = args;
    for (size_t at; (at = expanded.find("DIR")) != std::string::npos;) expanded.replace(at, 3, dir.string());
    return box_run::shell(std::string("VANTREL_LANG=C ") + kBox + " --lang de --root " +
                          quote((dir / "root").string()) + " " + expanded);
  }
};

TEST_F(German, FaultsInEveryRoomAreToldInGermanWithTheirPlaceAndTheUsersText) {
  struct Case {
    std::string args;
    std::string message;
  } cases[] = {
      {"--band DIR/band.json --keys 'key red'",
       "DIR/band.json: Zeile 8: carriers[1].polarisation: muss \"H\" oder \"V\" sein"},
      {"--frobnicate", "--frobnicate: unbekannte Option (siehe --help)"},
      {"--diseqc 4", "--diseqc: erwartet eine Zahl von 0 bis 3, nicht '4'"},
      {"--lnb UNIVERSAL --keys 'key red'", "--lnb, --diseqc, --delsys und --lock-timeout brauchen --adapter"},
      {"--keys @DIR/bad.keys", "DIR/bad.keys: Skriptzeile 4: unbekannter Schritt 'blink'"},
      {"--keys 'wait 5; key purple'", "--keys: Skriptzeile 1: unbekannte Taste 'purple'"},
      {"--keys @DIR", "--keys: DIR: ist ein Ordner, keine Datei"},
  };
  for (const Case& c : cases) {
    Result r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
    EXPECT_EQ(box_run::boxMessages(shown(r.out)), std::vector<std::string>{"vantrel-box: " + c.message})
        << c.args;
  }
}

TEST_F(German, TheEnvironmentsLanguageIsFollowedWhenNoneIsChosen) {
  // No --lang and no VANTREL_LANG: the language of the user's session.
  Result r = box_run::shell("env -u VANTREL_LANG -u LC_ALL -u LC_MESSAGES LANGUAGE=de LANG=C.UTF-8 " +
                            std::string(kBox) + " --keys 'wait 5; key purple'");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(box_run::boxMessages(r.out),
            std::vector<std::string>{"vantrel-box: --keys: Skriptzeile 1: unbekannte Taste 'purple'"});
  // The same fault as written (VANTREL_LANG=C), to show that the text above
  // was translated and not merely passed through.
  r = box_run::shell(box_run::boxCommand() + " --keys 'wait 5; key purple'");
  EXPECT_EQ(box_run::boxMessages(r.out),
            std::vector<std::string>{"vantrel-box: --keys: script line 1: unknown key 'purple'"});
  // No language anywhere: Italian, as the plug-in's users speak.
  r = box_run::shell("env -u VANTREL_LANG -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG " + std::string(kBox) +
                     " --keys 'wait 5; key purple'");
  EXPECT_EQ(box_run::boxMessages(r.out),
            std::vector<std::string>{"vantrel-box: --keys: riga 1 dello script: tasto sconosciuto 'purple'"});
}

TEST_F(German, TheSummaryAtExitTheHelpAndTheBandPlotSpeakGermanToo) {
  Result r = run("--keys 'wait 100; key exit; wait 100; key exit'");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "Es wurde kein Transponder abgesucht.\n");
  r = run("--help");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Aufruf: vantrel-box [Optionen]");

  r = box_run::shell("VANTREL_LANG=de " VANTREL_EMULATOR VANTREL_BINARY_DIR "/vantrel-bandplot " +
                     quote((dir / "band.json").string()) + " " + quote((dir / "band.png").string()) + " 12");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(r.out, "vantrel-bandplot: Symbolrate 12: muss eine ganze Zahl in ksymbol/s sein, 1000..45000\n");
}

}  // namespace
