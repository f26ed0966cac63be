// Drawing that must never write outside its target: lines, fills and text
// clipped, geometry at the ends of int that saturates instead of wrapping,
// and widgets placed and sized there, drawn and dumped.
#include <climits>
#include <memory>
#include <vector>

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

namespace {

constexpr int kSentinel = 7;

// How many pixels of r are (or, with other, are not) of that value.
int countOf(const gPixmap& p, int value, const eRect& r, bool other = false) {
  int n = 0;
  for (int y = r.top(); y < r.bottom(); ++y)
    for (int x = r.left(); x < r.right(); ++x) n += (p.pixel(x, y) == value) != other;
  return n;
}

TEST(Pixmap, LinesAndFillsFarOutsideAreClippedToThePixmap) {
  gImage img(eSize(40, 30), 8);
  const eRect all(0, 0, 40, 30);
  img.fill(eRect(-1000000, -1000000, 3000000, 3000000), kSentinel);
  EXPECT_EQ(countOf(img, kSentinel, all), 40 * 30);
  // Each line, in a colour of its own, lights `lit` pixels, all in `where`.
  const struct {
    ePoint from, to;
    eRect where;
    int lit;
  } lines[] = {
      {ePoint(-100000, 10), ePoint(100000, 10), eRect(0, 10, 40, 1), 40},
      {ePoint(-50, -50), ePoint(-1, 100), eRect(), 0},
      {ePoint(40, 0), ePoint(40, 29), eRect(), 0},
      {ePoint(5, -70000), ePoint(5, 70000), eRect(5, 0, 1, 30), 30},
  };
  for (int i = 0; i < 4; ++i) {
    img.line(lines[i].from, lines[i].to, 20 + i);
    EXPECT_EQ(countOf(img, 20 + i, all), lines[i].lit) << i;
    EXPECT_EQ(countOf(img, 20 + i, lines[i].where), lines[i].lit) << i;
  }
}

class Drawing : public GuiTest {};

TEST_F(Drawing, TextStaysInsideItsRectangleAndTheClip) {
  gImage img(eSize(200, 60), 8);
  img.clut = eSkin::getActive()->palette();
  const eRect all(0, 0, 200, 60), box(20, 10, 60, 24);
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
  const struct {
    eRect rect;
    std::vector<int> want;  // left, top, right, bottom, width, height
  } cases[] = {
      {eRect(INT_MAX - 5, 0, 100, 10), {INT_MAX - 5, 0, INT_MAX, 10, 5, 10}},
      {eRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX), {INT_MIN, INT_MIN, -1, -1, INT_MAX, INT_MAX}},
      {eRect(ePoint(INT_MIN, 0), eSize(INT_MAX, 1)).unite(eRect(0, 0, INT_MAX, 1)),
       {INT_MIN, 0, INT_MAX, 1, INT_MAX, 1}},
      {eRect(0, 0, 10, 10).translated(ePoint(INT_MAX - 5, INT_MIN)),
       {INT_MAX - 5, INT_MIN, INT_MAX, INT_MIN + 10, 5, 10}},
      {eRect(5, 5, 10, 10).translated(ePoint(0, 0) - ePoint(INT_MIN, 0)), {INT_MAX, 5, INT_MAX, 15, 0, 10}},
      {eRect(INT_MAX - 10, 0, INT_MAX, 5).intersect(eRect(0, 0, 720, 576)),
       {INT_MAX - 10, 0, INT_MAX - 10, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const eRect& r = c.rect;
    EXPECT_EQ((std::vector<int>{r.left(), r.top(), r.right(), r.bottom(), r.width(), r.height()}), c.want)
        << &c - cases;
  }
  EXPECT_EQ(ePoint(INT_MAX, INT_MIN) + ePoint(1, -1), ePoint(INT_MAX, INT_MIN));
  EXPECT_EQ(ePoint(INT_MIN, INT_MAX) - ePoint(1, -1), ePoint(INT_MIN, INT_MAX));
}

TEST_F(Drawing, WidgetsFarOffScreenStayOffScreenAndHugeOnesAreClipped) {
  std::vector<std::unique_ptr<eWindow>> windows;
  // A window holding one of each control, all at pos and of size size.
  auto show = [&](ePoint pos, eSize size) {
    auto* w = windows.emplace_back(new eWindow(1)).get();
    w->move(pos);
    w->resize(size);
    for (eWidget* c : std::vector<eWidget*>{
             new eLabel(w), new eButton(w), new eProgress(w), new eSlider(w, nullptr, 0, 10),
             new eNumber(w, 2, 0, 9, 1, nullptr, 0, nullptr, 1), new eListBox<eListBoxEntryText>(w)}) {
      c->setText("x");
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

  // The widget dump holds every one, at its place.
  nlohmann::json dump = nlohmann::json::parse(box::jsonText(box::Screen::instance().dumpWidgets()));
  ASSERT_EQ(dump["windows"].size(), 10u);
  EXPECT_EQ(dump["windows"][9]["rect"],
            nlohmann::json({{"x", 100}, {"y", 100}, {"w", INT_MAX}, {"h", INT_MAX}}));
}

}  // namespace
