#pragma once
// The service interface: what is playing, and playing something else.
#include "dvb.h"

#pragma GCC visibility push(default)

class eServiceInterface {
 public:
  static eServiceInterface* getInstance();
  int play(const eServiceReference& service);  // 0 on success
  eServiceReference service;                   // the service playing (type -1: none)
};

#pragma GCC visibility pop
