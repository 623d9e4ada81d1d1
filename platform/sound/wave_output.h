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

// The name under which the mixer lists its wave-file writer.
inline constexpr const char* kWaveWriterName = "Wave File Writer";

}  // namespace platform
