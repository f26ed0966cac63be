#pragma once
// Bringing the box up, running the plug-in once with a key script, and
// taking it all down again.
#include "box/runner/options.h"

namespace box {

// The box's exit status (see usage()). Messages go to standard error.
int run(const Options& options);

}  // namespace box
