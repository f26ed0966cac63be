// Skin files the toolkit must survive: faults and numbers out of range are
// refused naming the file and line; layouts place children by name.
#include <fstream>
#include <string>
#include <vector>

#include "box/base/paths.h"
#include "gui/gui_fixture.h"
#include "host/elabel.h"
#include "host/eprogress.h"
#include "host/eskin.h"
#include "host/ewindow.h"
#include "test_dir.h"

namespace {

// Skin files written into the test's own folder, which is the box's root
// while the test runs.
class SkinInput : public GuiTest {
 protected:
  SkinInput() { language = "C"; }
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(GuiTest::SetUp());
    box::setRoot(vantrel_test::testDir().string());
  }
  // Writes /NAME.esml under the root; returns its name as the box sees it.
  std::string write(const std::string& name, const std::string& text) {
    std::ofstream(box::resolve("/" + name + ".esml"), std::ios::binary) << text;
    return "/" + name + ".esml";
  }
  // The warnings logged so far, with the root shown as ROOT.
  std::vector<std::string> warnings() const {
    std::vector<std::string> out;
    for (const auto& e : events("log")) {
      std::string text = e.value("text", "");
      if (size_t at = text.find(box::root()); at != std::string::npos)
        text.replace(at, box::root().size(), "ROOT");
      if (e.value("level", "") == "warning") out.push_back(text);
    }
    return out;
  }
};

TEST_F(SkinInput, ALayoutPlacesByNameAndRefusesNumbersOutOfRangeWithFileAndLine) {
  std::string file =
      write("faults",
            "<skin><colors><color name=\"test_pink\" color=\"#ff80c0\"/></colors><layout name=\"win\">\n"
            "<widget name=\"a\" position=\"2147483647,2147483647\"/>\n"
            "<widget name=\"a\" size=\"-1,10\"/>\n"
            "<widget name=\"a\" size=\"10001,5\"/>\n"
            "<widget name=\"a\" cposition=\"1,2,3\"/>\n"
            "<widget name=\"a\" csize=\"x,5\"/>\n"
            "<widget name=\"a\" position=\"99999999999999999999,0\"/>\n"
            "<widget name=\"a\" font=\"Regular;99999999999\"/>\n"
            "<widget name=\"p\" perc=\"101\"/>\n"
            "<widget name=\"a\" position=\"-10000, 10000\" size=\"10000,0\"/>\n"
            "</layout></skin>\n");
  eSkin skin;
  ASSERT_EQ(skin.load(file.c_str()), 0);
  eWindow window(1);
  auto* a = new eLabel(&window);
  a->setName("a");
  a->setFont(gFont("Regular", 20));
  auto* p = new eProgress(&window);
  p->setName("p");
  EXPECT_NE(skin.build(&window, "win"), 0);
  EXPECT_NE(skin.build(&window, "nowhere"), 0);
  const std::string range = "\" with each from -10000 to 10000, not \"";
  EXPECT_EQ(warnings(),
            (std::vector<std::string>{
                "skin ROOT/faults.esml:2: position must be \"x,y" + range + "2147483647,2147483647\"",
                "skin ROOT/faults.esml:3: size must be \"x,y\" with each from 0 to 10000, not \"-1,10\"",
                "skin ROOT/faults.esml:4: size must be \"x,y\" with each from 0 to 10000, not \"10001,5\"",
                "skin ROOT/faults.esml:5: cposition must be \"x,y" + range + "1,2,3\"",
                "skin ROOT/faults.esml:6: csize must be \"x,y\" with each from 0 to 10000, not \"x,5\"",
                "skin ROOT/faults.esml:7: position must be \"x,y" + range + "99999999999999999999,0\"",
                "skin ROOT/faults.esml:8: property font=\"Regular;99999999999\" not understood by eLabel",
                "skin ROOT/faults.esml:9: property perc=\"101\" not understood by eProgress",
                "skin ROOT/faults.esml: no layout \"nowhere\"",
            }));
  // Only the last line, at the limits, was applied.
  EXPECT_EQ(a->getPosition(), ePoint(-10000, 10000));
  EXPECT_EQ(a->getSize(), eSize(10000, 0));
  EXPECT_EQ(a->getFont().pointSize, 20);
  EXPECT_EQ(p->getPerc(), 0);
  // A later skin's colours join the palette; unknown names give colour 0.
  gColor pink = eSkin::getActive()->queryColor("test_pink");
  EXPECT_NE(int(pink), 0);
  EXPECT_EQ(eSkin::getActive()->palette().data[pink], gRGB(0xff, 0x80, 0xc0));
  EXPECT_EQ(int(eSkin::getActive()->queryColor("no_such_colour")), 0);
}

TEST_F(SkinInput, FaultyFilesStopTheLoadAtTheirLine) {
  const struct {
    const char* text;  // nullptr: no such file
    const char* warning;
  } cases[] = {
      {nullptr, "skin ROOT/section.esml: cannot be read"},
      {"<colors>\n<color name=\"a\" color=\"#ffffff\">\n</skin>",
       "skin ROOT/section.esml:2: Error=XML_ERROR_MISMATCHED"},
      {"<colors>\n<color name=\"c\" color=\"#102030\" alpha=\"256\"/></colors>",
       "skin ROOT/section.esml:2: alpha must be a number from 0 to 255, not \"256\""},
      {"<fontmap>\n<map name=\"f\" font=\"Regular\" size=\"0\"/></fontmap>",
       "skin ROOT/section.esml:2: size must be a number from 1 to 1000, not \"0\""},
      {"<fontmap>\n<map name=\"f\" font=\"Regular\" size=\"4294967316\"/></fontmap>",
       "skin ROOT/section.esml:2: size must be a number from 1 to 1000, not \"4294967316\""},
      {"<values>\n<value name=\"v\" value=\"-10001\"/></values>",
       "skin ROOT/section.esml:2: value must be a number from -10000 to 10000, not \"-10001\""},
      {"<values>\n<value name=\"v\" value=\"12abc\"/></values>",
       "skin ROOT/section.esml:2: value must be a number from -10000 to 10000, not \"12abc\""},
      {"<decorations>\n<deco name=\"d\" width=\"-2\"/></decorations>",
       "skin ROOT/section.esml:2: width must be a number from 0 to 10000, not \"-2\""},
      {"<colors>\n<color name=\"\xff\" color=\"#1\"/></colors>",
       "skin ROOT/section.esml:2: bad colour of \"\\xFF\""},
  };
  std::vector<std::string> want;
  for (const auto& c : cases) {
    std::filesystem::remove(box::resolve("/section.esml"));
    if (c.text) write("section", std::string("<skin>") + c.text + "</skin>");
    eSkin skin;
    EXPECT_NE(skin.load("/section.esml"), 0) << c.warning;
    want.push_back(c.warning);
  }
  // Each warning as far as the table gives it.
  std::vector<std::string> got = warnings();
  for (size_t i = 0; i < got.size() && i < want.size(); ++i)
    got[i].resize(std::min(got[i].size(), want[i].size()));
  EXPECT_EQ(got, want);
}

}  // namespace
