#include "platform/sound/wave_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>

namespace platform {
namespace {

// The folder holding the configuration and the link the writer opens. Its name is fixed
// for the life of the process because the mixer remembers it from the first read; between
// devices the folder is removed and made again under the same name.
std::string& redirectFolder() {
  static std::string folder;
  return folder;
}

std::optional<std::string> environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void restore(const char* name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

bool makeFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) == 0) return true;
  if (errno != EEXIST) return false;
  // Only a folder this process owns may be reused.
  struct stat st {};
  return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

// The files being written: our own descriptor of each (-1 for a free place) and the writer's.
// A process has one sound device at a time; a few places leave room for a test's second.
struct WatchedWave {
  std::atomic<int> file{-1};
  std::atomic<int> writer{-1};
};
WatchedWave gWatchedWaves[4];

// The writer's descriptor of the file `own` is open on too, found among the process's open
// descriptors; -1 when there is none.
int writerOf(int own) {
  struct stat mine {};
  if (::fstat(own, &mine) != 0) return -1;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos || name.size() > 9) continue;
    const int fd = std::stoi(name);
    struct stat st {};
    if (fd != own && ::fstat(fd, &st) == 0 && st.st_dev == mine.st_dev && st.st_ino == mine.st_ino) return fd;
  }
  return -1;
}

// The writer's later writes go nowhere, so that the sizes given to the file stay true while
// the process ends around it.
void silenceWriter(int writer) {
  const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (nowhere < 0) return;
  ::dup2(nowhere, writer);
  ::close(nowhere);
}

bool readAt(int fd, unsigned char* bytes, std::size_t size, off_t at) {
  return ::pread(fd, bytes, size, at) == static_cast<ssize_t>(size);
}

uint32_t le16(const unsigned char* p) { return p[0] | p[1] << 8; }
uint32_t le32(const unsigned char* p) { return le16(p) | le16(p + 2) << 16; }

void writeLe32At(int fd, uint32_t value, off_t at) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                  static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  [[maybe_unused]] const ssize_t n = ::pwrite(fd, bytes, sizeof bytes, at);
}

// Sets the sizes of the data chunk and the RIFF chunk to the whole frames on disk. Nothing in
// the file is trusted: a header not yet on disk, or chunks that lead nowhere, leave it as it is.
// Async-signal-safe: fstat, pread, pwrite and ftruncate on the stack's bytes only.
void finishWave(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return;
  const off_t fileSize = st.st_size;
  unsigned char riff[12];
  if (!readAt(fd, riff, sizeof riff, 0) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    return;
  uint32_t blockAlign = 0;
  off_t at = sizeof riff;
  for (int chunks = 0; chunks < 16; ++chunks) {
    unsigned char chunk[8];
    if (!readAt(fd, chunk, sizeof chunk, at)) return;
    const off_t body = at + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      unsigned char format[16];
      if (le32(chunk + 4) < sizeof format || !readAt(fd, format, sizeof format, body)) return;
      blockAlign = le16(format + 12);
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (blockAlign == 0 || fileSize < body) return;
      // The RIFF size counts from byte 8 and must fit in 32 bits; a longer recording keeps its
      // first four gigabytes' worth.
      const off_t limit = static_cast<off_t>(UINT32_MAX) - (body - 8);
      const off_t onDisk = fileSize - body;
      const off_t whole = std::min(onDisk, limit) / blockAlign * blockAlign;
      // A frame cut short at the end would be read as the start of one more.
      if (const off_t cut = onDisk - whole; cut > 0 && cut < static_cast<off_t>(blockAlign)) {
        [[maybe_unused]] const int r = ::ftruncate(fd, body + whole);
      }
      writeLe32At(fd, static_cast<uint32_t>(whole), body - 4);
      writeLe32At(fd, static_cast<uint32_t>(body + whole - 8), 4);
      return;
    }
    const off_t size = le32(chunk + 4);
    at = body + size + (size & 1);
  }
}

}  // namespace

WaveFileWatch::WaveFileWatch(const std::filesystem::path& file) {
  fd_ = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) return;
  for (WatchedWave& place : gWatchedWaves) {
    int free = -1;
    if (place.file.compare_exchange_strong(free, fd_)) {
      place.writer.store(writerOf(fd_));
      return;
    }
  }
  ::close(fd_);
  fd_ = -1;
}

WaveFileWatch::~WaveFileWatch() {
  if (fd_ < 0) return;
  for (WatchedWave& place : gWatchedWaves) {
    if (place.file.load() != fd_) continue;
    place.writer.store(-1);
    place.file.store(-1);
  }
  ::close(fd_);
}

void finishWatchedWaveFiles() noexcept {
  const int savedErrno = errno;
  for (WatchedWave& place : gWatchedWaves) {
    const int file = place.file.load();
    if (file < 0) continue;
    if (const int writer = place.writer.load(); writer >= 0) silenceWriter(writer);
    finishWave(file);
  }
  errno = savedErrno;
}

bool WaveRedirect::prepare(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::absolute(file, ec);
  if (ec || target.empty()) return false;

  std::string& folder = redirectFolder();
  const bool first = folder.empty();
  if (first) {
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "brassmoor-audio-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return false;
    folder = pattern;
  } else if (!makeFolder(folder)) {
    return false;
  }

  link_ = std::filesystem::path(folder) / "out.wav";
  std::filesystem::remove(link_, ec);
  std::filesystem::create_symlink(target, link_, ec);
  if (ec) return false;

  if (first) {
    const std::filesystem::path config = std::filesystem::path(folder) / "alsoft.conf";
    std::ofstream out(config);
    // 16-bit stereo at the requested rate is what every player and measuring tool reads;
    // head-related filtering is off so that the file holds the plain speaker mix.
    out << "[general]\n"
           "drivers = wave\n"
           "channels = stereo\n"
           "sample-type = int16\n"
           "hrtf = false\n"
           "[wave]\n"
           "file = "
        << link_.string()
        << "\n"
           "bformat = false\n";
    out.close();
    if (!out) return false;
    // The environment outranks any user configuration for the driver list; the
    // configuration named here is read after the user's and so overrides its values.
    previousConf_ = environment("ALSOFT_CONF");
    previousDrivers_ = environment("ALSOFT_DRIVERS");
    setEnvironment_ = true;
    ::setenv("ALSOFT_CONF", config.c_str(), 1);
    ::setenv("ALSOFT_DRIVERS", "wave", 1);
  }
  return true;
}

WaveRedirect::~WaveRedirect() {
  // Programs this process starts later must not inherit the redirection.
  if (setEnvironment_) {
    restore("ALSOFT_CONF", previousConf_);
    restore("ALSOFT_DRIVERS", previousDrivers_);
  }
  if (link_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(link_.parent_path(), ec);
}

}  // namespace platform
