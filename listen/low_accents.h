#pragma once

// How much low sound (a kick, a bass drum) starts at each of a recording's
// beats: the energy below about 150 Hz in the 60 ms from the beat on, in dB.
// A meter's plain accents show in it; the caller compares beats.

#include <cstdint>
#include <string>
#include <vector>

namespace beatmarks {

// One value a beat of `samples` (frames of the recording at `path`); false
// with one line in `error` where the file cannot be read.
bool LowAccents(const std::string& path, const std::vector<std::int64_t>& samples,
                std::vector<float>& db, std::string& error);

}  // namespace beatmarks
