#include "tmap/text_map_timeline.h"

#include "core/number_scan.h"

namespace beatmarks {

TextMapTimeline::TextMapTimeline(const SectionTable& sections, std::int32_t divisions,
                                 std::optional<Rational> offset)
    : sections_(sections),
      divisions_(divisions),
      exact_(offset.has_value()),
      start_(offset.value_or(Rational())) {}

bool TextMapTimeline::Next(Stretch& s) {
  if (next_ >= sections_.count) return false;
  const int i = next_++;
  s.source = StretchSource::kTextMap;
  s.number = i + 1;
  s.tempo = sections_.tempo[i];
  s.tempoText = TempoText(i);
  s.name = sections_.names != nullptr && !(*sections_.names)[static_cast<std::size_t>(i)].empty()
               ? &(*sections_.names)[static_cast<std::size_t>(i)]
               : nullptr;
  s.beatsPerMeasure = sections_.beatsPerMeasure[i];
  s.measures = sections_.measures[i];
  s.startsSection = true;
  s.firstMeasure = firstMeasure_;
  s.firstBeat = 0;
  s.firstDivision = 0;
  s.divisions = 0;
  s.time.reset();
  if (exact_) AddExactTimes(s);
  if (s.measures <= 0) return true;  // nothing in it, and no time passes
  const DivisionCount beats =
      static_cast<DivisionCount>(s.measures) * static_cast<DivisionCount>(s.beatsPerMeasure);
  s.divisions = beats * static_cast<DivisionCount>(divisions_);
  firstMeasure_ += s.measures;
  return true;
}

const std::string* TextMapTimeline::TempoText(int section) const {
  if (sections_.tempoText == nullptr) return nullptr;
  const std::string& text = (*sections_.tempoText)[static_cast<std::size_t>(section)];
  return text.empty() ? nullptr : &text;
}

Rational ExactTempo(const Stretch& s) {
  if (s.tempoText != nullptr && CanonicalIsExact(*s.tempoText)) {
    if (std::optional<Rational> typed = Rational::FromDecimal(PlainDecimal(*s.tempoText))) {
      return *typed;
    }
  }
  return Rational::FromFloat(s.tempo);
}

// The section's times, and the start of the next section.
void TextMapTimeline::AddExactTimes(Stretch& s) {
  const Rational beat = Rational(60) / ExactTempo(s);
  s.time.emplace(start_, beat / Rational(divisions_));
  if (s.measures > 0) {
    start_ += beat * Rational(static_cast<std::int64_t>(s.measures) * s.beatsPerMeasure);
  }
}

}  // namespace beatmarks
