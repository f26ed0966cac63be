// A new --root is set up as an installation would be: the plug-in's skin file
// is put in place, so that a feed scan is laid out as on the default root;
// a skin file already there is the user's and is kept.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "runner/box_run.h"

namespace fs = std::filesystem;
using box_run::BoxRun;
using box_run::quote;
using box_run::Result;

namespace {

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The scan window's rectangle and its children's sizes in a shot's dump.
std::string scanLayout(const nlohmann::json& dump) {
  for (const auto& w : dump["windows"]) {
    if (w["text"] != "Vantrel:") continue;
    std::string out = w["rect"].dump();
    for (const auto& c : w["children"])
      out += " " + c["name"].get<std::string>() + ":" + std::to_string(c["rect"]["w"].get<int>()) + "x" +
             std::to_string(c["rect"]["h"].get<int>());
    return out;
  }
  return "no scan window";
}

class FreshRoot : public BoxRun {
 protected:
  Result scan() {
    return box(
        "key green; wait-text \"Servizi trovati:\" 600000; wait 1000; shot feedscan; key ok; wait 500; "
        "key red; wait 3000; key red",
        "--root " + quote((dir / "root").string()));
  }
  int fatalLines() {
    int n = 0;
    for (const auto& l : trace()) n += l["ev"] == "log" && l.value("level", "") == "fatal";
    return n;
  }
  nlohmann::json shot() { return nlohmann::json::parse(readAll(dir / "shots/feedscan.json")); }
};

TEST_F(FreshRoot, GetsThePluginSkinAndLaysTheFeedScanOut) {
  Result r = scan();
  ASSERT_EQ(r.status, 0) << r.out;
  const fs::path skin = dir / "root/var/tuxbox/plugins/vantrel.esml";
  EXPECT_EQ(readAll(skin), readAll(VANTREL_SOURCE_DIR "/data/skins/vantrel.esml"));
  EXPECT_EQ(fatalLines(), 0);
  EXPECT_EQ(scanLayout(shot()),
            "{\"h\":390,\"w\":500,\"x\":110,\"y\":93} services_scanned:162x32 transponder_scanned:472x28 "
            "time_left:472x30 service_name:472x30 service_provider:472x28 transponder_data:472x30 "
            "scan_progress:472x22 state:300x32 Annulla:160x40");
}

TEST_F(FreshRoot, KeepsASkinFileThatIsThereEvenWithTextsThatAreNotUtf8) {
  // The user's own skin: the scan window moved and made smaller, and a text
  // with bytes that are not UTF-8, which the shot's dump shows replaced.
  std::string own = readAll(VANTREL_SOURCE_DIR "/data/skins/vantrel.esml");
  for (auto [from, to] :
       {std::pair<std::string, std::string>{"name=\"scan4feed\" position=\"110,93\" size=\"500,390\"",
                                            "name=\"scan4feed\" position=\"20,30\" size=\"490,380\""},
        {"text=\"Servizi trovati:\"", "text=\"Servizi trovati:\xFF\""}}) {
    ASSERT_NE(own.find(from), std::string::npos) << from;
    own.replace(own.find(from), from.size(), to);
  }
  const fs::path skin = dir / "root/var/tuxbox/plugins/vantrel.esml";
  fs::create_directories(skin.parent_path());
  std::ofstream(skin, std::ios::binary) << own;

  Result r = scan();
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(readAll(skin), own);
  nlohmann::json window = shot()["windows"][0];
  EXPECT_EQ(window["rect"], nlohmann::json({{"x", 20}, {"y", 30}, {"w", 490}, {"h", 380}}));
  std::string texts;
  for (const auto& c : window["children"]) texts += c["text"].get<std::string>() + "|";
  EXPECT_NE(texts.find("|Servizi trovati:\xEF\xBF\xBD|"), std::string::npos) << texts;
  EXPECT_TRUE(fs::exists(dir / "root/var/tuxbox/config/vantrel-box/services.json"))
      << "the services were kept";
}

}  // namespace
