#pragma once
// Frequencies in whole MHz, wherever the box shows or writes them (the exit
// summary, channel files, service references, the transponder widget), come
// from one rule, so that one transponder never reads 11535 in one place and
// 11536 in another: half a MHz and more goes up, as VDR's channel files have
// it. Files that carry kHz keep them.
namespace box {

// kHz as tuned and kept: never negative.
constexpr int wholeMHz(int kHz) {
  return int((kHz + 500LL) / 1000);  // no overflow near INT_MAX
}

}  // namespace box
