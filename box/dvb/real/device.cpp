// Opening the adapter's devices, with errors that say what is wrong, and
// reading the transponder's tables from its demux.
#include <dirent.h>
#include <fcntl.h>
#include <libdvbv5/dvb-demux.h>
#include <libdvbv5/dvb-fe.h>
#include <libdvbv5/dvb-sat.h>
#include <linux/dvb/frontend.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "box/base/clock.h"
#include "box/base/fileio.h"
#include "box/base/loop.h"
#include "box/base/tr.h"
#include "box/base/trace.h"
#include "box/dvb/diseqc.h"
#include "box/dvb/mhz.h"
#include "box/dvb/real/tuner.h"
#include "box/dvb/state.h"

namespace box {
namespace real {
namespace {

constexpr int kTablePollMs = 20;
constexpr int kDiseqcGapMs = 15;

// Time limits (wall-clock ms) of the table reads, which run at once, so a
// feed without an SDT or a NIT costs one limit, not their sum. DVB sends
// the PAT at least every 0.5 s and the SDT every 2 s; the NIT may take up
// to 10 s, but it only names the network, so a feed without one is not
// waited for long.
constexpr int kPatLimitMs = 2000, kSdtLimitMs = 3000, kNitLimitMs = 3000;
// The kernel's default demux buffer (8 KiB) overflows when a multiplex
// sends its SDT's sections in a burst between two polls.
constexpr int kDemuxBufferBytes = 256 * 1024;

struct TableStep {
  uint16_t pid;
  uint8_t table;
  int limitMs;
};
constexpr TableStep kSteps[] = {
    {kPatPid, kPatTable, kPatLimitMs}, {kSdtPid, kSdtTable, kSdtLimitMs}, {kNitPid, kNitTable, kNitLimitMs}};

// The demux again, for a filter of its own: each open of the device holds
// one section filter. -1 when it cannot be opened.
int openAgain(int demuxFd) {
  if (demuxFd < 0) return -1;
  const std::string path = "/proc/self/fd/" + std::to_string(demuxFd);
  return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

// The front end through the kernel's ioctls on libdvbv5's descriptor:
// libdvbv5 retries an EAGAIN for a second before it gives up with EINVAL,
// sends stream id 0 with every DVB-S2 tune and carries on past a refused
// delivery system. The box works out the LNB's intermediate frequency and
// sends voltage, tone and DiSEqC itself, only when they change.
class FeDevice : public Device {
 public:
  FeDevice(dvb_v5_fe_parms* parms_, int fd_, std::string path_)
      : parms(parms_), fd(fd_), path(std::move(path_)) {}
  ~FeDevice() override { dvb_fe_close(parms); }

  std::string name() const override { return path; }

  int setSwitch(const SwitchSetting& s) override {
    const fe_sec_voltage voltage = s.voltage18 ? SEC_VOLTAGE_18 : SEC_VOLTAGE_13;
    const fe_sec_tone_mode tone = s.tone ? SEC_TONE_ON : SEC_TONE_OFF;
    if (s.diseqc < 0) {
      const int err = call(FE_SET_VOLTAGE, voltage);
      return err ? err : call(FE_SET_TONE, tone);
    }
    // A committed switch (DiSEqC 1.0): the command (port, polarisation,
    // band) on a quiet bus and a tone burst for simple switches, each
    // followed by the 15 ms of silence the bus asks for; then the band's tone.
    int err = onQuietBus(voltage, committedSwitch(s.diseqc, s.voltage18, s.tone));
    if (!err)
      wallSleep(kDiseqcGapMs), err = call(FE_DISEQC_SEND_BURST, s.diseqc & 1 ? SEC_MINI_B : SEC_MINI_A);
    if (!err) wallSleep(kDiseqcGapMs), err = call(FE_SET_TONE, tone);
    return err;
  }

  // A positioner draws its power from the LNB's supply and moves faster on
  // 18 V; the next tune sets the supply its polarisation needs.
  int sendMaster(const std::vector<uint8_t>& message) override {
    const int err = onQuietBus(SEC_VOLTAGE_18, message);
    if (!err) wallSleep(kDiseqcGapMs);
    return err;
  }

  // One FE_SET_PROPERTY: a refused delivery system fails it before the tune.
  int set(const Tuning& t) override {
    const bool s2 = t.system == dvbs2;
    std::vector<dtv_property> p = {
        prop(DTV_CLEAR, 0),
        prop(DTV_DELIVERY_SYSTEM, s2 ? SYS_DVBS2 : SYS_DVBS),
        prop(DTV_FREQUENCY, t.tunerKHz),
        prop(DTV_SYMBOL_RATE, uint32_t(t.symbolRate)),
        prop(DTV_INNER_FEC, FEC_AUTO),
        prop(DTV_INVERSION, INVERSION_AUTO),
        prop(DTV_MODULATION, s2 ? QAM_AUTO : QPSK),
    };
    if (s2)
      for (dtv_property q :
           {prop(DTV_ROLLOFF, ROLLOFF_AUTO), prop(DTV_PILOT, PILOT_AUTO), prop(DTV_STREAM_ID, t.streamId)})
        p.push_back(q);
    p.push_back(prop(DTV_TUNE, 0));
    dtv_properties all = {uint32_t(p.size()), p.data()};
    return call(FE_SET_PROPERTY, &all);
  }

  int status(unsigned* bits) override {
    fe_status_t s{};
    const int err = call(FE_READ_STATUS, &s);
    *bits = err ? 0 : unsigned(s);
    return err;
  }

  void statistics(Stat* strength, Stat* cnr) override {
    dtv_property p[] = {prop(DTV_STAT_SIGNAL_STRENGTH, 0), prop(DTV_STAT_CNR, 0)};
    dtv_properties all = {2, p};
    *strength = *cnr = Stat();
    if (call(FE_GET_PROPERTY, &all) != 0) return;
    *strength = stat(p[0]);
    *cnr = stat(p[1]);
  }

  bool legacy(Measure m, uint16_t* value) override {
    return call(m == strength ? FE_READ_SIGNAL_STRENGTH : FE_READ_SNR, value) == 0;
  }

  bool found(Found* f) override {
    dtv_property p[] = {prop(DTV_DELIVERY_SYSTEM, 0), prop(DTV_FREQUENCY, 0), prop(DTV_SYMBOL_RATE, 0),
                        prop(DTV_INNER_FEC, 0), prop(DTV_MODULATION, 0)};
    dtv_properties all = {uint32_t(std::size(p)), p};
    if (call(FE_GET_PROPERTY, &all) != 0) return false;
    if (p[0].u.data == SYS_DVBS || p[0].u.data == SYS_DVBS2)
      f->system = p[0].u.data == SYS_DVBS2 ? dvbs2 : dvbs;
    if (p[1].u.data) f->tunerKHz = p[1].u.data;
    if (p[2].u.data) f->symbolRate = int(p[2].u.data);
    // The host numbers code rates 1/2 2/3 3/4 5/6 7/8 8/9 3/5 4/5 9/10 from 1.
    static const std::pair<unsigned, int> rates[] = {{FEC_1_2, 1}, {FEC_2_3, 2}, {FEC_3_4, 3},
                                                     {FEC_5_6, 4}, {FEC_7_8, 5}, {FEC_8_9, 6},
                                                     {FEC_3_5, 7}, {FEC_4_5, 8}, {FEC_9_10, 9}};
    for (const auto& [kernel, host] : rates)
      if (p[3].u.data == kernel) f->fec = host;
    static const std::pair<unsigned, const char*> modulations[] = {
        {QPSK, "QPSK"}, {PSK_8, "8PSK"}, {APSK_16, "16APSK"}, {APSK_32, "32APSK"}};
    for (const auto& [kernel, text] : modulations)
      if (p[4].u.data == kernel) f->modulation = text;  // QAM_AUTO: the driver does not tell
    return true;
  }

 private:
  static dtv_property prop(uint32_t cmd, uint32_t data) {
    dtv_property p{};
    p.cmd = cmd;
    p.u.data = data;
    return p;
  }
  static Stat stat(const dtv_property& p) {
    Stat s;
    if (p.u.st.len == 0) return s;
    const dtv_stats& st = p.u.st.stat[0];
    s.scale = st.scale;
    s.value = st.scale == FE_SCALE_DECIBEL ? st.svalue : int64_t(std::min<uint64_t>(st.uvalue, INT64_MAX));
    return s;
  }
  // A DiSEqC message as the bus wants it: the tone off, the supply set and
  // settled, then the message.
  int onQuietBus(fe_sec_voltage voltage, const std::vector<uint8_t>& message) {
    int err = call(FE_SET_TONE, SEC_TONE_OFF);
    if (!err) err = call(FE_SET_VOLTAGE, voltage);
    if (!err) wallSleep(kDiseqcGapMs), err = master(message);
    return err;
  }
  int master(const std::vector<uint8_t>& message) {
    dvb_diseqc_master_cmd cmd{};
    cmd.msg_len = uint8_t(std::min(message.size(), sizeof cmd.msg));
    std::copy_n(message.begin(), cmd.msg_len, cmd.msg);
    return call(FE_DISEQC_SEND_MASTER_CMD, &cmd);
  }
  template <typename T>
  int call(unsigned long request, T arg) {
    return ioctl(fd, request, arg) == 0 ? 0 : errno ? errno : EIO;
  }
  dvb_v5_fe_parms* parms;
  int fd;
  std::string path;
};

// libdvbv5 keeps its descriptor of the front end to itself; the tune mode
// can only be set through the descriptor that opened the device for writing,
// so the box finds it among its own. -1 when there is none.
int openedDescriptor(const std::string& path) {
  struct stat device {};
  if (stat(path.c_str(), &device) != 0) return -1;
  DIR* fds = opendir("/proc/self/fd");
  if (!fds) return -1;
  int found = -1;
  while (const dirent* e = readdir(fds)) {
    const int fd = std::atoi(e->d_name);
    struct stat st {};
    if (e->d_name[0] < '0' || e->d_name[0] > '9' || fd == dirfd(fds) || fstat(fd, &st) != 0) continue;
    if (S_ISCHR(st.st_mode) && st.st_rdev == device.st_rdev && (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR)
      found = fd;
  }
  closedir(fds);
  return found;
}

std::string reason(int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return tr("no such adapter");
    case EBUSY:
      return tr("busy (another program is using it)");
    case EACCES:
    case EPERM:
      return tr("permission denied");
    default:
      return std::strerror(err);
  }
}

}  // namespace

TableReader::TableReader(int demuxFd) : filters(std::size(kSteps)) {
  filters[0].fd = demuxFd;
  for (size_t i = 1; i < filters.size(); ++i) filters[i].fd = openAgain(demuxFd);
  // A demux that keeps its buffer still reads, only less in a burst.
  for (const Filter& f : filters)
    if (f.fd >= 0) ioctl(f.fd, DMX_SET_BUFFER_SIZE, kDemuxBufferBytes);
  timer.timeout.connect(sigc::mem_fun(*this, &TableReader::poll));
}

TableReader::~TableReader() {
  stop();
  for (const Filter& f : filters)
    if (f.fd >= 0) dvb_dmx_close(f.fd);
}

void TableReader::start(const eTransponder& tp, Frontend::ServicesRead done_) {
  stop();
  // The services are kept on the transponder as the demodulator found it,
  // with its delivery system moved over to that record.
  const DeliverySystem* found = deliverySystem(tp.satellite);
  tuned = keptSatellite(tp.satellite, found);
  // The plug-in tunes with the orbital position it started at; what it finds
  // lies where the dish points.
  if (const Band* band = dvb::band()) tuned.orbital_position = band->orbitalPosition;
  if (found) noteDeliverySystem(tuned, DeliverySystem(*found));
  done = std::move(done_);
  sets.clear();
  for (const TableStep& s : kSteps) sets.emplace_back(s.table);
  nextTable = 0;
  waiting = true;
  beginDeviceWait();
  bool reading = false;
  for (Filter& f : filters) reading |= assign(f);
  // With nothing to read, finishing still waits for the timer, so done
  // never runs inside start().
  timer.start(reading ? kTablePollMs : 0, !reading);
}

void TableReader::stop() {
  timer.stop();
  for (Filter& f : filters) {
    if (f.table >= 0) dvb_dmx_stop(f.fd);
    f.table = -1;
  }
  done = nullptr;
  if (waiting) endDeviceWait();
  waiting = false;
}

// Gives the filter the next table not yet read; false when none is left.
bool TableReader::assign(Filter& f) {
  if (f.table >= 0) dvb_dmx_stop(f.fd);
  f.table = -1;
  if (f.fd < 0) return false;
  while (nextTable < std::size(kSteps)) {
    const size_t i = nextTable++;
    const TableStep& s = kSteps[i];
    unsigned char filter[1] = {s.table}, mask[1] = {0xff};
    if (dvb_set_section_filter(f.fd, s.pid, 1, filter, mask, nullptr, DMX_IMMEDIATE_START | DMX_CHECK_CRC) ==
        0) {
      f.table = int(i);
      f.deadline = wallMs() + s.limitMs;
      return true;
    }
    // A filter the demux refuses: that table is not read.
  }
  return false;
}

void TableReader::poll() {
  bool reading = false;
  for (Filter& f : filters) {
    if (f.table < 0) continue;
    SectionSet& set = sets[size_t(f.table)];
    uint8_t buf[kMaxSectionBytes];
    int err = 0;
    for (;;) {
      const ssize_t n = read(f.fd, buf, sizeof buf);
      if (n <= 0) {
        // EAGAIN: nothing more now; EOVERFLOW: sections were lost, and a
        // repeat brings them. Anything else ends this table's read.
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EOVERFLOW && errno != EINTR)
          err = errno;
        break;
      }
      std::string why;
      set.add(buf, size_t(n), &why);  // a damaged section is passed over; a repeat may mend it
      if (set.complete()) break;
    }
    if (err) readError(kSteps[size_t(f.table)].pid, err);
    if (err || set.complete() || wallMs() >= f.deadline) assign(f);
    reading |= f.table >= 0;
  }
  if (!reading) finish();
}

void TableReader::readError(int pid, int err) {
  Trace::event("demux", {{"pid", pid}, {"err", -err}});
  if (told) return;
  told = true;
  std::fprintf(stderr, "box: %s\n",
               trf("the demux cannot be read (PID %d): %s", pid, std::strerror(err)).c_str());
}

void TableReader::finish() {
  timer.stop();
  if (waiting) endDeviceWait();
  waiting = false;
  TransponderTables t = readTables(sets[0], sets[1], sets[2]);
  std::vector<FoundService> found;
  for (const TableService& s : t.services) {
    FoundService f;
    f.ref.data[0] = s.type ? s.type : 1;
    f.ref.data[1] = s.sid;
    f.ref.data[2] = t.tsid < 0 ? 0 : t.tsid;
    f.ref.data[3] = t.onid < 0 ? 0 : t.onid;
    f.ref.data[4] = tuned.orbital_position;
    f.ref.data[5] = wholeMHz(tuned.frequency);
    f.ref.descr = s.name;
    f.record.service_name = s.name;
    f.record.service_provider = s.provider;
    f.record.service_type = s.type ? s.type : 1;
    f.record.scrambled = s.scrambled;
    f.transponder = tuned;
    found.push_back(f);
  }
  Frontend::ServicesRead call = std::move(done);
  done = nullptr;
  if (call) call(std::move(found));
}

namespace {

// libdvbv5's LNB of that name and what it says of its bands; nullptr when it
// has none.
const dvb_sat_lnb* lookUpLnb(const std::string& name, Lnb* out) {
  const int index = dvb_sat_search_lnb(name.c_str());
  const dvb_sat_lnb* l = index < 0 ? nullptr : dvb_sat_get_lnb(index);
  if (!l) return nullptr;
  // libdvbv5 keeps the oscillators and ranges in MHz; its name is a
  // description, the alias what users type.
  Lnb lnb;
  lnb.name = l->alias ? l->alias : name;
  lnb.lowLofKHz = l->lowfreq * 1000;
  lnb.highLofKHz = l->highfreq * 1000;
  lnb.switchKHz = l->rangeswitch * 1000;
  lnb.minKHz = l->freqrange[0].low * 1000;
  lnb.maxKHz = std::max(l->freqrange[0].high, l->freqrange[1].high) * 1000;
  *out = lnb;
  return l;
}

}  // namespace

bool findLnb(const std::string& name, Lnb* out) {
  return lookUpLnb(name, out) != nullptr;
}

}  // namespace real

std::unique_ptr<Frontend> openRealFrontend(const TunerOptions& o, std::string* error) {
  real::Lnb bands;
  const dvb_sat_lnb* lnb = real::lookUpLnb(o.lnb, &bands);
  if (!lnb) {
    *error =
        "--lnb: " + trf("no LNB is called '%s' (dvbv5-zap --lnbf help lists them)", printable(o.lnb).c_str());
    return nullptr;
  }
  const std::string dir = "/dev/dvb/adapter" + std::to_string(o.adapter);
  const std::string fePath = dir + "/frontend0", dmxPath = dir + "/demux0";
  // libdvbv5 reports a failed open in its log only: a plain open first
  // learns the reason (errno) to tell the user.
  int probe = open(fePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (probe < 0) {
    *error = "--adapter: " + fePath + ": " + real::reason(errno);
    return nullptr;
  }
  close(probe);
  dvb_v5_fe_parms* parms = dvb_fe_open_flags(o.adapter, 0, 0, 0, real::quiet, O_RDWR | O_NONBLOCK);
  if (!parms) {
    *error = "--adapter: " + fePath + ": " + real::reason(errno ? errno : EIO);
    return nullptr;
  }
  bool satellite = false, s2 = false;
  std::string offered;
  for (int i = 0; i < parms->num_systems; ++i) {
    const unsigned sys = parms->systems[i];
    satellite |= sys == SYS_DVBS || sys == SYS_DVBS2;
    s2 |= sys == SYS_DVBS2;
    if (sys < std::size(delivery_system_name) && delivery_system_name[sys])
      offered += std::string(offered.empty() ? "" : ", ") + delivery_system_name[sys];
  }
  std::string why;
  if (!satellite)
    why = offered.empty() ? std::string(tr("not a satellite front end (it offers nothing)"))
                          : trf("not a satellite front end (it offers %s)", offered.c_str());
  else if (o.delsys == "dvbs2" && !s2)
    why = std::string("--delsys dvbs2: ") + tr("the front end offers no DVB-S2");
  if (!why.empty()) {
    dvb_fe_close(parms);
    *error = "--adapter: " + fePath + ": " + why;
    return nullptr;
  }
  const int dmx = dvb_dmx_open(o.adapter, 0);
  if (dmx < 0) {
    const int err = errno ? errno : EIO;
    dvb_fe_close(parms);
    *error = "--adapter: " + dmxPath + ": " + real::reason(err);
    return nullptr;
  }
  fcntl(dmx, F_SETFL, fcntl(dmx, F_GETFL) | O_NONBLOCK);
  // Left to itself the kernel zigzags around the asked frequency and reports
  // a lock megahertz away, with the C/N of an exact tune; the plug-in
  // searches the best frequency itself, so a lock must mean the asked one.
  const int feFd = real::openedDescriptor(fePath);
  if (feFd < 0 || ioctl(feFd, FE_SET_FRONTEND_TUNE_MODE, FE_TUNE_MODE_ONESHOT) != 0) {
    const int err = feFd < 0 ? ENOENT : errno;
    dvb_fe_close(parms);
    dvb_dmx_close(dmx);
    *error = "--adapter: " + fePath + ": " + trf("cannot tune one-shot: %s", std::strerror(err));
    return nullptr;
  }
  return std::make_unique<real::RealFrontend>(std::make_unique<real::FeDevice>(parms, feFd, fePath), dmx, o,
                                              s2, bands);
}

}  // namespace box
