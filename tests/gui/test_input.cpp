// Input the toolkit must survive: skin numbers out of range, refused with
// the file and line; geometry at the ends of int, which saturates instead of
// wrapping; widgets placed and sized there, drawn and dumped.
#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "box/base/paths.h"
#include "box/base/trace.h"
#include "gui/gui_fixture.h"
#include "host/ebutton.h"
#include "host/elabel.h"
#include "host/elistbox.h"
#include "host/enumber.h"
#include "host/eprogress.h"
#include "host/eskin.h"
#include "host/eslider.h"
#include "host/ewindow.h"
#include "test_dir.h"

namespace {

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
      if (e.value("level", "") != "warning") continue;
      std::string text = e.value("text", "");
      size_t at = text.find(box::root());
      if (at != std::string::npos) text.replace(at, box::root().size(), "ROOT");
      out.push_back(text);
    }
    return out;
  }
};

TEST_F(SkinInput, GeometryAndNumbersOutOfRangeAreRefusedWithFileAndLine) {
  std::string file = write("faults",
                           "<skin><layout name=\"win\">\n"
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
            }));
  // Only the last line, at the limits, was applied.
  EXPECT_EQ(a->getPosition(), ePoint(-10000, 10000));
  EXPECT_EQ(a->getSize(), eSize(10000, 0));
  EXPECT_EQ(a->getFont().pointSize, 20);
  EXPECT_EQ(p->getPerc(), 0);
}

TEST_F(SkinInput, SectionNumbersOutOfRangeStopTheLoadAtTheirLine) {
  struct Case {
    const char* element;
    const char* warning;
  } cases[] = {
      {"<colors>\n<color name=\"c\" color=\"#102030\" alpha=\"256\"/></colors>",
       "alpha must be a number from 0 to 255, not \"256\""},
      {"<fontmap>\n<map name=\"f\" font=\"Regular\" size=\"0\"/></fontmap>",
       "size must be a number from 1 to 1000, not \"0\""},
      {"<fontmap>\n<map name=\"f\" font=\"Regular\" size=\"4294967316\"/></fontmap>",
       "size must be a number from 1 to 1000, not \"4294967316\""},
      {"<values>\n<value name=\"v\" value=\"-10001\"/></values>",
       "value must be a number from -10000 to 10000, not \"-10001\""},
      {"<values>\n<value name=\"v\" value=\"12abc\"/></values>",
       "value must be a number from -10000 to 10000, not \"12abc\""},
      {"<decorations>\n<deco name=\"d\" width=\"-2\"/></decorations>",
       "width must be a number from 0 to 10000, not \"-2\""},
      {"<colors>\n<color name=\"\xff\" color=\"#1\"/></colors>", "bad colour of \"\\xFF\""},
  };
  std::vector<std::string> want;
  for (const Case& c : cases) {
    std::string file = write("section", std::string("<skin>") + c.element + "</skin>");
    eSkin skin;
    EXPECT_NE(skin.load(file.c_str()), 0) << c.element;
    want.push_back(std::string("skin ROOT/section.esml:2: ") + c.warning);
  }
  EXPECT_EQ(warnings(), want);
}

