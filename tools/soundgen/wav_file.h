#pragma once
// RIFF WAVE reading and writing for the sound pipeline: the generators write 32-bit float
// files (so level changes made later by sox lose nothing); the loop cutter reads whatever
// the soundfont renderer and sox produce (16/24/32-bit PCM or 32-bit float).
#include <optional>
#include <string>

#include "tools/soundgen/dsp.h"

namespace soundgen {

bool writeWavFloat(const std::string& path, const Audio& audio);
// Decodes a WAVE file held in memory. Every chunk size is checked against the bytes
// present; an unsupported or damaged file gives no audio.
std::optional<Audio> decodeWav(const std::string& bytes);
std::optional<Audio> readWav(const std::string& path);

}  // namespace soundgen
