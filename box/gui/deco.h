#pragma once
// Decorations: the border a skin gives a kind of widget, with a focus colour.
#include <string>

#include "host/ewidget.h"
#include "host/grc.h"

namespace box {

// Draws the decoration named deco around w's client area (when the skin
// has one) and returns the area left inside it, in client coordinates.
eRect drawDeco(gPainter* target, const eWidget* w, const std::string& deco, bool focused);

}  // namespace box