TEST(Geometry, SumsAndDifferencesSaturateAtTheEndsOfInt) {
  struct Case {
    eRect rect;
    int left, top, right, bottom, width, height;
  } cases[] = {
      {eRect(INT_MAX - 5, 0, 100, 10), INT_MAX - 5, 0, INT_MAX, 10, 5, 10},
      {eRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX), INT_MIN, INT_MIN, -1, -1, INT_MAX, INT_MAX},
      {eRect(ePoint(INT_MIN, 0), eSize(INT_MAX, 1)).unite(eRect(0, 0, INT_MAX, 1)), INT_MIN, 0, INT_MAX, 1,
       INT_MAX, 1},
      {eRect(0, 0, 10, 10).translated(ePoint(INT_MAX - 5, INT_MIN)), INT_MAX - 5, INT_MIN, INT_MAX,
       INT_MIN + 10, 5, 10},
      {eRect(5, 5, 10, 10).translated(ePoint(0, 0) - ePoint(INT_MIN, 0)), INT_MAX, 5, INT_MAX, 15, 0, 10},
      {eRect(INT_MAX - 10, 0, INT_MAX, 5).intersect(eRect(0, 0, 720, 576)), INT_MAX - 10, 0, INT_MAX - 10, 0,
       0, 0},
  };
  for (const Case& c : cases) {
    const eRect& r = c.rect;
    EXPECT_EQ((std::vector<int>{r.left(), r.top(), r.right(), r.bottom(), r.width(), r.height()}),
              (std::vector<int>{c.left, c.top, c.right, c.bottom, c.width, c.height}))
        << &c - cases;
  }
  EXPECT_EQ(ePoint(INT_MAX, INT_MIN) + ePoint(1, -1), ePoint(INT_MAX, INT_MIN));
  EXPECT_EQ(ePoint(INT_MIN, INT_MAX) - ePoint(1, -1), ePoint(INT_MIN, INT_MAX));
}

class ExtremeWidgets : public GuiTest {
 protected:
  void TearDown() override {
    windows.clear();
    GuiTest::TearDown();
  }
  // A window holding one of each control, all at pos and of size size.
  eWindow* make(ePoint pos, eSize size) {
    auto* w = new eWindow(1);
    w->setText("bad \xff\xfe title");
    w->move(pos);
    w->resize(size);
    eWidget* children[] = {new eLabel(w),
                           new eButton(w),
                           new eProgress(w),
                           new eSlider(w, nullptr, 0, 10),
                           new eNumber(w, 2, 0, 9, 1, nullptr, 0, nullptr, 1),
                           new eListBox<eListBoxEntryText>(w)};
    for (eWidget* c : children) {
      c->setText("x");
      c->move(pos);
      c->resize(size);
      c->cresize(size);
    }
    windows.emplace_back(w);
    return w;
  }
  int litPixels(const eRect& r) {
    gPixmap& fb = box::Screen::instance().framebuffer();
    int n = 0;
    for (int y = r.top(); y < r.bottom(); ++y)
      for (int x = r.left(); x < r.right(); ++x) n += fb.pixel(x, y) != 0;
    return n;
  }
  std::vector<std::unique_ptr<eWindow>> windows;
};

TEST_F(ExtremeWidgets, FarOffScreenStayOffScreenAndHugeOnesAreClipped) {
  const eRect screen(0, 0, box::Screen::width, box::Screen::height);
  for (ePoint pos : {ePoint(INT_MAX, INT_MAX), ePoint(INT_MIN, INT_MIN), ePoint(INT_MAX - 100, INT_MIN + 5)})
    for (eSize size : {eSize(INT_MAX, INT_MAX), eSize(INT_MIN, INT_MIN), eSize(10, 10)})
      make(pos, size)->show();
  box::Screen::instance().redrawDirty();
  EXPECT_EQ(litPixels(screen), 0) << "nothing wrapped round onto the screen";

  // From 100,100 to beyond the end of int: drawn up to the screen's edges.
  make(ePoint(100, 100), eSize(INT_MAX, INT_MAX))->show();
  box::Screen::instance().redrawDirty();
  EXPECT_EQ(litPixels(eRect(0, 0, 720, 100)) + litPixels(eRect(0, 0, 100, 576)), 0);
  EXPECT_EQ(litPixels(eRect(100, 100, 620, 476)), 620 * 476);

  // The widget dump holds every one, with texts that are not UTF-8 replaced.
  nlohmann::json dump = nlohmann::json::parse(box::jsonText(box::Screen::instance().dumpWidgets()));
  ASSERT_EQ(dump["windows"].size(), 10u);
  EXPECT_EQ(dump["windows"][0]["text"], "bad \xEF\xBF\xBD\xEF\xBF\xBD title");
  EXPECT_EQ(dump["windows"][9]["rect"],
            nlohmann::json({{"x", 100}, {"y", 100}, {"w", INT_MAX}, {"h", INT_MAX}}));
}

}  // namespace
