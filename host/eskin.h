#pragma once
// Skins: named colours and schemes, decorations for widgets, and layouts that
// place a window's children by widget name.
#include <map>
#include <memory>

#include "estring.h"
#include "gfont.h"
#include "gpixmap.h"

#pragma GCC visibility push(default)

class eWidget;
typedef eWidget* (*tWidgetCreator)(eWidget* parent);

class eSkin {
 public:
  eSkin();
  ~eSkin();
  eSkin(const eSkin&) = delete;
  eSkin& operator=(const eSkin&) = delete;

  // Reads a skin file; 0 on success. Paths resolve under the box's root.
  int load(const char* filename);
  // Lays out widget from the layout of that name; 0 on success.
  int build(eWidget* widget, const char* name);

  gColor queryColor(const eString& name);   // colour 0 for an unknown name
  gColor queryScheme(const eString& name);  // scheme, falling back to colour
  int queryValue(const eString& name, int fallback);

  // The box's additions: decorations, fonts and the palette.
  struct Deco {
    bool valid = false;
    int borderWidth = 0;
    gColor border, background, focusBorder;
  };
  Deco queryDeco(const eString& name);
  gFont queryFont(const eString& name);  // "global.normal", "eWindow.title", ...
  const gPalette& palette() const;

  void makeActive();
  static eSkin* getActive();

  static void addWidgetCreator(const eString& name, tWidgetCreator creator);
  static void removeWidgetCreator(const eString& name, tWidgetCreator creator);
  static tWidgetCreator findWidgetCreator(const eString& name);

  struct Data;
  std::unique_ptr<Data> data;  // the box's
};

#pragma GCC visibility pop
