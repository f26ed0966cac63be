// Skins: colours (palette entries), schemes, fonts, values, decorations and
// layouts, read from XML. The active skin is the box's own; skins loaded
// later (a plug-in's) add their colours to its palette and fall back on it.
#include "host/eskin.h"

#include <tinyxml2.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "box/gui/fonts.h"
#include "box/gui/paths.h"
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

bool parsePair(const char* s, int& a, int& b) {
  if (!s) return false;
  char tail = 0;
  return std::sscanf(s, "%d,%d%c", &a, &b, &tail) == 2;
}

}  // namespace

eSkin::eSkin() : data(new Data) {}

eSkin::~eSkin() {
  if (gActive == this) gActive = nullptr;
}

namespace {

// Reports a fault in a skin file with its line, and returns non-zero.
int fault(const std::string& file, const tinyxml2::XMLElement* e, const std::string& what) {
  eWarning("skin %s:%d: %s", file.c_str(), e ? e->GetLineNum() : 0, what.c_str());
  return 1;
}

}  // namespace

int eSkin::load(const char* filename) {
  Data& d = *data;
  d.file = box::resolve(filename ? filename : "");
  if (d.doc.LoadFile(d.file.c_str()) != tinyxml2::XML_SUCCESS) {
    if (d.doc.ErrorID() == tinyxml2::XML_ERROR_FILE_NOT_FOUND ||
        d.doc.ErrorID() == tinyxml2::XML_ERROR_FILE_COULD_NOT_BE_OPENED)
      eWarning("skin %s: cannot be read", d.file.c_str());
    else
      eWarning("skin %s:%d: %s", d.file.c_str(), d.doc.ErrorLineNum(), d.doc.ErrorStr());
    return 1;
  }
  const tinyxml2::XMLElement* root = d.doc.RootElement();
  if (!root || std::strcmp(root->Name(), "skin") != 0)
    return fault(d.file, root, "the root element must be <skin>");
  for (const auto* sec = root->FirstChildElement(); sec; sec = sec->NextSiblingElement()) {
    std::string kind = sec->Name();
    if (kind == "layout") {
      const char* name = sec->Attribute("name");
      if (!name) return fault(d.file, sec, "a layout needs a name");
      d.layouts[name] = sec;
      continue;
    }
    for (const auto* e = sec->FirstChildElement(); e; e = e->NextSiblingElement()) {
      const char* name = e->Attribute("name");
      if (!name) return fault(d.file, e, std::string("<") + e->Name() + "> needs a name");
      if (kind == "colors") {
        gRGB rgb;
        if (!parseRGB(e->Attribute("color"), rgb))
          return fault(d.file, e, std::string("bad colour of ") + name);
        rgb.a = uint8_t(e->IntAttribute("alpha", 0));
        if (gActive && gActive != this) {
          // A later skin's colours join the active palette.
          int index = gActive->queryColor(name);
          if (!gActive->data->colors.count(name)) {
            if (gActive->data->palette.data.size() >= 256) return fault(d.file, e, "the palette is full");
            index = int(gActive->data->palette.data.size());
            gActive->data->palette.data.push_back(rgb);
            gActive->data->colors[name] = index;
            box::Screen::instance().setPalette(gActive->data->palette);
          }
          d.colors[name] = index;
        } else {
          if (d.palette.data.size() >= 256) return fault(d.file, e, "the palette is full");
          d.colors[name] = int(d.palette.data.size());
          d.palette.data.push_back(rgb);
        }
      } else if (kind == "colorscheme") {
        const char* c = e->Attribute("color");
        if (!c) return fault(d.file, e, std::string("scheme ") + name + " needs a color");
        d.schemes[name] = c;
      } else if (kind == "fonts") {
        const char* f = e->Attribute("file");
        if (!f) return fault(d.file, e, std::string("font ") + name + " needs a file");
        d.fonts[name] = f;
        box::FontEngine::instance().namesChanged();
      } else if (kind == "fontmap") {
        const char* f = e->Attribute("font");
        int size = e->IntAttribute("size", 0);
        if (!f || size <= 0)
          return fault(d.file, e, std::string("font map ") + name + " needs a font and a size");
        d.fontmap[name] = gFont(f, size);
      } else if (kind == "values") {
        d.values[name] = e->IntAttribute("value", 0);
      } else if (kind == "decorations") {
        Deco deco;
        deco.valid = true;
        deco.borderWidth = e->IntAttribute("width", 0);
        if (const char* c = e->Attribute("border")) deco.border = queryColor(c);
        if (const char* c = e->Attribute("background")) deco.background = queryColor(c);
        deco.focusBorder = deco.border;
        if (const char* c = e->Attribute("focus")) deco.focusBorder = queryColor(c);
        d.decos[name] = deco;
      } else {
        return fault(d.file, sec, "unknown section <" + kind + ">");
      }
    }
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
      if (!parsePair(a->Value(), x, y)) {
        err |= fault(file, e, n + " must be \"x,y\", not \"" + a->Value() + "\"");
        continue;
      }
      if (n == "position") w->move(ePoint(x, y));
      if (n == "cposition") w->cmove(ePoint(x, y));
      if (n == "size") w->resize(eSize(x, y));
      if (n == "csize") w->cresize(eSize(x, y));
      continue;
    }
    if (w->setProperty(n, a->Value()) != 0)
      err |= fault(file, e, "property " + n + " not understood by " + w->typeName());
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
        err |= fault(file, c, std::string("no widget type ") + type);
        continue;
      }
      child = create(parent);
      if (name) child->setName(name);
    }
    if (!child) {
      err |= fault(file, c, std::string("no widget named ") + (name ? name : "(none)"));
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
    eWarning("skin %s: no layout \"%s\"", data->file.c_str(), name ? name : "");
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
