#include "box/gui/png.h"

#include <png.h>

#include <vector>

#include "box/base/fileio.h"
#include "box/base/tr.h"
#include "box/gui/screen.h"

namespace box {
namespace {

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

void append(png_structp png, png_bytep data, png_size_t size) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), size);
}

void noFlush(png_structp) {}

}  // namespace

bool encodePalettePng(const gPixmap& pm, std::string* out) {
  if (!pm.data || pm.x <= 0 || pm.y <= 0) return false;
  // Everything with a destructor is made before setjmp: a longjmp back out
  // of libpng must not skip one.
  std::string bytes;
  std::vector<png_color> palette(256);
  for (size_t i = 0; i < pm.clut.data.size() && i < 256; ++i)
    palette[i] = {pm.clut.data[i].r, pm.clut.data[i].g, pm.clut.data[i].b};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, &bytes, &append, &noFlush);
  png_set_IHDR(png, info, pm.x, pm.y, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, palette.data(), 256);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  for (int row = 0; row < pm.y; ++row) png_write_row(png, pm.data + row * pm.stride);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  *out = std::move(bytes);
  return true;
}

bool writePalettePng(const gPixmap& pixmap, const std::string& path, std::string* error) {
  std::string png;
  if (!encodePalettePng(pixmap, &png))
    return fail(error, trf("%s: the picture could not be made", printable(path, 200).c_str()));
  std::string why;
  if (!writeFileAtomic(path, png, &why, false)) return fail(error, printable(why, 300));
  return true;
}

bool Screen::writePng(const std::string& path, std::string* error) const {
  return writePalettePng(const_cast<Screen*>(this)->framebuffer(), path, error);
}

}  // namespace box
