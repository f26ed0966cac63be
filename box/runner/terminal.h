#pragma once
// Remote-control keys from the terminal, for people trying the box by hand.
namespace box {

// Starts reading keys from standard input (raw mode) when it is a terminal;
// false when it is not one.
bool startTerminalKeys();
void stopTerminalKeys();

// The remote-control key for what one read from the terminal gave, or -1.
int terminalKey(const unsigned char* bytes, int count);

}  // namespace box
