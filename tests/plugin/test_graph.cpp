// The spectrum graph: image, grid, scale labels, scrolling and skin creation.
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "box/base/paths.h"
#include "graph/egrafico.h"
#include "gui/gui_fixture.h"
#include "host/einit.h"
#include "host/eskin.h"
#include "host/eslider.h"
#include "host/ewindow.h"
#include "host/grc.h"
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
    white = eSkin::getActive()->queryColor("std_white");
    bk = eSkin::getActive()->queryScheme("eWindow.titleBar");
    ASSERT_NE(int(white), int(bk));
  }
  void TearDown() override {
    delete window;
    GuiTest::TearDown();
  }

  // Renders the graph's area into a sentinel-filled image of the given width.
  gImage* renderOffscreen(const eRect& area, int widthPx = 2600) {
    auto* target = new gImage(eSize(widthPx, 200), 8);
    target->fill(eRect(0, 0, widthPx, 200), kSentinel);
    {
      gPainter p(*target, ePoint(0, 0), eRect(0, 0, widthPx, 200));
      graph->redrawWidget(&p, area);
    }
    return target;
  }

  // The label box at widget x, compared with a reference rendering of text.
  bool labelShows(const gImage& img, int x, const std::string& text) {
    const int y = graph->hBmp + 22;
    gImage ref(img.getSize(), 8);
    ref.fill(eRect(0, 0, ref.x, ref.y), kSentinel);
    {
      gPainter p(ref, ePoint(0, 0), eRect(0, 0, ref.x, ref.y));
      eRect r(x, y, 90, 30);
      p.clip(r);
      p.setForegroundColor(graph->foregroundColor);
      p.setBackgroundColor(graph->backgroundColor);
      p.setFont(graph->getFont());
      p.renderText(r, text, 0);
      p.clippop();
    }
    bool anyInk = false;
    for (int yy = y; yy < y + 30; ++yy)
      for (int xx = x; xx < x + 90 && xx < img.x; ++xx) {
        if (img.pixel(xx, yy) != ref.pixel(xx, yy)) return false;
        anyInk |= img.pixel(xx, yy) != kSentinel;
      }
    return anyInk;
  }
  bool untouched(const gImage& img, int x1, int x2) {
    const int y = graph->hBmp + 22;
    for (int yy = y; yy < y + 30; ++yy)
      for (int xx = x1; xx < x2; ++xx)
        if (img.pixel(xx, yy) != kSentinel) return false;
    return true;
  }
  int gridColumns(int widthPx) {
    int n = 0;
    for (int x = 0; x < widthPx; ++x) n += graph->image()->pixel(x, 1) == int(white);
    return n;
  }
  // Framebuffer pixel at widget coordinates of the graph.
  int screenAt(int x, int y) {
    ePoint o = graph->getAbsoluteClientPosition();
    return box::Screen::instance().framebuffer().pixel(o.x + x, o.y + y);
  }

  eWindow* window = nullptr;
  eGrafico* graph = nullptr;
  gColor white, bk;
};

TEST_F(GraphTest, SweepRangeBuildsGridAndTwentyThreeLabelsUnderTheArrowsAndSlider) {
  graph->setBitmapBkColor(bk);
  graph->setRange(10700, 12970, 100);
  const int fs = graph->getFont().pointSize, W = graph->getClientSize().w;
  std::string children;
  for (eWidget* c : graph->getChildren())
    children += std::string(c->typeName()) + " \"" + c->getText() + "\" " +
                std::to_string(c->getPosition().x) + "," + std::to_string(c->getPosition().y) + " " +
                std::to_string(c->getSize().w) + "x" + std::to_string(c->getSize().h) + "\n";
  EXPECT_EQ(children, "eLabel \"<\" 0,2 " + std::to_string(fs) + "x" + std::to_string(fs) + "\n" +  //
                          "eLabel \">\" " + std::to_string(W - fs) + ",2 " + std::to_string(fs) + "x" +
                          std::to_string(fs) + "\n" +  //
                          "eSlider \"\" " + std::to_string(fs) + ",2 " + std::to_string(W - 2 * fs) +
                          "x18\n");
  EXPECT_EQ(graph->hBmp, 120 - 2 * fs);
  ASSERT_NE(graph->image(), nullptr);
  EXPECT_EQ(graph->image()->x, 2470);
  EXPECT_EQ(graph->image()->y, graph->hBmp);
  for (int x = 100; x <= 2200; x += 100) {
    EXPECT_EQ(graph->image()->pixel(x, 0), int(white)) << x;
    EXPECT_EQ(graph->image()->pixel(x, graph->hBmp - 1), int(white)) << x;
  }
  EXPECT_EQ(gridColumns(2470), 22);
  EXPECT_EQ(graph->image()->pixel(0, 5), int(bk));
  EXPECT_EQ(graph->image()->pixel(2270, 5), int(bk));
  EXPECT_EQ(graph->image()->pixel(2469, 5), int(bk));
  EXPECT_EQ(graph->getSlider()->getMax(), 2270 - graph->getClientSize().w);

  std::unique_ptr<gImage> img(renderOffscreen(eRect(0, 0, 2600, 200)));
  for (int x = 0; x <= 2200; x += 100) EXPECT_TRUE(labelShows(*img, x, std::to_string(10700 + x))) << x;
  EXPECT_TRUE(untouched(*img, 2290, 2600));  // no label at the range's end
  // The image stands right above the scale, at y 22.
  EXPECT_EQ(img->pixel(100, 22), int(white));
  EXPECT_EQ(img->pixel(100, 21), kSentinel);
}

