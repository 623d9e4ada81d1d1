#include "platform/sound/wave_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

}  // namespace

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
