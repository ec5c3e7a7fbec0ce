#include "midi/count_in.h"

#include <algorithm>

#include "exact/exact_time.h"
#include "midi/tempo_plan.h"

namespace beatmarks {
namespace {

BigInt Floor(const Rational& r) { return BigInt::FloorDiv(r.numerator(), r.denominator()); }
BigInt Ceil(const Rational& r) { return -BigInt::FloorDiv(-r.numerator(), r.denominator()); }
BigInt Nearest(const Rational& r) { return Floor(r + Rational(1) / Rational(2)); }

const Rational kMicrosAMinute(60000000);

// At most `places` decimals, without the zeros after the last that counts.
std::string Decimal(const Rational& value, int places) {
  std::string text;
  AppendSecondsAt(value, places, text);
  while (text.back() == '0' && text.find('.') != std::string::npos) text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

std::string PlanCountIn(const Rational& offsetMicros, const Rational& firstMicros,
                        std::int64_t measureTicks, std::int64_t ticksPerQuarter, CountIn& plan) {
  // A measure's quarter notes: 4.5 in 9/8. n measures last the offset at
  // offsetMicros / (n x measure) a quarter note, a tempo the beats need not
  // hold exactly (the tempo events keep them within the bound).
  const Rational measure = Rational(measureTicks) / Rational(ticksPerQuarter);
  const BigInt fewest = Ceil(offsetMicros / Rational(kMaxMicrosPerQuarter) / measure);
  const BigInt most = Floor(offsetMicros / measure);
  if (most < BigInt(1) || fewest > most) {
    return "an offset of " + Decimal(offsetMicros / Rational(1000000), kMaxDecimals) +
           " s is too short for a lead-in of whole measures (it needs " +
           Decimal(measure / Rational(1000000), kMaxDecimals) +
           " s, or the offset within the largest drift)";
  }
  const BigInt nearest = Nearest(offsetMicros / firstMicros / measure);
  const BigInt atFirst = std::clamp(nearest, std::max(fewest, BigInt(1)), most);
  // The tempos a DAW shows: as slow as kSlowestCountIn, as fast as kFastestCountIn.
  const BigInt slow = Ceil(offsetMicros / (kMicrosAMinute / Rational(kSlowestCountIn)) / measure);
  const BigInt fast = Floor(offsetMicros / (kMicrosAMinute / Rational(kFastestCountIn)) / measure);
  const BigInt measures = fast < BigInt(1) ? BigInt(1) : std::clamp(atFirst, std::max(slow, BigInt(1)), fast);
  std::int64_t count = 0;
  // Past 2^54 ticks no file within 256 MiB reaches.
  if (!measures.ToInt64(count) || count > (std::int64_t{1} << 54) / measureTicks) {
    return "too long for a MIDI file: more than 256 MiB";
  }
  plan.measures = count;
  plan.microsPerQuarter = offsetMicros / (Rational(count) * measure);
  plan.firstMicros = firstMicros;
  plan.kept = measures != atFirst;
  return "";
}

std::string DescribeCountIn(const CountIn& plan) {
  if (!plan.kept) return "";
  return ", count-in of " + std::to_string(plan.measures) +
         (plan.measures == 1 ? " measure at " : " measures at ") +
         Decimal(kMicrosAMinute / plan.microsPerQuarter, 2) +
         " quarter notes a minute (the first beat's tempo, " +
         Decimal(kMicrosAMinute / plan.firstMicros, 2) + ", is out of " +
         std::to_string(kSlowestCountIn) + " to " + std::to_string(kFastestCountIn) + ")";
}

}  // namespace beatmarks
