#pragma once
// The DVB layer: transponders and their list, services, the DVB instance
// with its modes and events, and the scan controller.
#include <sigc++/sigc++.h>

#include <list>
#include <map>

#include "estring.h"

#pragma GCC visibility push(default)

class eTransponderList;
class eTransponder;

struct eDVBEvent {
  enum {
    eventTunedIn = 0,              // a tune has completed: one follows every tune
    eventScanBegin = 2,            // a scan starts on its queue of transponders
    eventScanTPadded = 3,          // one more transponder was queued
    eventScanTransponderDone = 4,  // the scan has finished a transponder
    eventScanTuneBegin = 5,        // the scan moves to a transponder
    eventScanCompleted = 15,       // the scan has finished
  };
  int type;
  int err;
  eTransponder* tp;
  eDVBEvent(int type_, int err_ = 0, eTransponder* tp_ = nullptr) : type(type_), err(err_), tp(tp_) {}
};

class eTransponder {
 public:
  struct satellite {
    bool valid = false;
    int frequency = 0;     // kHz
    int symbol_rate = 0;   // symbols/s
    int polarisation = 0;  // 0 horizontal, 1 vertical
    int fec = 0;
    int orbital_position = 0;  // tenths of a degree, east positive
    int inversion = 0;
  };

  explicit eTransponder(eTransponderList& list);
  eTransponder(const eTransponder&) = default;
  eTransponder& operator=(const eTransponder& other);  // keeps its own list
  ~eTransponder();  // a tune of it still in flight is dropped

  void setSatellite(int frequency, int symbol_rate, int polarisation, int fec, int orbital_position,
                    int inversion);
  // Starts tuning; the result comes later through eFrontend::tunedIn. 0: started.
  int tune();
  bool operator==(const eTransponder& o) const;

  eTransponderList& transponderList;
  satellite satellite;
};

// A reference to a service. type -1: none.
struct eServiceReference {
  enum { idInvalid = -1, idDVB = 1 };
  int type = idInvalid;
  int flags = 0;
  int data[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  eString path, descr;
  eServiceReference() = default;
  bool operator==(const eServiceReference& o) const;
  bool operator<(const eServiceReference& o) const;
};

// A DVB service: data[1] service id, data[2] transport stream id,
// data[3] original network id, data[4] orbital position, data[5] frequency MHz.
struct eServiceReferenceDVB : eServiceReference {
  eServiceReferenceDVB() { type = idDVB; }
  int getServiceID() const { return data[1]; }
  int getTransportStreamID() const { return data[2]; }
};

// What the list knows of a service.
struct eServiceDVB {
  eString service_name;
  eString service_provider;
  int service_type = 1;
  bool scrambled = false;
};

class eTransponderList {
 public:
  eTransponderList();
  ~eTransponderList();
  static eTransponderList* getInstance();

  // Leaves the transponder tuned now (nullptr: whatever it is).
  void leaveTransponder(eTransponder* tp);
  // The record of a service, or nullptr when the list has none.
  eServiceDVB* searchService(const eServiceReference& service);
  void addService(const eServiceReferenceDVB& ref, const eServiceDVB& record);
  const std::map<eServiceReferenceDVB, eServiceDVB>& getServices() const { return services; }
  // Keeps a transponder once (same frequency, symbol rate, polarisation and
  // orbital position); emits transponder_added when it is new. Returns the kept one.
  eTransponder* addTransponder(const eTransponder& tp);
  const std::list<eTransponder>& getKnownTransponders() const { return transponders; }

  sigc::signal<void(const eServiceReferenceDVB&, bool)> service_found;
  sigc::signal<void(eTransponder*)> transponder_added;

 private:
  std::map<eServiceReferenceDVB, eServiceDVB> services;
  std::list<eTransponder> transponders;
};

// The service player: what is playing, on which transponder.
class eDVBServiceController {
 public:
  eTransponder* transponder = nullptr;  // current transponder, or none
  eServiceReferenceDVB service;
};

class eDVBScanController {
 public:
  eDVBScanController();
  ~eDVBScanController();
  void addTransponder(const eTransponder& tp);
  void setUseONIT(int use);
  void setUseBAT(int use);
  void setNetworkSearch(int search);
  void setOnlyFree(int onlyFree);
  void setSkipOtherOrbitalPositions(int skip);
  void start();
  void abort();  // ends a running scan cleanly; harmless when none runs
  bool isRunning() const;

  // Transponders still to visit, the one being scanned included.
  std::list<eTransponder> knownTransponder;

  struct Impl;
  Impl* impl;  // the box's
};

class eDVB {
 public:
  enum { modeTV = 2, modeScan = 1 };
  static eDVB* getInstance() { return instance; }
  static eDVB* instance;

  eDVB();
  ~eDVB();
  void setMode(int mode);
  int getMode() const { return mode; }
  eDVBServiceController* getServiceAPI();  // nullptr in scan mode
  eDVBScanController* getScanAPI();        // present only in scan mode
  eTransponderList* getTransponders() { return transponderlist; }

  sigc::signal<void(const eDVBEvent&)> event;

 private:
  int mode = modeTV;
  eTransponderList* transponderlist;
  eDVBServiceController* serviceController;
  eDVBScanController* scanController = nullptr;
};

#pragma GCC visibility pop
