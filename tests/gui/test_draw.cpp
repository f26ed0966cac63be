// Drawing primitives that must never write outside their target, text that
// stays in its box, skin files with faults, layouts placing children by name,
// and screenshots read back pixel for pixel.
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "box/base/paths.h"
#include "box/gui/png.h"
#include "gui/gui_fixture.h"
#include "host/elabel.h"
#include "host/eskin.h"
#include "host/ewindow.h"
#include "host/grc.h"
#include "test_dir.h"

namespace {

constexpr int kSentinel = 7;

int countOf(const gPixmap& p, int value, const eRect& r) {
  int n = 0;
  for (int y = r.top(); y < r.bottom(); ++y)
    for (int x = r.left(); x < r.right(); ++x) n += p.pixel(x, y) == value;
  return n;
}

TEST(Pixmap, LinesAndFillsFarOutsideAreClippedToThePixmap) {
  gImage img(eSize(40, 30), 8);
  img.fill(eRect(-1000000, -1000000, 3000000, 3000000), kSentinel);
  EXPECT_EQ(countOf(img, kSentinel, eRect(0, 0, 40, 30)), 40 * 30);

  // A nearly horizontal line crossing the image from far away on both sides.
  img.line(ePoint(-100000, 10), ePoint(100000, 10), 3);
  EXPECT_EQ(countOf(img, 3, eRect(0, 10, 40, 1)), 40);
  EXPECT_EQ(countOf(img, 3, eRect(0, 0, 40, 30)), 40);
  // Entirely outside: nothing changes.
  img.line(ePoint(-50, -50), ePoint(-1, 100), 4);
  img.line(ePoint(40, 0), ePoint(40, 29), 4);
  EXPECT_EQ(countOf(img, 4, eRect(0, 0, 40, 30)), 0);
  // A vertical segment through the image, its ends far out.
  img.line(ePoint(5, -70000), ePoint(5, 70000), 5);
  EXPECT_EQ(countOf(img, 5, eRect(0, 0, 40, 30)), 30);
  EXPECT_EQ(countOf(img, 5, eRect(5, 0, 1, 30)), 30);
}

class PainterTest : public GuiTest {};

TEST_F(PainterTest, TextStaysInsideItsRectangleAndTheClip) {
  gImage img(eSize(200, 60), 8);
  img.clut = eSkin::getActive()->palette();
  img.fill(eRect(0, 0, 200, 60), kSentinel);
  const eRect box(20, 10, 60, 24);
  {
    gPainter p(img, ePoint(0, 0), eRect(0, 0, 200, 60));
    p.setFont(eSkin::getActive()->queryFont("global.normal"));
    p.setForegroundColor(eSkin::getActive()->queryColor("std_white"));
    p.setBackgroundColor(kSentinel);
    p.renderText(box, "Vantrel Vantrel Vantrel", 0);
  }
  const int inside = box.width() * box.height() - countOf(img, kSentinel, box);
  EXPECT_GT(inside, 20) << "the text was drawn";
  EXPECT_EQ(200 * 60 - countOf(img, kSentinel, eRect(0, 0, 200, 60)), inside) << "nothing outside its box";

  // A clip narrower than the rectangle wins.
  img.fill(eRect(0, 0, 200, 60), kSentinel);
  {
    gPainter p(img, ePoint(0, 0), eRect(0, 0, 200, 60));
    p.setFont(eSkin::getActive()->queryFont("global.normal"));
    p.setForegroundColor(eSkin::getActive()->queryColor("std_white"));
    p.setBackgroundColor(kSentinel);
    p.clip(eRect(20, 10, 15, 24));
    p.renderText(box, "Vantrel", 0);
    p.clippop();
  }
  EXPECT_GT(15 * 24 - countOf(img, kSentinel, eRect(20, 10, 15, 24)), 0);
  EXPECT_EQ(countOf(img, kSentinel, eRect(35, 0, 165, 60)), 165 * 60);
}

// Skin files written into the test's own folder, which is the box's root
// while the test runs.
class SkinTest : public GuiTest {
 protected:
  SkinTest() { language = "C"; }
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(GuiTest::SetUp());
    dir = vantrel_test::testDir();
    box::setRoot(dir.string());
  }
  std::string write(const std::string& name, const std::string& text) {
    std::string file = "/vantrel-skin-test-" + name + ".esml";
    std::ofstream(box::resolve(file), std::ios::binary) << text;
    return file;
  }
  std::string warnings() const {
    std::string all;
    for (const auto& e : events("log"))
      if (e.value("level", "") == "warning") all += e.value("text", "") + "\n";
    return all;
  }
  std::filesystem::path dir;
};

