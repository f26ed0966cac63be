#pragma once
// The A/V decoders.

#pragma GCC visibility push(default)

class Decoder {
 public:
  static void Flush();
  // While set, the decoders are held for a plug-in and the box plays nothing itself.
  static int locked;
};

#pragma GCC visibility pop
