// Drawing that must never write outside its target: lines, fills and text
// clipped, geometry at the ends of int that saturates instead of wrapping,
// and widgets placed and sized there, drawn and dumped. Skin files with
// faults, refused naming the file and line; layouts placing children by name.
#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "box/base/paths.h"
#include "gui/gui_fixture.h"
#include "host/ebutton.h"
#include "host/elabel.h"
#include "host/elistbox.h"
#include "host/enumber.h"
#include "host/eprogress.h"
#include "host/eskin.h"
#include "host/eslider.h"
#include "host/ewindow.h"
#include "host/grc.h"
#include "test_dir.h"

namespace {

constexpr int kSentinel = 7;

// How many pixels of r are (or, with other, are not) of that value.
int countOf(const gPixmap& p, int value, const eRect& r, bool other = false) {
  int n = 0;
  for (int y = r.top(); y < r.bottom(); ++y)
    for (int x = r.left(); x < r.right(); ++x) n += (p.pixel(x, y) == value) != other;
  return n;
}

class Drawing : public GuiTest {};

TEST_F(Drawing, LinesFillsAndTextStayInsideTheirTargetAndTheClip) {
  gImage img(eSize(200, 60), 8);
  img.clut = eSkin::getActive()->palette();
  const eRect all(0, 0, 200, 60), box(20, 10, 60, 24);
  img.fill(eRect(-1000000, -1000000, 3000000, 3000000), kSentinel);
  EXPECT_EQ(countOf(img, kSentinel, all), 200 * 60);
  // Each line, in a colour of its own, lights `lit` pixels, all in `where`.
  const struct {
    ePoint from, to;
    eRect where;
    int lit;
  } lines[] = {
      {ePoint(-100000, 10), ePoint(100000, 10), eRect(0, 10, 200, 1), 200},
      {ePoint(-50, -50), ePoint(-1, 100), eRect(), 0},
      {ePoint(200, 0), ePoint(200, 59), eRect(), 0},
      {ePoint(5, -70000), ePoint(5, 70000), eRect(5, 0, 1, 60), 60},
  };
  for (int i = 0; i < 4; ++i) {
    img.line(lines[i].from, lines[i].to, 20 + i);
    EXPECT_EQ(countOf(img, 20 + i, all), lines[i].lit) << i;
    EXPECT_EQ(countOf(img, 20 + i, lines[i].where), lines[i].lit) << i;
  }
  for (eRect clip : {all, eRect(20, 10, 15, 24)}) {
    img.fill(all, kSentinel);
    {
      gPainter p(img, ePoint(0, 0), all);
      p.setFont(eSkin::getActive()->queryFont("global.normal"));
      p.setForegroundColor(eSkin::getActive()->queryColor("std_white"));
      p.setBackgroundColor(kSentinel);
      p.clip(clip);
      p.renderText(box, "Vantrel Vantrel Vantrel", 0);
      p.clippop();
    }
    const int inside = countOf(img, kSentinel, box.intersect(clip), true);
    EXPECT_GT(inside, 20) << "the text was drawn";
    EXPECT_EQ(countOf(img, kSentinel, all, true), inside) << "nothing outside its box and the clip";
  }
}

TEST(Geometry, SumsAndDifferencesSaturateAtTheEndsOfInt) {
  constexpr int M = INT_MAX, m = INT_MIN;
  const struct {
    eRect rect;
    std::vector<int> want;  // left, top, right, bottom, width, height
  } cases[] = {
      {eRect(M - 5, 0, 100, 10), {M - 5, 0, M, 10, 5, 10}},
      {eRect(m, m, M, M), {m, m, -1, -1, M, M}},
      {eRect(ePoint(m, 0), eSize(M, 1)).unite(eRect(0, 0, M, 1)), {m, 0, M, 1, M, 1}},
      {eRect(0, 0, 10, 10).translated(ePoint(M - 5, m)), {M - 5, m, M, m + 10, 5, 10}},
      {eRect(5, 5, 10, 10).translated(ePoint(0, 0) - ePoint(m, 0)), {M, 5, M, 15, 0, 10}},
      {eRect(M - 10, 0, M, 5).intersect(eRect(0, 0, 720, 576)), {M - 10, 0, M - 10, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const eRect& r = c.rect;
    EXPECT_EQ((std::vector<int>{r.left(), r.top(), r.right(), r.bottom(), r.width(), r.height()}), c.want)
        << &c - cases;
  }
  EXPECT_EQ(ePoint(M, m) + ePoint(1, -1), ePoint(M, m));
  EXPECT_EQ(ePoint(m, M) - ePoint(1, -1), ePoint(m, M));
}

TEST_F(Drawing, WidgetsFarOffScreenStayOffScreenAndHugeOnesAreClipped) {
  std::vector<std::unique_ptr<eWindow>> windows;
  // A window holding one of each control, all at pos and of size size.
  auto show = [&](ePoint pos, eSize size) {
    auto* w = windows.emplace_back(new eWindow(1)).get();
    w->setText("bad \xff\xfe title");
    w->move(pos);
    w->resize(size);
    for (eWidget* c : std::vector<eWidget*>{
             new eLabel(w), new eButton(w), new eProgress(w), new eSlider(w, nullptr, 0, 10),
             new eNumber(w, 2, 0, 9, 1, nullptr, 0, nullptr, 1), new eListBox<eListBoxEntryText>(w)}) {
      c->setText("x\xff");
      c->move(pos);
      c->resize(size);
      c->cresize(size);
    }
    w->show();
    box::Screen::instance().redrawDirty();
  };
  const gPixmap& fb = box::Screen::instance().framebuffer();
  for (ePoint pos : {ePoint(INT_MAX, INT_MAX), ePoint(INT_MIN, INT_MIN), ePoint(INT_MAX - 100, INT_MIN + 5)})
    for (eSize size : {eSize(INT_MAX, INT_MAX), eSize(INT_MIN, INT_MIN), eSize(10, 10)}) show(pos, size);
  EXPECT_EQ(countOf(fb, 0, eRect(0, 0, 720, 576), true), 0) << "nothing wrapped round onto the screen";

  // From 100,100 to beyond the end of int: drawn up to the screen's edges.
  show(ePoint(100, 100), eSize(INT_MAX, INT_MAX));
  EXPECT_EQ(countOf(fb, 0, eRect(0, 0, 720, 576), true), 620 * 476);
  EXPECT_EQ(countOf(fb, 0, eRect(100, 100, 620, 476)), 0);

  // The widget dump holds every one, at its place, with texts that are not
  // UTF-8 replaced.
  nlohmann::json dump = nlohmann::json::parse(box::jsonText(box::Screen::instance().dumpWidgets()));
  ASSERT_EQ(dump["windows"].size(), 10u);
  EXPECT_EQ(dump["windows"][0]["text"], "bad \xEF\xBF\xBD\xEF\xBF\xBD title");
  EXPECT_EQ(dump["windows"][9]["children"][0]["text"], "x\xEF\xBF\xBD");
  EXPECT_EQ(dump["windows"][9]["rect"],
            nlohmann::json({{"x", 100}, {"y", 100}, {"w", INT_MAX}, {"h", INT_MAX}}));
}

// Skin files written into the test's own folder, which is the box's root
// while the test runs.
class SkinInput : public GuiTest {
 protected:
  SkinInput() { language = "C"; }
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(GuiTest::SetUp());
    box::setRoot(vantrel_test::testDir().string());
  }
  // Writes the skin file /skin.esml under the root.
  void write(const std::string& text) { std::ofstream(box::resolve("/skin.esml"), std::ios::binary) << text; }
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

TEST_F(SkinInput, FaultsAreRefusedWithFileAndLineAndLayoutsPlaceByName) {
  write(
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
  ASSERT_EQ(skin.load("/skin.esml"), 0);
  eWindow window(1);
  auto* a = new eLabel(&window);
  a->setName("a");
  a->setFont(gFont("Regular", 20));
  auto* p = new eProgress(&window);
  p->setName("p");
  EXPECT_NE(skin.build(&window, "win"), 0);
  EXPECT_NE(skin.build(&window, "nowhere"), 0);
  const std::string range = "\" with each from -10000 to 10000, not \"";
  std::vector<std::string> want{
      "skin ROOT/skin.esml:2: position must be \"x,y" + range + "2147483647,2147483647\"",
      "skin ROOT/skin.esml:3: size must be \"x,y\" with each from 0 to 10000, not \"-1,10\"",
      "skin ROOT/skin.esml:4: size must be \"x,y\" with each from 0 to 10000, not \"10001,5\"",
      "skin ROOT/skin.esml:5: cposition must be \"x,y" + range + "1,2,3\"",
      "skin ROOT/skin.esml:6: csize must be \"x,y\" with each from 0 to 10000, not \"x,5\"",
      "skin ROOT/skin.esml:7: position must be \"x,y" + range + "99999999999999999999,0\"",
      "skin ROOT/skin.esml:8: property font=\"Regular;99999999999\" not understood by eLabel",
      "skin ROOT/skin.esml:9: property perc=\"101\" not understood by eProgress",
      "skin ROOT/skin.esml: no layout \"nowhere\"",
  };
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

  // Files with faults stop the load at their line.
  const char* cases[][2] = {
      // the skin on line 1 (nullptr: no such file), the warning
      {nullptr, "cannot be read"},
      {"<colors><color name=\"a\" color=\"#ffffff\"></skin>", "Error=XML_ERROR_MISMATCHED"},
      {"<colors><color name=\"c\" color=\"#102030\" alpha=\"256\"/></colors>",
       "alpha must be a number from 0 to 255, not \"256\""},
      {"<fontmap><map name=\"f\" font=\"Regular\" size=\"0\"/></fontmap>",
       "size must be a number from 1 to 1000, not \"0\""},
      {"<fontmap><map name=\"f\" font=\"Regular\" size=\"4294967316\"/></fontmap>",
       "size must be a number from 1 to 1000, not \"4294967316\""},
      {"<values><value name=\"v\" value=\"-10001\"/></values>",
       "value must be a number from -10000 to 10000, not \"-10001\""},
      {"<values><value name=\"v\" value=\"12abc\"/></values>",
       "value must be a number from -10000 to 10000, not \"12abc\""},
      {"<decorations><deco name=\"d\" width=\"-2\"/></decorations>",
       "width must be a number from 0 to 10000, not \"-2\""},
      {"<colors><color name=\"\xff\" color=\"#1\"/></colors>", "bad colour of \"\\xFF\""},
  };
  for (auto [text, warning] : cases) {
    std::filesystem::remove(box::resolve("/skin.esml"));
    if (text) write(std::string("<skin>") + text + "</skin>");
    eSkin faulty;
    EXPECT_NE(faulty.load("/skin.esml"), 0) << warning;
    want.push_back(std::string("skin ROOT/skin.esml") + (text ? ":1: " : ": ") + warning);
  }
  // Each warning as far as the table gives it.
  std::vector<std::string> got = warnings();
  for (size_t i = 0; i < got.size() && i < want.size(); ++i)
    got[i].resize(std::min(got[i].size(), want[i].size()));
  EXPECT_EQ(got, want);
}

}  // namespace
