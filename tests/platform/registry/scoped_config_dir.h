#pragma once
// Points the registry at a fresh folder for the life of a test.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry/registry.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

class ScopedConfigDir {
 public:
  ScopedConfigDir() {
    if (const char* old = std::getenv("BRASSMOOR_CONFIG_DIR")) previous_ = old, hadPrevious_ = true;
    setenv("BRASSMOOR_CONFIG_DIR", (dir_.path() / "config").c_str(), 1);
  }
  ~ScopedConfigDir() {
    if (hadPrevious_) setenv("BRASSMOOR_CONFIG_DIR", previous_.c_str(), 1);
    else
      unsetenv("BRASSMOOR_CONFIG_DIR");
  }
  std::filesystem::path file() const { return platform::registryFilePath(); }
  std::filesystem::path folder() const { return dir_.path() / "config"; }
  void write(const std::string& text) const { dir_.write("config/settings.reg", text); }
  // A file under the config folder by its relative name.
  void write(const std::string& name, const std::string& text) const { dir_.write("config/" + name, text); }

 private:
  TempDir dir_;
  std::string previous_;
  bool hadPrevious_ = false;
};

}  // namespace testsupport
