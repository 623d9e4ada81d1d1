#pragma once
// Sending the mixed output to a WAV file instead of the sound card. The OpenAL mixer has a
// wave-file writer among its outputs; it is chosen, and told its file, through the mixer's
// configuration, which is read once per process at its first use. So the redirection is
// process-wide: once a device of this process went to a file, every later one does too
// (each to the file its own redirection names), and a process that opened the sound card
// first can no longer be redirected — openers must check that they got the writer.
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

class WaveRedirect {
 public:
  // Points the mixer's default output at `file` (created or truncated when the device
  // opens). False when the redirection cannot be set up.
  bool prepare(const std::filesystem::path& file);
  // Removes the redirection's files and environment once the device is open: the writer
  // holds its file, and the mixer keeps its configuration for the rest of the process.
  ~WaveRedirect();

 private:
  std::filesystem::path link_;
  bool setEnvironment_ = false;
  std::optional<std::string> previousConf_, previousDrivers_;
};

// The writer sets its header's two sizes (the RIFF chunk's and the data chunk's) only when its
// device closes. A process ended from a signal handler (a crash after the display was lost)
// never closes it, and the file would claim no length or hours of it. While a device writes,
// its file is watched here, and finishWatchedWaveFiles sets those sizes from what reached the
// disk.
class WaveFileWatch {
 public:
  // Watches the WAV file the open device writes; nothing is watched when it cannot be opened.
  explicit WaveFileWatch(const std::filesystem::path& file);
  // Stops watching: the device was closed and the writer finished its file itself.
  ~WaveFileWatch();
  WaveFileWatch(const WaveFileWatch&) = delete;
  WaveFileWatch& operator=(const WaveFileWatch&) = delete;

 private:
  int fd_ = -1;  // our own, to read and write the header with
};

// Gives every watched file the sizes of the whole sample frames on disk, after turning the
// writer's further writes away from it. Only async-signal-safe calls: for a signal handler
// that ends the process right after, the writer still running.
void finishWatchedWaveFiles() noexcept;

// The name under which the mixer lists its wave-file writer.
inline constexpr const char* kWaveWriterName = "Wave File Writer";

}  // namespace platform
