#pragma once
// The toolkit's widget: a node of the widget tree, which owns its children.
// The order of the virtual functions is part of the host's binary contract;
// classes compiled against this header rely on it.
#include <sigc++/sigc++.h>

#include <list>

#include "erect.h"
#include "estring.h"
#include "gfont.h"
#include "gpixmap.h"

#pragma GCC visibility push(default)

class gPainter;
class eWidget;

struct eWidgetEvent {
  enum eventType {
    evtKeyDown = 0,  // parameter: the rc key
    evtKeyUp = 1,    // parameter: the rc key
    willClose = 2,   // close() or reject() is ending the widget's modal run
    execBegin = 3,   // the modal run begins
    execDone = 4,    // the modal run has ended; sent when exec() returns
    gotFocus = 5,
    lostFocus = 6,
    changedText = 7,
    changedFont = 8,
    changedForegroundColor = 9,
    changedBackgroundColor = 10,
    changedSize = 11,  // sent from within resize() and cresize()
    changedPosition = 12,
    willShow = 13,
    willHide = 14,
  };
  int type;
  int parameter;
  explicit eWidgetEvent(int type_, int parameter_ = 0) : type(type_), parameter(parameter_) {}
};

class eWidget : public sigc::trackable {
 public:
  explicit eWidget(eWidget* parent = nullptr, int takefocus = 0);

  // --- the virtual functions, in the host's order ---
  virtual ~eWidget();
  virtual void willShow();
  virtual void willHide();
  virtual void setPalette();
  virtual int eventFilter(const eWidgetEvent& event);  // non-zero: consumed before eventHandler
  virtual int keyDown(int key);                        // non-zero: handled
  virtual int keyUp(int key);
  virtual void gotFocus();
  virtual void lostFocus();
  virtual void recalcClientRect();  // derives clientrect from position and size
  virtual int eventHandler(const eWidgetEvent& event);
  virtual void redrawWidget(gPainter* target, const eRect& area);  // area: client coordinates
  virtual void eraseBackground(gPainter* target, const eRect& area);
  virtual int setProperty(const eString& prop, const eString& value);  // 0 when understood
  // --- box additions, after the host's ---
  virtual const char* typeName() const { return "eWidget"; }

  // Geometry. move/resize place the outer frame (in the parent's client
  // coordinates), cmove/cresize the client area. clientrect is up to date when
  // resize returns; resize sends changedSize from within.
  void move(ePoint position);
  void resize(eSize size);
  void cmove(ePoint clientPosition);
  void cresize(eSize clientSize);
  ePoint getPosition() const { return position; }
  eSize getSize() const { return size; }
  eRect getClientRect() const { return clientrect; }
  eSize getClientSize() const { return clientrect.size(); }
  // The client area's origin in screen coordinates.
  ePoint getAbsoluteClientPosition() const;

  void setText(const eString& label);
  const eString& getText() const { return text; }
  void setName(const char* name);
  const eString& getName() const { return name; }
  void setFont(const gFont& font);
  const gFont& getFont() const { return font; }
  void setForegroundColor(const gColor& color, bool invalidate = true);
  void setBackgroundColor(const gColor& color, bool invalidate = true);
  void setHelpText(const eString& help) { helptext = help; }

  // Applies the skin decoration named at construction (or by setDeco).
  int loadDeco();
  void setDeco(const char* decoName) { deco = decoName ? decoName : ""; }
  // Binds a colour key ("red", "green", "yellow", "blue") of the window to
  // this widget: pressing it acts as ok on it.
  void setShortcut(const eString& key);
  void setShortcutPixmap(const eString& key);
  const eString& getShortcut() const { return shortcut; }

  // Focus, within the top-level window: the focusable widgets in creation order.
  void setFocus(eWidget* widget);
  eWidget* getFocus() const;
  void focusNext(int direction);  // 0: next, 1: previous
  bool isFocusable() const { return takefocus != 0; }
  bool hasFocus() const { return getFocus() == this; }

  void show();
  void hide();
  bool isVisible() const;  // shown, and every parent too
  bool isShown() const { return shown; }

  // Runs a nested modal loop until close(code) or reject(); returns the code.
  // Sends execBegin when the run begins and execDone when it has ended.
  int exec();
  void close(int result);
  void reject() { close(-1); }
  void accept() { close(0); }
  bool isExecuting() const { return executing; }

  // Asks for a redraw of area (client coordinates; the null rectangle means
  // the whole widget) when the main loop is next idle.
  void invalidate(eRect area = eRect(), int force = 0);
  // Redraws area (client coordinates) and the children over it, now.
  void redraw(eRect area = eRect());

  eWidget* getParent() const { return parent; }
  eWidget* getTLW();  // the top-level widget (window) containing this one
  const std::list<eWidget*>& getChildren() const { return childlist; }
  // Finds a descendant by widget name (depth first), or nullptr.
  eWidget* search(const eString& name);

  // Delivers an event through eventFilter and eventHandler; returns the result.
  int event(const eWidgetEvent& event);

  // Read directly by widgets, as the host allows.
  eWidget* parent;
  gFont font;
  gColor foregroundColor, backgroundColor;
  eRect clientrect;  // client area in the widget's own outer coordinates

 protected:
  ePoint position;  // outer frame, in the parent's client coordinates
  eSize size;
  eString text, name, helptext, deco, shortcut, shortcutPixmap;
  int takefocus;
  bool shown = false;
  bool executing = false;
  bool closing = false;  // close() came before or during the modal run
  int loopLevel = 0;     // the main-loop level of the modal run
  int result = 0;
  std::list<eWidget*> childlist;
  std::list<eWidget*> focusList;  // top-level widgets only
  eWidget* focus = nullptr;       // top-level widgets only

  friend class eWidgetAccess;
};

#pragma GCC visibility pop
