#pragma once
// Runs a sweep with the dialog's parameters: the four five-digit texts
// (start, end, step in MHz, symbol rate in ksymbols/s) and the polarisation
// key, in that order. Returns when the sweep has ended.
void runSweep(const char* start, const char* end, const char* step, const char* sr, int pol);
