// The shared-memory segment of a bus: its name, its creation by the first process, and the
// checks a later process makes before it trusts what it maps. POSIX only.
#include "bus_segment.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bus_storage.h"

namespace vcan {

namespace {

constexpr uint32_t kPointerBits = sizeof(void*) * 8;
constexpr size_t kMaxNameLength = 200;
// How long a process waits for another one that is still setting the segment up; that takes
// microseconds, unless the creator was stopped in the middle.
constexpr uint64_t kCreationWaitMs = 2000;

struct BusName {
  char shm[kMaxNameLength + 2];  // "/" and the name
  bool private_bus;              // the name held "%p"
};

void report(const char* bus, const char* format, ...) {
  char reason[400];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(reason, sizeof reason, format, arguments);
  va_end(arguments);
  fprintf(stderr, "virtual CANlib: bus \"%s\": %s; canOpenChannel gives canERR_DRIVER\n", bus,
          reason);
}

// The name from VCAN_BUS_ENV, "%p" replaced by the process id; false when it cannot name a
// segment.
bool busNameFromEnvironment(BusName* name) {
  const char* text = getenv(VCAN_BUS_ENV);
  char expanded[kMaxNameLength + 1];
  size_t length = 0;
  name->private_bus = false;
  if (text == nullptr || *text == '\0') {
    length =
        static_cast<size_t>(snprintf(expanded, sizeof expanded, "%s%u", VCAN_DEFAULT_BUS_PREFIX,
                                     static_cast<unsigned>(getuid())));
  } else {
    for (const char* c = text; *c != '\0' && length <= kMaxNameLength; ++c) {
      if (c[0] == '%' && c[1] == 'p') {
        length += static_cast<size_t>(snprintf(expanded + length, sizeof expanded - length, "%d",
                                               static_cast<int>(getpid())));
        name->private_bus = true;
        ++c;
      } else {
        expanded[length++] = *c;
      }
      if (length >= sizeof expanded) length = kMaxNameLength + 1;  // too long; refused below
    }
    if (length > kMaxNameLength) {
      report(text, "%s is longer than %zu characters", VCAN_BUS_ENV, kMaxNameLength);
      return false;
    }
    expanded[length] = '\0';
    if (strchr(expanded, '/') != nullptr || strcmp(expanded, ".") == 0 ||
        strcmp(expanded, "..") == 0) {
      report(text, "%s must not hold '/' or be \".\" or \"..\"", VCAN_BUS_ENV);
      return false;
    }
  }
  snprintf(name->shm, sizeof name->shm, "/%s", expanded);
  return true;
}

BusState* mapState(int fd) {
  void* memory = mmap(nullptr, sizeof(BusState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return memory == MAP_FAILED ? nullptr : static_cast<BusState*>(memory);
}

// Sets up a segment this process has just created; nobody else uses it before `ready`.
BusState* createState(const BusName& name, int fd) {
  if (ftruncate(fd, sizeof(BusState)) != 0) {
    report(name.shm + 1, "cannot size the segment: %s", strerror(errno));
    return nullptr;
  }
  BusState* state = mapState(fd);
  if (state == nullptr) {
    report(name.shm + 1, "cannot map the segment: %s", strerror(errno));
    return nullptr;
  }
  state->header.creator_pid = static_cast<int32_t>(getpid());
  initializeBusState(*state);
  state->header.magic = kSegmentMagic;
  state->header.format_version = kSegmentFormatVersion;
  state->header.pointer_bits = kPointerBits;
  state->header.size = sizeof(BusState);
  __atomic_store_n(&state->header.ready, 1u, __ATOMIC_RELEASE);
  return state;
}

// True when `name` still names the object open as `fd` (and not a newer one of that name).
bool stillNamed(int fd, const char* name) {
  const int current = shm_open(name, O_RDONLY, 0);
  if (current < 0) return false;
  struct stat ours, theirs;
  const bool same = fstat(fd, &ours) == 0 && fstat(current, &theirs) == 0 &&
                    ours.st_dev == theirs.st_dev && ours.st_ino == theirs.st_ino;
  close(current);
  return same;
}

enum class Joined { kAttached, kRefused, kRetry };

// Reads the header of an existing segment once its creator has finished; checks it describes
// the state this library lays out.
Joined joinState(const BusName& name, int fd, BusState** state) {
  const char* bus = name.shm + 1;
  const uint64_t deadline = platformMonotonicMs() + kCreationWaitMs;
  int32_t creator = 0;
  for (;;) {
    struct stat status;
    if (fstat(fd, &status) != 0) {
      report(bus, "cannot inspect the segment: %s", strerror(errno));
      return Joined::kRefused;
    }
    if (static_cast<uint64_t>(status.st_size) >= sizeof(SegmentHeader)) {
      void* memory = mmap(nullptr, sizeof(SegmentHeader), PROT_READ, MAP_SHARED, fd, 0);
      if (memory == MAP_FAILED) {
        report(bus, "cannot map the segment: %s", strerror(errno));
        return Joined::kRefused;
      }
      const SegmentHeader* mapped = static_cast<const SegmentHeader*>(memory);
      const uint32_t ready = __atomic_load_n(&mapped->ready, __ATOMIC_ACQUIRE);
      const SegmentHeader header = *mapped;
      munmap(memory, sizeof(SegmentHeader));
      creator = header.creator_pid;
      if (ready) {
        if (header.magic != kSegmentMagic) {
          report(bus, "/dev/shm%s is not a virtual CANlib bus; pick another %s", name.shm,
                 VCAN_BUS_ENV);
          return Joined::kRefused;
        }
        if (header.format_version != kSegmentFormatVersion || header.pointer_bits != kPointerBits ||
            header.size != sizeof(BusState) ||
            static_cast<uint64_t>(status.st_size) != sizeof(BusState)) {
          report(bus,
                 "made by an incompatible virtual CANlib (format %u, %u-bit, %llu bytes; this one "
                 "needs format %u, %u-bit, %zu bytes); remove /dev/shm%s once no program uses it, "
                 "or pick another %s",
                 header.format_version, header.pointer_bits,
                 static_cast<unsigned long long>(header.size), kSegmentFormatVersion, kPointerBits,
                 sizeof(BusState), name.shm, VCAN_BUS_ENV);
          return Joined::kRefused;
        }
        *state = mapState(fd);
        if (*state == nullptr) {
          report(bus, "cannot map the segment: %s", strerror(errno));
          return Joined::kRefused;
        }
        return Joined::kAttached;
      }
    }
    // A creator that died half-way never finishes: nobody can have joined its segment.
    if (creator != 0 && platformProcessGone(creator)) break;
    if (platformMonotonicMs() >= deadline) {
      if (creator != 0) {
        report(bus, "process %d has been setting it up for %llu ms", static_cast<int>(creator),
               static_cast<unsigned long long>(kCreationWaitMs));
        return Joined::kRefused;
      }
      break;  // not even its creator's pid in it: left by a process killed at once
    }
    usleep(1000);
  }
  if (stillNamed(fd, name.shm)) shm_unlink(name.shm);
  return Joined::kRetry;
}

}  // namespace

BusState* attachBusSegment() {
  BusName name;
  if (!busNameFromEnvironment(&name)) return nullptr;
  const char* bus = name.shm + 1;
  // Each round either attaches, refuses, or removed a leftover that was in the way.
  for (int attempt = 0; attempt < 5; ++attempt) {
    int fd = shm_open(name.shm, O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) {
      BusState* state = createState(name, fd);
      close(fd);
      // A private bus needs no name once it is mapped; a failed one must not stay in the way.
      if (state == nullptr || name.private_bus) shm_unlink(name.shm);
      return state;
    }
    if (errno != EEXIST) {
      report(bus, "cannot create /dev/shm%s: %s", name.shm, strerror(errno));
      return nullptr;
    }
    if (name.private_bus) {
      // Left by a process that had this pid and died before removing the name.
      shm_unlink(name.shm);
      continue;
    }
    fd = shm_open(name.shm, O_RDWR, 0);
    if (fd < 0) {
      if (errno == ENOENT) continue;  // removed in between
      report(bus, "cannot open /dev/shm%s: %s", name.shm, strerror(errno));
      return nullptr;
    }
    BusState* state = nullptr;
    const Joined joined = joinState(name, fd, &state);
    close(fd);
    if (joined == Joined::kAttached) return state;
    if (joined == Joined::kRefused) return nullptr;
  }
  report(bus, "another process keeps replacing /dev/shm%s", name.shm);
  return nullptr;
}

}  // namespace vcan
