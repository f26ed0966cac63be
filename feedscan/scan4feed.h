#pragma once
// The feed scan window: runs the host's service scan on the one transponder
// the sweep has just tuned, and shows the services found, the transponder
// being scanned, a progress bar and an estimate of the time left. Its layout
// comes entirely from the plug-in's skin file.
#include <cstdint>

#include "host/ebase.h"
#include "host/ebutton.h"
#include "host/elabel.h"
#include "host/eprogress.h"
#include "host/ewindow.h"

class eTransponder;
struct eDVBEvent;
struct eServiceReferenceDVB;

class scan4feed : public eWindow {
 public:
  // tp is read during construction only; the caller keeps it.
  explicit scan4feed(eTransponder* tp);
  ~scan4feed() override;

  // Hands the transponder to the scan controller and sets the scan's options;
  // the scan itself starts with the modal run.
  void startScan();
  int eventHandler(const eWidgetEvent& event) override;
  void dvbEvent(const eDVBEvent& event);
  void serviceFound(const eServiceReferenceDVB& service, bool newService);
  void updateTime();

  // Shown in the name and provider labels when the transponder list has no
  // record of a reported service.
  static constexpr const char* kUnknown = "(sconosciuto)";

 private:
  void showProgress();
  void finishTransponder();

  eTimer timer;  // 1 s tick from the scan's first tune to its end
  eTransponder* transponder;
  eLabel* state;
  eLabel* time_left;
  eLabel* service_name;
  eLabel* service_provider;
  eLabel* transponder_data;
  eLabel* services_scanned;
  eLabel* transponder_scanned;
  eProgress* scan_progress;
  eButton* bAnnulla;
  int32_t transpondersLeft = 0;
  int32_t secondsElapsed = 0;
  int32_t transpondersScanned = 0;
  int32_t servicesFound = 0;
  bool transponderUnderWay = false;  // event 5 came and its transponder is not finished yet
};
