#include "box/gui/png.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "box/gui/screen.h"

namespace box {
namespace {

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

bool encode(std::FILE* f, const gPixmap& pm) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, pm.x, pm.y, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette(256);
  for (size_t i = 0; i < pm.clut.data.size() && i < 256; ++i)
    palette[i] = {pm.clut.data[i].r, pm.clut.data[i].g, pm.clut.data[i].b};
  png_set_PLTE(png, info, palette.data(), 256);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  for (int row = 0; row < pm.y; ++row) png_write_row(png, pm.data + row * pm.stride);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool writePalettePng(const gPixmap& pixmap, const std::string& path, std::string* error) {
  if (!pixmap.data || pixmap.x <= 0 || pixmap.y <= 0) return fail(error, path + ": nothing to write");
  std::string tmp = path + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return fail(error, path + ": " + std::strerror(errno));
  bool ok = encode(f, pixmap);
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    std::remove(tmp.c_str());
    return fail(error, path + ": the picture could not be written");
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::string why = std::strerror(errno);
    std::remove(tmp.c_str());
    return fail(error, path + ": " + why);
  }
  return true;
}

bool Screen::writePng(const std::string& path, std::string* error) const {
  return writePalettePng(const_cast<Screen*>(this)->framebuffer(), path, error);
}

}  // namespace box
