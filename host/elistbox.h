#pragma once
// A list of entries with a current one, moved with up/down.
#include <vector>

#include "ewidget.h"

#pragma GCC visibility push(default)

class eListBoxBase;

class eListBoxEntry {
 public:
  explicit eListBoxEntry(eListBoxBase* parent, const eString& helptext = "");
  virtual ~eListBoxEntry();
  virtual const eString& getText() const = 0;
  virtual void draw(gPainter* painter, const eRect& area, bool selected) = 0;
  const eString& getHelpText() const { return helptext; }

 protected:
  eListBoxBase* listbox;
  eString helptext;
};

class eListBoxBase : public eWidget {
 public:
  eListBoxBase(eWidget* parent, eWidget* descr, int takefocus, int itemHeight, const char* deco);
  ~eListBoxBase() override;
  int keyDown(int key) override;
  void gotFocus() override;
  void lostFocus() override;
  void redrawWidget(gPainter* target, const eRect& area) override;
  const char* typeName() const override { return "eListBox"; }

  enum { flagNoUpDownMovement = 2, flagShowEntryHelp = 4, flagLostFocusOnFirst = 8 };
  void setFlags(int flags);
  int getFlags() const { return flags; }
  int getCount() const { return int(entries.size()); }
  int getCurrentIndex() const { return current; }
  void setCurrentIndex(int index);
  void append(eListBoxEntry* entry);  // takes ownership
  void clearList();

  sigc::signal<void(eListBoxEntry*)> selchangedBase;
  sigc::signal<void(eListBoxEntry*)> selectedBase;

 protected:
  eListBoxEntry* currentBase() const { return current >= 0 ? entries[current] : nullptr; }
  std::vector<eListBoxEntry*> entries;
  int current = -1;  // the first entry appended becomes current
  int top = 0;       // first visible entry
  int itemHeight;
  int flags = 0;
  eWidget* descr;
};

template <class T>
class eListBox : public eListBoxBase {
 public:
  eListBox(eWidget* parent, eWidget* descr = nullptr, int takefocus = 1, int itemHeight = 0,
           const char* deco = "eListBox")
      : eListBoxBase(parent, descr, takefocus, itemHeight ? itemHeight : T::getEntryHeight(), deco) {}
  T* getCurrent() const { return static_cast<T*>(currentBase()); }
};

class eListBoxEntryText : public eListBoxEntry {
 public:
  eListBoxEntryText(eListBox<eListBoxEntryText>* listbox, const char* text = nullptr, int key = 0,
                    int align = 0, const eString& helptext = "");
  ~eListBoxEntryText() override;
  const eString& getText() const override { return text; }
  void draw(gPainter* painter, const eRect& area, bool selected) override;
  int getKey() const { return key; }
  static int getEntryHeight();

 protected:
  eString text;
  int key;
  int align;
};

#pragma GCC visibility pop
