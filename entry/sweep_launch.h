#pragma once
// Runs a sweep with the dialog's parameters: the four five-digit texts
// (start, end, step in MHz, symbol rate in ksymbols/s) and the polarisation
// key. The dialog is hidden while it runs and shown again afterwards.
class eWidget;

void runSweep(eWidget* dialog, const char* start, const char* end, const char* step, const char* sr, int pol);
