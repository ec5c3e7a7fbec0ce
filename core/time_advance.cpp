#include "core/time_advance.h"

#include <cmath>

namespace beatmarks {
namespace {

// Why the jump is exact. Within one binade of t, [2^(E-1), 2^E), doubles are
// the multiples of one spacing u, and t + step rounds to t + q*u for the q
// nearest to step/u as long as the exact sum stays below 2^E. Only when step/u
// lies exactly half-way does q depend on t: the tie goes to the even multiple,
// so after one addition t is even and every later addition adds the same even
// q. So: one addition to settle the parity, a second to learn q, then as many
// additions of q*u at once as keep t + q*u <= 2^E - u (so that no exact sum
// reaches the binade's top); the last few before the top, and the crossing
// into the next binade, are taken one by one. Once q is 0 the step is below
// half a spacing and t never moves again.

constexpr int kMinSpacingExponent = -1074;  // spacing of subnormal doubles
constexpr std::uint64_t kUnitsPerBinade = std::uint64_t{1} << 53;

struct Binade {
  int spacingExponent;  // u = 2^spacingExponent
  double top;           // 2^E, the first double past the binade
};

Binade BinadeOf(double t) {
  int e = 0;
  std::frexp(t, &e);  // t = m * 2^e, 0.5 <= m < 1
  int spacing = e - 53 > kMinSpacingExponent ? e - 53 : kMinSpacingExponent;
  return {spacing, std::ldexp(1.0, e)};
}

}  // namespace

double AdvanceTime(double t, double step, DivisionCount count) {
  while (count > 0) {
    if (t == 0.0 || !std::isfinite(t)) {
      t += step;
      --count;
      continue;
    }
    const Binade binade = BinadeOf(t);
    t += step;  // settles the parity of t in this binade
    --count;
    if (count == 0 || t >= binade.top) continue;
    const double next = t + step;  // learns the steady increment
    --count;
    if (next >= binade.top) {
      t = next;
      continue;
    }
    const auto q = static_cast<std::uint64_t>(std::ldexp(next - t, -binade.spacingExponent));
    t = next;
    if (q == 0) return t;
    const auto units = static_cast<std::uint64_t>(std::ldexp(t, -binade.spacingExponent));
    std::uint64_t jumps = (kUnitsPerBinade - 1 - units) / q;
    if (count < jumps) jumps = static_cast<std::uint64_t>(count);
    count -= jumps;
    t = std::ldexp(static_cast<double>(units + jumps * q), binade.spacingExponent);
  }
  return t;
}

}  // namespace beatmarks
