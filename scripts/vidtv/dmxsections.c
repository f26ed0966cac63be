/* Reads one table from a Linux DVB demux through a section filter and writes
 * its sections raw, as the demux hands them over (CRC checked by the kernel),
 * in section-number order: the golden input of table parsers.
 *
 *   dmxsections DEMUX PID TABLE_ID OUT [SECONDS]
 *
 * Waits until every section of one version of the table has been seen, at most
 * SECONDS (default 10). Exit 0 when the table is whole, 1 otherwise. */
#include <errno.h>
#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

enum { kMaxSection = 4096, kMaxSections = 256 };

static unsigned char sections[kMaxSections][kMaxSection];
static int lengths[kMaxSections];

static long nowMs(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

static int parseNumber(const char* text, long max, long* value) {
  char* end = NULL;
  errno = 0;
  *value = strtol(text, &end, 0);
  return errno == 0 && end != text && *end == '\0' && *value >= 0 && *value <= max;
}

static int writeAll(const char* path, int last) {
  FILE* f = fopen(path, "wb");
  if (!f) {
    fprintf(stderr, "dmxsections: %s: %s\n", path, strerror(errno));
    return 0;
  }
  int ok = 1;
  for (int i = 0; i <= last; ++i) ok = ok && fwrite(sections[i], 1, lengths[i], f) == (size_t)lengths[i];
  if (fclose(f) != 0) ok = 0;
  if (!ok) fprintf(stderr, "dmxsections: %s: write failed\n", path);
  return ok;
}

int main(int argc, char** argv) {
  long pid, tableId, seconds = 10;
  if (argc < 5 || argc > 6 || !parseNumber(argv[2], 0x1fff, &pid) || !parseNumber(argv[3], 0xff, &tableId) ||
      (argc == 6 && !parseNumber(argv[5], 3600, &seconds))) {
    fprintf(stderr, "usage: dmxsections DEMUX PID TABLE_ID OUT [SECONDS]\n");
    return 2;
  }
  int fd = open(argv[1], O_RDWR | O_NONBLOCK);
  if (fd < 0) {
    fprintf(stderr, "dmxsections: %s: %s\n", argv[1], strerror(errno));
    return 1;
  }
  struct dmx_sct_filter_params filter;
  memset(&filter, 0, sizeof filter);
  filter.pid = (unsigned short)pid;
  filter.filter.filter[0] = (unsigned char)tableId;
  filter.filter.mask[0] = 0xff;
  filter.flags = DMX_CHECK_CRC | DMX_IMMEDIATE_START;
  if (ioctl(fd, DMX_SET_FILTER, &filter) < 0) {
    fprintf(stderr, "dmxsections: DMX_SET_FILTER: %s\n", strerror(errno));
    return 1;
  }
  int version = -1, last = -1, seen = 0;
  long deadline = nowMs() + seconds * 1000L;
  unsigned char buf[kMaxSection];
  while (last < 0 || seen < last + 1) {
    long left = deadline - nowMs();
    if (left <= 0) break;
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, (int)left) <= 0) continue;
    ssize_t n = read(fd, buf, sizeof buf);
    // A section too short for its header, or one with the current/next bit
    // clear, does not belong to the table in force.
    if (n < 8 || !(buf[5] & 1)) continue;
    int v = (buf[5] >> 1) & 0x1f, number = buf[6];
    if (v != version) {
      version = v;
      last = buf[7];
      seen = 0;
      memset(lengths, 0, sizeof lengths);
    }
    if (number > last || lengths[number]) continue;
    memcpy(sections[number], buf, (size_t)n);
    lengths[number] = (int)n;
    ++seen;
  }
  close(fd);
  if (last < 0 || seen < last + 1) {
    fprintf(stderr, "dmxsections: PID 0x%lx table 0x%02lx: %d of %d sections in %ld s\n", pid, tableId, seen,
            last + 1, seconds);
    return 1;
  }
  if (!writeAll(argv[4], last)) return 1;
  printf("dmxsections: PID 0x%04lx table 0x%02lx version %d: %d section(s)\n", pid, tableId, version,
         last + 1);
  return 0;
}