TEST_F(GraphTest, NarrowRangesHaveGridAndLabelsOnlyInside) {
  graph->setRange(10700, 10900, 100);
  EXPECT_EQ(graph->image()->x, 400);
  EXPECT_EQ(gridColumns(400), 1);
  EXPECT_EQ(graph->image()->pixel(100, 3), int(white));
  EXPECT_EQ(graph->getSlider()->getMax(), 0);  // narrower than the graph
  std::unique_ptr<gImage> img(renderOffscreen(eRect(0, 0, 2600, 200)));
  EXPECT_TRUE(labelShows(*img, 0, "10700"));
  EXPECT_TRUE(labelShows(*img, 100, "10800"));
  EXPECT_TRUE(untouched(*img, 190, 300));

  graph->setRange(10700, 10750, 100);  // the step is wider than the range
  EXPECT_EQ(graph->image()->x, 250);
  EXPECT_EQ(gridColumns(250), 0);
  img.reset(renderOffscreen(eRect(0, 0, 2600, 200)));
  EXPECT_TRUE(labelShows(*img, 0, "10700"));
  EXPECT_TRUE(untouched(*img, 90, 400));
}

TEST_F(GraphTest, LabelsAreTestedByTheirLeftEdgeOnly) {
  graph->setRange(10700, 12970, 100);
  std::unique_ptr<gImage> img(renderOffscreen(eRect(150, 0, 100, 200)));
  EXPECT_TRUE(untouched(*img, 100, 150));  // its box reaches in, its edge does not
  EXPECT_TRUE(labelShows(*img, 200, "10900"));
  EXPECT_TRUE(untouched(*img, 300, 2600));
  img.reset(renderOffscreen(eRect(100, 0, 100, 200)));  // edges on both sides
  EXPECT_TRUE(labelShows(*img, 100, "10800"));
  EXPECT_TRUE(labelShows(*img, 200, "10900"));
  EXPECT_TRUE(untouched(*img, 0, 100));
}

TEST_F(GraphTest, DrawsNothingBeforeTheFirstRange) {
  std::unique_ptr<gImage> img(renderOffscreen(eRect(0, 0, 2600, 200)));
  for (int y = 0; y < 200; y += 3)
    for (int x = 0; x < 2600; x += 7) ASSERT_EQ(img->pixel(x, y), kSentinel);
  graph->line(0, 0, 10, 10, white, 0);  // no image yet: nothing to draw into
  EXPECT_EQ(graph->image(), nullptr);
}

TEST_F(GraphTest, NoRedrawDefersTheScreenUntilTheNextRedraw) {
  graph->setBitmapBkColor(bk);
  graph->setRange(10700, 12970, 100);
  window->show();
  box::Screen::instance().redrawDirty();
  const int y = 40;
  ASSERT_EQ(screenAt(30, 22 + y), int(bk));
  const gColor red = eSkin::getActive()->queryColor("std_red");
  graph->line(30, y, 30, y, red, 1);
  EXPECT_EQ(graph->image()->pixel(30, y), int(red));
  EXPECT_FALSE(box::Screen::instance().hasDirty());
  EXPECT_EQ(screenAt(30, 22 + y), int(bk));
  graph->line(31, y, 31, y, red, 0);
  EXPECT_TRUE(box::Screen::instance().hasDirty());
  box::Screen::instance().redrawDirty();
  EXPECT_EQ(screenAt(30, 22 + y), int(red));
  EXPECT_EQ(screenAt(31, 22 + y), int(red));
}

