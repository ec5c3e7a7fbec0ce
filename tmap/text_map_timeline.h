#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "core/beat_walk.h"
#include "core/program_state.h"
#include "exact/rational.h"

namespace beatmarks {

// A stretch's tempo exactly: the decimal the map wrote, where it is known
// and short enough to keep, else the exact value of its float.
Rational ExactTempo(const Stretch& stretch);

// The sections of a text map as stretches: each begins on a bar line, at the
// end of the one before. With an offset, each also carries its exact times:
// the offset plus the exact lengths of the sections before it, and divisions
// of exactly 60 / (tempo x divisions) seconds, the tempo taken as the exact
// decimal as the map wrote it (see ExactTempo).
class TextMapTimeline : public Timeline {
 public:
  TextMapTimeline(const SectionTable& sections, std::int32_t divisions,
                  std::optional<Rational> offset);

  bool Next(Stretch& stretch) override;
  std::unique_ptr<Timeline> Copy() const override { return std::make_unique<TextMapTimeline>(*this); }

 private:
  void AddExactTimes(Stretch& stretch);
  const std::string* TempoText(int section) const;

  const SectionTable sections_;
  const std::int32_t divisions_;
  const bool exact_;
  int next_ = 0;
  std::int64_t firstMeasure_ = 0;
  Rational start_;
};

}  // namespace beatmarks