TEST_F(SkinTest, FaultyFilesAreRefusedNamingFileAndLine) {
  eSkin skin;
  EXPECT_NE(skin.load("/tmp/vantrel-no-such-skin.esml"), 0);
  EXPECT_NE(warnings().find("vantrel-no-such-skin.esml: cannot be read"), std::string::npos) << warnings();

  std::string broken = write("broken", "<skin>\n<colors>\n<color name=\"a\" color=\"#ffffff\">\n</skin>\n");
  EXPECT_NE(skin.load(broken.c_str()), 0);
  EXPECT_NE(warnings().find("vantrel-skin-test-broken.esml:"), std::string::npos) << warnings();
}

TEST_F(SkinTest, LayoutPlacesChildrenByNameAndUnknownNamesFallBack) {
  std::string file = write("layout",
                           "<skin><colors><color name=\"test_pink\" color=\"#ff80c0\"/></colors>"
                           "<layout name=\"win\">"
                           "<widget name=\"first\" position=\"10,20\" size=\"100,30\"/>"
                           "<widget name=\"second\" position=\"10,60\" size=\"120,30\"/>"
                           "</layout></skin>");
  eSkin skin;
  ASSERT_EQ(skin.load(file.c_str()), 0) << warnings();
  eWindow window(1);
  window.resize(eSize(400, 300));
  auto* first = new eLabel(&window);
  first->setName("first");
  auto* second = new eLabel(&window);
  second->setName("second");
  ASSERT_EQ(skin.build(&window, "win"), 0) << warnings();
  EXPECT_EQ(first->getPosition(), ePoint(10, 20));
  EXPECT_EQ(first->getSize(), eSize(100, 30));
  EXPECT_EQ(second->getPosition(), ePoint(10, 60));
  EXPECT_NE(skin.build(&window, "nowhere"), 0);

  // A later skin's colours join the palette; unknown names give colour 0.
  gColor pink = eSkin::getActive()->queryColor("test_pink");
  EXPECT_NE(int(pink), 0);
  EXPECT_EQ(eSkin::getActive()->palette().data[pink], gRGB(0xff, 0x80, 0xc0));
  EXPECT_EQ(int(eSkin::getActive()->queryColor("no_such_colour")), 0);
}

TEST(Png, PaletteScreenshotReadsBackPixelForPixel) {
  gImage img(eSize(13, 7), 8);
  img.clut.data = {gRGB(0, 0, 0), gRGB(255, 0, 0), gRGB(0, 255, 0), gRGB(10, 20, 30)};
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) img.data[y * img.stride + x] = uint8_t((x + y) % 4);
  const std::string path = (vantrel_test::testDir() / "roundtrip.png").string();
  std::string error;
  ASSERT_TRUE(box::writePalettePng(img, path, &error)) << error;

  png_image back{};
  back.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&back, path.c_str()));
  EXPECT_EQ(back.width, 13u);
  EXPECT_EQ(back.height, 7u);
  back.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(back));
  ASSERT_TRUE(png_image_finish_read(&back, nullptr, rgb.data(), 0, nullptr));
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) {
      const gRGB& want = img.clut.data[(x + y) % 4];
      const uint8_t* got = &rgb[(y * 13 + x) * 3];
      ASSERT_EQ(got[0], want.r) << x << "," << y;
      ASSERT_EQ(got[1], want.g);
      ASSERT_EQ(got[2], want.b);
    }
}

}  // namespace
