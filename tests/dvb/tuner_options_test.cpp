// The real-tuner options on the box's command line: each fault is refused
// before anything runs, with exit 2 and one message naming the option or
// the device and the reason.
#include <gtest/gtest.h>

#include <filesystem>

#include "runner/box_run.h"

namespace {

class TunerOptions : public box_run::BoxRun {};

}  // namespace

TEST_F(TunerOptions, BadTunerSettingsAndMissingDevicesAreRefusedWithExit2) {
  const std::string trace = " --trace " + box_run::quote((dir / "trace.jsonl").string());
  const std::string needs =
      "--lnb, --diseqc, --delsys, --lock-timeout, --carrier-wait and --stream-id need --adapter";
  const std::string stream =
      "expects a stream from 0 to 255, or STREAM:GOLD with a PLS gold code from 0 to 262141, not ";
  struct Case {
    std::string args, message;
  } cases[] = {
      {"--adapter 99", "--adapter: /dev/dvb/adapter99/frontend0: no such adapter"},
      {"--adapter x", "--adapter: expects a number from 0 to 255, not 'x'"},
      {"--adapter 256", "--adapter: expects a number from 0 to 255, not '256'"},
      {"--adapter 99 --lnb NOPE", "--lnb: no LNB is called 'NOPE' (dvbv5-zap --lnbf help lists them)"},
      {"--adapter 99 --diseqc 4", "--diseqc: expects a number from 0 to 3, not '4'"},
      {"--adapter 99 --delsys dvbt", "--delsys: expects dvbs, dvbs2 or auto, not 'dvbt'"},
      {"--adapter 99 --lock-timeout 10", "--lock-timeout: expects a number from 50 to 60000, not '10'"},
      {"--adapter 99 --stream-id 256", "--stream-id: " + stream + "'256'"},
      {"--adapter 99 --stream-id 5:262142", "--stream-id: " + stream + "'5:262142'"},
      {"--lnb EXTENDED", needs},
      {"--delsys dvbs2", needs},
      {"--stream-id 1", needs},
  };
  for (const Case& c : cases) {
    box_run::Result r = box_run::shell(box_run::boxCommand() + trace + " --keys 'key red' " + c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
    EXPECT_EQ(box_run::boxMessages(r.out), std::vector<std::string>{"vantrel-box: " + c.message}) << c.args;
    EXPECT_FALSE(std::filesystem::exists(dir / "trace.jsonl")) << c.args << ": nothing runs";
  }
}
