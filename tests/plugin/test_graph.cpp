// The spectrum graph: image, grid, scale labels, scrolling and skin creation.
#include <filesystem>
#include <fstream>
#include <string>

#include "box/base/paths.h"
#include "graph/egrafico.h"
#include "gui/gui_fixture.h"
#include "host/einit.h"
#include "host/eskin.h"
#include "host/eslider.h"
#include "host/ewindow.h"
#include "host/grc.h"
#include "plugin/plugin_support.h"
#include "test_dir.h"

namespace {

constexpr int kSentinel = 251;  // a colour neither graph nor skin text uses here

// A window with a graph placed and sized as the sweep window does it.
class GraphTest : public GuiTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(GuiTest::SetUp());
    window = new eWindow(1);
    window->move(ePoint(100, 10));
    window->resize(eSize(520, 376));
    graph = new eGrafico(window);
    graph->move(ePoint(10, 140));
    graph->resize(eSize(window->getClientSize().w - 20, 120));
    bk = eSkin::getActive()->queryScheme("eWindow.titleBar");
    red = eSkin::getActive()->queryColor("std_red");
  }
  void TearDown() override {
    delete window;
    GuiTest::TearDown();
  }

  // The graph's redraw of area into a sentinel-filled image, or the given
  // labels (x, text) drawn alone as the scale draws them; one as text per
  // row of the scale band, so that a difference shows where it is.
  std::string scale(const eRect* area, const std::vector<std::pair<int, std::string>>& labels = {}) {
    gImage img(eSize(2600, 200), 8);
    img.fill(eRect(0, 0, 2600, 200), kSentinel);
    const int y = graph->hBmp + 22;
    {
      gPainter p(img, ePoint(0, 0), eRect(0, 0, 2600, 200));
      if (area) graph->redrawWidget(&p, *area);
      for (const auto& [x, text] : labels) {
        p.clip(eRect(x, y, 90, 30));
        p.setForegroundColor(graph->foregroundColor);
        p.setBackgroundColor(graph->backgroundColor);
        p.setFont(graph->getFont());
        p.renderText(eRect(x, y, 90, 30), text, 0);
        p.clippop();
      }
    }
    std::string out;
    for (int yy = y; yy < y + 30; ++yy)
      for (int x = 0; x < 2600; ++x) out += char('0' + img.pixel(x, yy) % 64);
    return out;
  }

  eWindow* window = nullptr;
  eGrafico* graph = nullptr;
  gColor bk, red;
};

// The image of the whole band: a grid line every 100 MHz.
const std::string kWide =
    "2470x80 background 13\ngrid 100 200 300 400 500 600 700 800 900 1000 1100 1200 1300 1400 1500 1600 "
    "1700 1800 1900 2000 2100 2200\n";

// Each range: its image, the slider's reach and the scale under it. A label
// is drawn when its left edge is in the area redrawn, and the scale scrolls
// with the image. Then the segments drawn into the last image.
TEST_F(GraphTest, EachRangeBuildsItsImageAndScaleAndClipsSegments) {
  const eRect whole(0, 0, 2600, 200);
  EXPECT_EQ(scale(&whole), scale(nullptr)) << "nothing drawn before the first range";
  graph->line(0, 0, 10, 10, red, 0);  // no image yet: nothing to draw into
  EXPECT_EQ(graph->image(), nullptr);

  const std::string fresh = "400x80 background 13\ngrid 100\n";
  std::vector<std::pair<int, std::string>> all;
  for (int x = 0; x <= 2200; x += 100) all.push_back({x, std::to_string(10700 + x)});
  struct Row {
    int start, end, slider;
    eRect area;
    std::string image;
    int sliderMax;
    std::vector<std::pair<int, std::string>> labels;
  } rows[] = {
      {10700, 12970, 0, whole, kWide, 1778, all},
      {10700, 12970, 0, eRect(150, 0, 100, 200), kWide, 1778, {{200, "10900"}}},
      {10700, 12970, 0, eRect(100, 0, 100, 200), kWide, 1778, {{100, "10800"}, {200, "10900"}}},
      {10700, 12970, 50, eRect(0, 0, 160, 200), kWide, 1778, {{50, "10800"}, {150, "10900"}}},
      // The step is wider than the range.
      {10700, 10750, 0, whole, "250x80 background 13\ngrid\n", 0, {{0, "10700"}}},
      {10700, 10900, 0, whole, fresh, 0, {{0, "10700"}, {100, "10800"}}},
  };
  graph->setBitmapBkColor(bk);
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.end) + " from " + std::to_string(r.area.left()));
    graph->setRange(r.start, r.end, 100);
    graph->getSlider()->setValue(r.slider);
    EXPECT_EQ(plugin_test::imageText(*graph->image()), r.image);
    EXPECT_EQ(graph->getSlider()->getMax(), r.sliderMax);
    EXPECT_TRUE(scale(&r.area) == scale(nullptr, r.labels));
  }

  // Segments are clipped to the image, and a new background clears them.
  graph->line(50, -90000, 50, 90000, red, 1);
  graph->line(5000, 5000, 9000, 9000, red, 1);  // wholly outside
  EXPECT_EQ(plugin_test::imageText(*graph->image()), "400x80 background 13\ngrid 50 100\n");
  graph->line(-5000, 20, 90000, 20, red, 1);
  EXPECT_EQ(graph->image()->pixel(0, 20) + graph->image()->pixel(399, 20), 2 * int(red));
  graph->setBitmapBkColor(bk);
  EXPECT_EQ(plugin_test::imageText(*graph->image()), fresh);
}

