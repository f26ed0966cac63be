// The window's key table, its scaling, and the window itself in SDL's
// offscreen driver: what it shows, when it redraws, and how it closes.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "box/gui/screen.h"
#include "box/window/window.h"
#include "host/rc.h"

namespace {

using box::Screen;

TEST(WindowKeys, TheKeyboardTableAsTheRemote) {
  // PC keys by SDL's names (a modifier before "+"), each with the remote's key it gives ("-": none).
  const std::string table =
      "0>0, 5>5, 9>9, Keypad 0>0, Keypad 7>7, Up>up, Down>down, Left>left, Right>right, Return>ok, "
      "Keypad Enter>ok, Escape>exit, Backspace>exit, F1>red, F2>green, F3>yellow, F4>blue, R>red, G>green, "
      "Y>yellow, B>blue, Q>-, F5>-, Space>-, Ctrl+G>-, Alt+1>-, Shift+R>red, ";
  std::string got;
  for (size_t at = 0, end; (end = table.find(", ", at)) != std::string::npos; at = end + 2) {
    const std::string pc = table.substr(at, table.find('>', at) - at);
    std::string name = pc;
    uint16_t mod = 0;
    for (auto [prefix, m] : {std::pair{"Ctrl+", KMOD_LCTRL}, {"Alt+", KMOD_LALT}, {"Shift+", KMOD_LSHIFT}})
      if (name.rfind(prefix, 0) == 0) mod = m, name.erase(0, std::string(prefix).size());
    const int key = box::windowKey(SDL_GetKeyFromName(name.c_str()), mod);
    got += pc + ">" + (key < 0 ? "-" : rc::keyName(key)) + ", ";
  }
  EXPECT_EQ(got, table);
}

TEST(WindowScale, WholeFactorsThatFitAndPlacement) {
  // Display areas and the factor the window opens at.
  const struct {
    int w, h, scale;
  } scales[] = {
      {1024, 768, 1}, {1440, 1152, 2}, {1920, 1080 - 64, 1}, {2560, 1440 - 64, 2}, {3840, 2160 - 64, 3},
      {640, 480, 1},  {0, 0, 1}};
  for (const auto& s : scales) EXPECT_EQ(box::windowScale(s.w, s.h), s.scale) << s.w << "x" << s.h;
  const struct {
    int w, h;
    box::Placement want;
  } places[] = {
      {720, 576, {0, 0, 720, 576}},      {1440, 1152, {0, 0, 1440, 1152}}, {1000, 700, {140, 62, 720, 576}},
      {1500, 1152, {30, 0, 1440, 1152}}, {360, 288, {0, 0, 360, 288}},     {360, 576, {0, 144, 360, 288}},
      {719, 575, {0, 0, 719, 575}},      {180, 500, {0, 178, 180, 144}},   {0, 0, {0, 0, 1, 1}}};
  for (const auto& c : places) {
    const box::Placement p = box::placePicture(c.w, c.h);
    EXPECT_EQ(p, c.want) << c.w << "x" << c.h << " gave " << p.x << "," << p.y << " " << p.w << "x" << p.h;
  }
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    Screen::instance().reset();
    gPalette palette;
    palette.data = {{0, 0, 0}, {200, 10, 20}, {30, 220, 40}, {5, 6, 250, 255}};
    Screen::instance().setPalette(palette);
    Screen::instance().redrawDirty();  // nothing left to repaint over the pixels below
    gPixmap& fb = Screen::instance().framebuffer();
    fb.fill(eRect(0, 0, Screen::width, Screen::height), 2);
    fb.fill(eRect(10, 20, 30, 40), 1);
    fb.fill(eRect(700, 556, 20, 20), 3);
    std::string error;
    window = box::Window::open(2, &error);
    ASSERT_TRUE(window) << error;
    window->setKeySink([this](int key) { keys += std::string(key < 0 ? "-" : rc::keyName(key)) + " "; });
  }
  void TearDown() override {
    window.reset();
    Screen::instance().reset();
  }
  // "" when the window shows the screen with each pixel a scale x scale
  // block in its palette colour, opaque, at x0,y0 on black; else the first
  // pixel that differs.
  std::string differs(int scale, int x0, int y0) const {
    int w = 0, h = 0;
    const std::vector<uint32_t> px = window->pixels(&w, &h);
    const gPixmap& fb = Screen::instance().framebuffer();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int sx = x >= x0 ? (x - x0) / scale : -1, sy = y >= y0 ? (y - y0) / scale : -1;
        uint32_t want = 0;
        if (sx >= 0 && sy >= 0 && sx < Screen::width && sy < Screen::height) {
          const gRGB& c = fb.clut.data[fb.pixel(sx, sy)];
          want = uint32_t(c.r) << 16 | c.g << 8 | c.b;
        }
        if (px[size_t(y) * w + x] != want) return std::to_string(x) + "," + std::to_string(y);
      }
    return "";
  }
  void push(SDL_Keycode code) {  // SDLK_UNKNOWN: the window's close button
    SDL_Event e{};
    e.type = code == SDLK_UNKNOWN ? SDL_QUIT : SDL_KEYDOWN;
    e.key.keysym.sym = code;
    SDL_PushEvent(&e);
  }
  std::unique_ptr<box::Window> window;
  std::string keys;  // their names
};

TEST_F(WindowTest, ShowsTheFramebufferScaledAndRedrawsOnlyOnChange) {
  window->pump();
  window->pump();
  EXPECT_EQ(window->presented(), 1u) << "nothing changed, yet the window was redrawn";
  EXPECT_EQ(differs(2, 0, 0), "");

  Screen::instance().framebuffer().fill(eRect(0, 0, 1, 1), 3);
  Screen::instance().invalidate(eRect(100, 100, 2, 2));
  Screen::instance().redrawDirty();  // paints the area with colour 0
  window->pump();
  EXPECT_EQ(window->presented(), 2u);
  EXPECT_EQ(differs(2, 0, 0), "");

  // A larger window shows the picture at the largest whole factor, centred.
  window->resize(1600, 1200);
  window->pump();
  EXPECT_EQ(window->presented(), 3u);
  EXPECT_EQ(differs(2, 80, 24), "");
}

TEST_F(WindowTest, KeysReachTheRemoteAndClosingLeavesWithExitKeys) {
  int closes = 0;
  window->setOnClose([&] { ++closes; });
  for (SDL_Keycode k : {SDLK_1, SDLK_F2, SDLK_DOWN, SDLK_SPACE, SDLK_RETURN, SDLK_BACKSPACE}) push(k);
  window->pump();
  EXPECT_EQ(keys, "1 green down ok exit ");
  EXPECT_FALSE(window->closed());

  keys.clear();
  push(SDLK_UNKNOWN);
  push(SDLK_g);  // after the close: not for the plug-in any more
  // Exit again and again while the plug-in has not left, 50 ms apart.
  const uint32_t until = SDL_GetTicks() + 2000;
  while (keys != "exit exit exit " && SDL_GetTicks() < until) {
    window->pump();
    SDL_Delay(5);
  }
  EXPECT_TRUE(window->closed());
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(keys, "exit exit exit ");
}

TEST(WindowOpen, NoDisplayIsAClearError) {
  // Only the drivers that show nothing are left: they count as no display.
  const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  for (const char* name : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
  std::string error;
  EXPECT_FALSE(box::Window::open(1, &error));
  EXPECT_EQ(error, "no display to open a window on (DISPLAY is not set)");
  if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
}

}  // namespace