TEST_F(GraphTest, BackgroundColourClearsTracesAndKeepsGrid) {
  graph->setRange(10700, 12970, 100);
  const gColor red = eSkin::getActive()->queryColor("std_red");
  graph->line(0, 10, 2000, 10, red, 1);
  EXPECT_EQ(graph->image()->pixel(50, 10), int(red));
  graph->setBitmapBkColor(bk);
  EXPECT_EQ(graph->image()->pixel(50, 10), int(bk));
  EXPECT_EQ(graph->image()->pixel(100, 10), int(white));
  EXPECT_EQ(graph->image()->x, 2470);
}

TEST_F(GraphTest, SliderScrollsImageAndScaleTogetherAndBack) {
  graph->setBitmapBkColor(bk);
  graph->setRange(10700, 12970, 100);
  window->show();
  box::Screen::instance().redrawDirty();
  const int y = 22 + 10;
  EXPECT_EQ(screenAt(100, y), int(white));
  graph->getSlider()->setValue(50);
  EXPECT_EQ(graph->getOffsetX(), -50);
  EXPECT_TRUE(box::Screen::instance().hasDirty());
  box::Screen::instance().redrawDirty();
  EXPECT_EQ(screenAt(50, y), int(white));
  EXPECT_EQ(screenAt(150, y), int(white));
  EXPECT_EQ(screenAt(100, y), int(bk));
  std::unique_ptr<gImage> img(renderOffscreen(eRect(0, 0, graph->getClientSize().w, 200)));
  EXPECT_TRUE(labelShows(*img, 50, "10800"));  // the scale moved with the image
  graph->getSlider()->setValue(0);
  box::Screen::instance().redrawDirty();
  EXPECT_EQ(graph->getOffsetX(), 0);
  EXPECT_EQ(screenAt(100, y), int(white));
  EXPECT_EQ(screenAt(50, y), int(bk));
}

TEST_F(GraphTest, SegmentsFarOutsideAreClippedToTheImage) {
  graph->setBitmapBkColor(bk);
  graph->setRange(10700, 10900, 100);
  const gColor red = eSkin::getActive()->queryColor("std_red");
  graph->line(-100000, -100000, 100000, 100000, red, 1);
  graph->line(-5000, 20, 90000, 20, red, 1);
  graph->line(50, -90000, 50, 90000, red, 1);
  graph->line(5000, 5000, 9000, 9000, red, 1);  // wholly outside
  const gImage& img = *graph->image();
  EXPECT_EQ(img.pixel(7, 7), int(red));
  EXPECT_EQ(img.pixel(399, 20), int(red));
  EXPECT_EQ(img.pixel(0, 20), int(red));
  EXPECT_EQ(img.pixel(50, 0), int(red));
  EXPECT_EQ(img.pixel(50, img.y - 1), int(red));
  EXPECT_EQ(img.pixel(300, 30), int(bk));
}

class GraphSkinTest : public GuiTest {};

TEST_F(GraphSkinTest, SkinLayoutCreatesAGraphByTypeNameFromLevel25On) {
  box::setRoot(vantrel_test::testDir().string());
  const std::string file = "/withGraph.esml";
  std::ofstream(box::resolve(file))
      << "<skin><layout name=\"withGraph\">"
      << "<widget name=\"plot\" type=\"eGrafico\" position=\"5,6\" size=\"300,100\"/>"
      << "</layout></skin>\n";
  eSkin skin;
  ASSERT_EQ(skin.load(file.c_str()), 0);
  eInit::setRunlevel(24);
  {
    eWindow early(1);  // below level 25 the type is not known yet
    EXPECT_NE(skin.build(&early, "withGraph"), 0);
    EXPECT_EQ(early.search("plot"), nullptr);
  }
  eInit::setRunlevel(25);
  eWindow window(1);
  window.resize(eSize(400, 300));
  ASSERT_EQ(skin.build(&window, "withGraph"), 0);
  auto* graph = dynamic_cast<eGrafico*>(window.search("plot"));
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(graph->getPosition().x, 5);
  EXPECT_EQ(graph->getSize().w, 300);
  ASSERT_NE(graph->getSlider(), nullptr);  // sized: the children exist
  graph->setRange(10700, 11000, 100);
  EXPECT_EQ(graph->image()->x, 500);
  eInit::setRunlevel(box::guiLevel);  // going down takes the type away again
  EXPECT_EQ(eSkin::findWidgetCreator("eGrafico"), nullptr);
}

}  // namespace
