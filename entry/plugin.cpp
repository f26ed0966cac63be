// Placeholder until the dialog lands.
extern "C" int plugin_exec() { return 0; }
