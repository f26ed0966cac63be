// The plug-in's entry point: the host calls it and waits for it to return.
#include "entry/evantrel.h"

extern "C" int plugin_exec() {
  eVantrel dialog;
  dialog.show();
  dialog.exec();
  dialog.hide();
  return 0;
}
