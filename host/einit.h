#pragma once
// Auto-init: objects that are brought up when the host reaches their level,
// and taken down again in reverse order.

#pragma GCC visibility push(default)

class eAutoInit {
 public:
  eAutoInit(int level, const char* description) : rl(level), description(description) {}
  virtual ~eAutoInit();
  virtual void initNow() = 0;
  virtual void closeNow() = 0;
  int getRunlevel() const { return rl; }
  const char* getDescription() const { return description; }

 protected:
  int rl;
  const char* description;
};

class eInit {
 public:
  // Calls initNow at once when the level has been reached already.
  static void add(int level, eAutoInit* object);
  // Calls closeNow first when the object was brought up.
  static void remove(int level, eAutoInit* object);
  static void setRunlevel(int level);  // brings levels up or down to level
  static int getCurrentLevel();
};

// The common auto-init: makes a T at initNow and deletes it at closeNow.
template <class T>
class eAutoInitP0 : public eAutoInit {
 public:
  eAutoInitP0(int level, const char* description) : eAutoInit(level, description) { eInit::add(rl, this); }
  ~eAutoInitP0() override {
    eInit::remove(rl, this);
    delete t;
  }
  void initNow() override {
    if (!t) t = new T();
  }
  void closeNow() override {
    delete t;
    t = nullptr;
  }
  T* getInstance() const { return t; }

 private:
  T* t = nullptr;
};

#pragma GCC visibility pop