// On the screen: a segment without redraw waits for the next one, and the
// slider scrolls the image and back.
TEST_F(GraphTest, TheScreenShowsSegmentsAtTheNextRedrawAndScrollsWithTheSlider) {
  graph->setBitmapBkColor(bk);
  graph->setRange(10700, 12970, 100);
  window->show();
  box::Screen::instance().redrawDirty();
  // Framebuffer pixels at widget coordinates of the graph, on row 40 of the image.
  auto screenAt = [&](int x, int y) {
    const ePoint o = graph->getAbsoluteClientPosition();
    return box::Screen::instance().framebuffer().pixel(o.x + x, o.y + y);
  };
  const int y = 22 + 40;
  graph->line(30, 40, 30, 40, red, 1);
  EXPECT_FALSE(box::Screen::instance().hasDirty());
  EXPECT_EQ(screenAt(30, y), int(bk));
  graph->line(31, 40, 31, 40, red, 0);
  box::Screen::instance().redrawDirty();
  EXPECT_EQ(std::vector<int>({screenAt(30, y), screenAt(31, y)}), std::vector<int>(2, int(red)));
  const gColor white = eSkin::getActive()->queryColor("std_white");
  std::vector<int> seen;
  for (int value : {50, 0}) {
    graph->getSlider()->setValue(value);
    EXPECT_EQ(graph->getOffsetX(), -value);
    box::Screen::instance().redrawDirty();
    for (int x : {50, 100, 150}) seen.push_back(screenAt(x, y) == int(white));
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 0, 1, 0, 1, 0}));
}

TEST_F(GraphTest, ASkinLayoutCreatesAGraphByTypeNameFromLevel25On) {
  box::setRoot(vantrel_test::testDir().string());
  std::ofstream(box::resolve("/withGraph.esml"))
      << "<skin><layout name=\"withGraph\"><widget name=\"plot\" type=\"eGrafico\" position=\"5,6\" "
         "size=\"300,100\"/></layout></skin>\n";
  eSkin skin;
  ASSERT_EQ(skin.load("/withGraph.esml"), 0);
  eInit::setRunlevel(24);  // below level 25 the type is not known yet
  EXPECT_EQ(eSkin::findWidgetCreator("eGrafico"), nullptr);
  eInit::setRunlevel(25);
  eWindow built(1);
  built.resize(eSize(400, 300));
  ASSERT_EQ(skin.build(&built, "withGraph"), 0);
  auto* plot = dynamic_cast<eGrafico*>(built.search("plot"));
  EXPECT_TRUE(plot && plot->getSlider()) << "sized: the children exist";
  eInit::setRunlevel(box::guiLevel);  // going down takes the type away again
  EXPECT_EQ(eSkin::findWidgetCreator("eGrafico"), nullptr);
}

}  // namespace
