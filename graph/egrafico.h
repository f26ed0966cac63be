#pragma once
// A horizontally scrollable spectrum plot: an off-screen image with a
// frequency grid, a scale under it and a slider above it. One image column is
// one MHz, column 0 the start of the range. The owner draws its traces into
// the image with line(); a redraw only blits the image and the scale.
#include "host/ewidget.h"
#include "host/gpixmap.h"

// The band every graph opens on, in MHz, and its grid spacing: the whole Ku
// band and past the universal LNB's 12750, whatever band is swept, as the
// host's plug-in has it.
constexpr int kGraphStartMHz = 10700;
constexpr int kGraphEndMHz = 12970;
constexpr int kGraphGridMHz = 100;

class eLabel;
class eSlider;
class gImage;
class gPainter;

class eGrafico : public eWidget {
 public:
  explicit eGrafico(eWidget* parent);
  ~eGrafico() override;

  // Sets the background and rebuilds the image: the traces are cleared.
  void setBitmapBkColor(gColor color);
  // Range and grid spacing in MHz (start < end, step > 0); rebuilds the image.
  void setRange(int start, int end, int step);
  // A segment in image coordinates, clipped to the image; noRedraw 0 asks for
  // a redraw of the whole graph.
  void line(int x1, int y1, int x2, int y2, gColor color, int noRedraw);

  int eventHandler(const eWidgetEvent& event) override;
  void redrawWidget(gPainter* painter, const eRect& area) override;
  const char* typeName() const override { return "eGrafico"; }

  void redrawFrequenza(gPainter* painter, int x, const eRect& area);
  void sliderChanged(int value);

  // Emitted right after line() has asked the host for a redraw: what the
  // image holds then is what that redraw shows (owners that draw several
  // segments for one redraw can be checked against it).
  sigc::signal<void()> redrawRequested;

  // For tests and the owner.
  const gImage* image() const { return bmp; }
  eSlider* getSlider() const { return slider; }
  int getOffsetX() const { return offsetX; }

 private:
  gImage* bmp = nullptr;
  int offsetX = 0;
  eLabel* lLeft = nullptr;
  eLabel* lRight = nullptr;
  eSlider* slider = nullptr;

 public:
  int hBmp = 0;  // image height: the usable plot height

 private:
  int rangeWidth = 0;
  int yBmp = 22;
  int yTop = 2;
  int yScale = 22;
  int startFreq = kGraphStartMHz;
  int endFreq = kGraphEndMHz;
  int stepFreq = kGraphGridMHz;
  gColor bitmapBkColor = 0;
};
