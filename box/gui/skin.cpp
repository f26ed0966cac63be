// Skins: colours (palette entries), schemes, fonts, values, decorations and
// layouts, read from XML. The active skin is the box's own; skins loaded
// later (a plug-in's) add their colours to its palette and fall back on it.
#include "host/eskin.h"

#include <tinyxml2.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "box/base/fileio.h"
#include "box/base/parse.h"
#include "box/base/paths.h"
#include "box/base/tr.h"
#include "box/gui/fonts.h"
#include "box/gui/screen.h"
#include "host/eerror.h"
#include "host/ewidget.h"

struct eSkin::Data {
  tinyxml2::XMLDocument doc;
  std::string file;
  std::map<std::string, int> colors;  // name -> palette index
  gPalette palette;
  std::map<std::string, std::string> schemes;  // name -> colour name
  std::map<std::string, std::string> fonts;    // name -> file
  std::map<std::string, gFont> fontmap;
  std::map<std::string, int> values;
  std::map<std::string, eSkin::Deco> decos;
  std::map<std::string, const tinyxml2::XMLElement*> layouts;
};

namespace {

eSkin* gActive = nullptr;

std::map<std::string, tWidgetCreator>& creators() {
  static std::map<std::string, tWidgetCreator> c;
  return c;
}

bool parseRGB(const char* s, gRGB& out) {
  if (!s || s[0] != '#' || std::strlen(s) != 7) return false;
  char* end = nullptr;
  long v = std::strtol(s + 1, &end, 16);
  if (*end) return false;
  out = gRGB(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
  return true;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// "x,y" with both from lo to hi.
bool parsePair(const char* s, int64_t lo, int64_t hi, int& a, int& b) {
  if (!s) return false;
  std::string_view text(s);
  size_t comma = text.find(',');
  if (comma == std::string_view::npos) return false;
  int64_t x = 0, y = 0;
  if (!box::parseInteger(trimmed(text.substr(0, comma)), lo, hi, &x) ||
      !box::parseInteger(trimmed(text.substr(comma + 1)), lo, hi, &y))
    return false;
  a = int(x);
  b = int(y);
  return true;
}

}  // namespace

eSkin::eSkin() : data(new Data) {}

eSkin::~eSkin() {
  if (gActive == this) gActive = nullptr;
}

namespace {

// Reports a fault in a skin file with its line, and returns non-zero.
int fault(const std::string& file, const tinyxml2::XMLElement* e, const std::string& what) {
  eWarning(box::tr("skin %s:%d: %s"), box::printable(file, 200).c_str(), e ? e->GetLineNum() : 0,
           what.c_str());
  return 1;
}

// Names and values from the file, quoted for a message.
std::string quoted(const char* text) {
  return "\"" + box::printable(text ? text : "") + "\"";
}

// The integer attribute attr of e from lo to hi, or fallback when it is
// absent; non-zero after reporting a value that is not such a number.
int intAttribute(const std::string& file, const tinyxml2::XMLElement* e, const char* attr, int64_t lo,
                 int64_t hi, int fallback, int* out) {
  const char* text = e->Attribute(attr);
  int64_t v = fallback;
  if (text && !box::parseInteger(trimmed(text), lo, hi, &v))
    return fault(file, e,
                 box::trf("%s must be a number from %lld to %lld, not %s", attr, (long long)lo, (long long)hi,
                          quoted(text).c_str()));
  *out = int(v);
  return 0;
}

}  // namespace

namespace {

// A colour: the active skin's palette is the screen's, so a later skin's
// colours join it there.
int loadColor(eSkin* skin, const tinyxml2::XMLElement* e, const char* name) {
  eSkin::Data& d = *skin->data;
  gRGB rgb;
  if (!parseRGB(e->Attribute("color"), rgb))
    return fault(d.file, e, box::trf("bad colour of %s", quoted(name).c_str()));
  int alpha = 0;
  if (intAttribute(d.file, e, "alpha", 0, 255, 0, &alpha)) return 1;
  rgb.a = uint8_t(alpha);
  if (gActive && gActive != skin) {
    int index = gActive->queryColor(name);
    if (!gActive->data->colors.count(name)) {
      if (gActive->data->palette.data.size() >= 256) return fault(d.file, e, box::tr("the palette is full"));
      index = int(gActive->data->palette.data.size());
      gActive->data->palette.data.push_back(rgb);
      gActive->data->colors[name] = index;
      box::Screen::instance().setPalette(gActive->data->palette);
    }
    d.colors[name] = index;
  } else {
    if (d.palette.data.size() >= 256) return fault(d.file, e, box::tr("the palette is full"));
    d.colors[name] = int(d.palette.data.size());
    d.palette.data.push_back(rgb);
  }
  return 0;
}

// One entry e of the section sec (of that kind); non-zero on a fault.
int loadEntry(eSkin* skin, const std::string& kind, const tinyxml2::XMLElement* sec,
              const tinyxml2::XMLElement* e) {
  eSkin::Data& d = *skin->data;
  const char* name = e->Attribute("name");
  if (!name) return fault(d.file, e, box::trf("<%s> needs a name", box::printable(e->Name()).c_str()));
  if (kind == "colors") return loadColor(skin, e, name);
  if (kind == "colorscheme") {
    const char* c = e->Attribute("color");
    if (!c) return fault(d.file, e, box::trf("scheme %s needs a color", quoted(name).c_str()));
    d.schemes[name] = c;
  } else if (kind == "fonts") {
    const char* f = e->Attribute("file");
    if (!f) return fault(d.file, e, box::trf("font %s needs a file", quoted(name).c_str()));
    d.fonts[name] = f;
    box::FontEngine::instance().namesChanged();
  } else if (kind == "fontmap") {
    const char* f = e->Attribute("font");
    int size = 0;
    if (!f || !e->Attribute("size"))
      return fault(d.file, e, box::trf("font map %s needs a font and a size", quoted(name).c_str()));
    if (intAttribute(d.file, e, "size", 1, box::kMaxFontSize, 0, &size)) return 1;
    d.fontmap[name] = gFont(f, size);
  } else if (kind == "values") {
    int value = 0;
    if (intAttribute(d.file, e, "value", -box::kMaxSkinCoordinate, box::kMaxSkinCoordinate, 0, &value))
      return 1;
    d.values[name] = value;
  } else if (kind == "decorations") {
    eSkin::Deco deco;
    deco.valid = true;
    if (intAttribute(d.file, e, "width", 0, box::kMaxSkinCoordinate, 0, &deco.borderWidth)) return 1;
    if (const char* c = e->Attribute("border")) deco.border = skin->queryColor(c);
    if (const char* c = e->Attribute("background")) deco.background = skin->queryColor(c);
    deco.focusBorder = deco.border;
    if (const char* c = e->Attribute("focus")) deco.focusBorder = skin->queryColor(c);
    d.decos[name] = deco;
  } else {
    return fault(d.file, sec, box::trf("unknown section <%s>", box::printable(kind).c_str()));
  }
  return 0;
}

}  // namespace

int eSkin::load(const char* filename) {
  Data& d = *data;
  d.file = box::resolve(filename ? filename : "");
  std::string text, why;
  if (!box::readWholeFile(d.file, &text, &why, box::kMaxSkinBytes)) {
    // why is "PATH: reason"; the path is shown once, escaped.
    if (why.compare(0, d.file.size() + 2, d.file + ": ") == 0) why.erase(0, d.file.size() + 2);
    eWarning(box::tr("skin %s: cannot be read: %s"), box::printable(d.file, 200).c_str(), why.c_str());
    return 1;
  }
  if (d.doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
    eWarning("skin %s:%d: %s", box::printable(d.file, 200).c_str(), d.doc.ErrorLineNum(),
             box::printable(d.doc.ErrorStr(), 120).c_str());
    return 1;
  }
  const tinyxml2::XMLElement* root = d.doc.RootElement();
  if (!root || std::strcmp(root->Name(), "skin") != 0)
    return fault(d.file, root, box::tr("the root element must be <skin>"));
  for (const auto* sec = root->FirstChildElement(); sec; sec = sec->NextSiblingElement()) {
    std::string kind = sec->Name();
    if (kind == "layout") {
      const char* name = sec->Attribute("name");
      if (!name) return fault(d.file, sec, box::tr("a layout needs a name"));
      d.layouts[name] = sec;
      continue;
    }
    for (const auto* e = sec->FirstChildElement(); e; e = e->NextSiblingElement())
      if (int err = loadEntry(this, kind, sec, e)) return err;
  }
  return 0;
}

gColor eSkin::queryColor(const eString& name) {
  auto it = data->colors.find(name);
  if (it != data->colors.end()) return it->second;
  if (gActive && gActive != this) return gActive->queryColor(name);
  return 0;
}

gColor eSkin::queryScheme(const eString& name) {
  auto it = data->schemes.find(name);
  if (it != data->schemes.end()) return queryColor(it->second);
  if (gActive && gActive != this && gActive->data->schemes.count(name)) return gActive->queryScheme(name);
  return queryColor(name);
}

int eSkin::queryValue(const eString& name, int fallback) {
  auto it = data->values.find(name);
  if (it != data->values.end()) return it->second;
  if (gActive && gActive != this) return gActive->queryValue(name, fallback);
  return fallback;
}

eSkin::Deco eSkin::queryDeco(const eString& name) {
  auto it = data->decos.find(name);
  if (it != data->decos.end()) return it->second;
  if (gActive && gActive != this) return gActive->queryDeco(name);
  return Deco();
}

gFont eSkin::queryFont(const eString& name) {
  auto it = data->fontmap.find(name);
  if (it != data->fontmap.end()) return it->second;
  if (gActive && gActive != this) return gActive->queryFont(name);
  return gFont();
}

const gPalette& eSkin::palette() const {
  return data->palette;
}

void eSkin::makeActive() {
  gActive = this;
  box::FontEngine::instance().namesChanged();
}
eSkin* eSkin::getActive() {
  return gActive;
}

void eSkin::addWidgetCreator(const eString& name, tWidgetCreator creator) {
  creators()[name] = creator;
}

void eSkin::removeWidgetCreator(const eString& name, tWidgetCreator creator) {
  auto it = creators().find(name);
  if (it != creators().end() && it->second == creator) creators().erase(it);
}

tWidgetCreator eSkin::findWidgetCreator(const eString& name) {
  auto it = creators().find(name);
  return it == creators().end() ? nullptr : it->second;
}

namespace {

// Applies one element's geometry and attributes to w; non-zero on a fault.
int apply(eSkin& skin, const std::string& file, eWidget* w, const tinyxml2::XMLElement* e) {
  int err = 0;
  for (const auto* a = e->FirstAttribute(); a; a = a->Next()) {
    std::string n = a->Name();
    if (n == "name" || n == "type") continue;
    int x = 0, y = 0;
    if (n == "position" || n == "size" || n == "cposition" || n == "csize") {
      // Positions may lie off screen; sizes are never negative.
      const bool isSize = n == "size" || n == "csize";
      const int64_t lo = isSize ? 0 : -box::kMaxSkinCoordinate;
      if (!parsePair(a->Value(), lo, box::kMaxSkinCoordinate, x, y)) {
        err |= fault(file, e,
                     box::trf("%s must be \"x,y\" with each from %lld to %lld, not %s", n.c_str(),
                              (long long)lo, (long long)box::kMaxSkinCoordinate, quoted(a->Value()).c_str()));
        continue;
      }
      if (n == "position") w->move(ePoint(x, y));
      if (n == "cposition") w->cmove(ePoint(x, y));
      if (n == "size") w->resize(eSize(x, y));
      if (n == "csize") w->cresize(eSize(x, y));
      continue;
    }
    if (w->setProperty(n, a->Value()) != 0)
      err |= fault(file, e,
                   box::trf("property %s=%s not understood by %s", box::printable(n).c_str(),
                            quoted(a->Value()).c_str(), w->typeName()));
  }
  (void)skin;
  return err;
}

int buildChildren(eSkin& skin, const std::string& file, eWidget* parent, const tinyxml2::XMLElement* e) {
  int err = 0;
  for (const auto* c = e->FirstChildElement("widget"); c; c = c->NextSiblingElement("widget")) {
    const char* name = c->Attribute("name");
    const char* type = c->Attribute("type");
    eWidget* child = name ? parent->search(name) : nullptr;
    if (!child && type) {
      tWidgetCreator create = eSkin::findWidgetCreator(type);
      if (!create) {
        err |= fault(file, c, box::trf("no widget type %s", quoted(type).c_str()));
        continue;
      }
      child = create(parent);
      if (name) child->setName(name);
    }
    if (!child) {
      err |= fault(file, c, box::trf("no widget named %s", name ? quoted(name).c_str() : box::tr("(none)")));
      continue;
    }
    err |= apply(skin, file, child, c);
    err |= buildChildren(skin, file, child, c);
  }
  return err;
}

}  // namespace

int eSkin::build(eWidget* widget, const char* name) {
  auto it = data->layouts.find(name ? name : "");
  if (it == data->layouts.end()) {
    eWarning(box::tr("skin %s: no layout %s"), box::printable(data->file, 200).c_str(), quoted(name).c_str());
    return 1;
  }
  int err = apply(*this, data->file, widget, it->second);
  err |= buildChildren(*this, data->file, widget, it->second);
  return err;
}

namespace box {

std::string fontFileFor(const std::string& family) {
  std::string file = "DejaVuSans.ttf";
  if (eSkin* skin = eSkin::getActive()) {
    auto it = skin->data->fonts.find(family);
    if (it != skin->data->fonts.end()) file = it->second;
  }
  if (!file.empty() && file[0] == '/') return file;
  return "/usr/share/fonts/truetype/dejavu/" + file;
}

}  // namespace box
