#include "formats/rekordbox_format.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>

#include "formats/even_runs.h"

namespace beatmarks {
namespace {

constexpr double kSlackMs = 1e-6;  // kept under the bound for the doubles
constexpr double kMinuteInHundredths = 6e6;

std::int64_t AverageTempo(const std::vector<BeatTime>& beats, std::int64_t first) {
  const double span = beats.back().seconds - beats.front().seconds;
  if (beats.size() < 2 || !(span > 0)) return first;
  return std::llround(std::min(1e12, 6000.0 * static_cast<double>(beats.size() - 1) / span));
}

// "12.345": a whole number of hundredths or thousandths as a decimal.
std::string Decimal(std::int64_t value, int decimals) {
  const std::int64_t scale = decimals == 2 ? 100 : 1000;
  const std::uint64_t size = value < 0 ? 0 - static_cast<std::uint64_t>(value) : value;
  const std::string fraction = std::to_string(size % scale);
  std::string text = value < 0 ? "-" : "";
  text += std::to_string(size / scale);
  text += '.';
  text.append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
  text += fraction;
  return text;
}

// Text for an attribute: markup escaped, control characters left out.
std::string Attribute(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) out += c;
    }
  }
  return out;
}

// A file URL as Rekordbox writes them: every byte but letters, digits,
// "-._~/" percent-encoded.
std::string FileUrl(const std::string& path) {
  std::string url = "file://localhost/";
  for (const char c : path.substr(path.rfind('/', 0) == 0 ? 1 : 0)) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u) != 0 && u < 0x80) {
      url += c;
    } else if (c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      url += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", u);
      url += escaped;
    }
  }
  return url;
}

}  // namespace

RekordboxPlan PlanRekordboxGrid(const std::vector<BeatTime>& beats, double bound) {
  RekordboxPlan plan;
  const double boundMs = bound * 1000.0 - kSlackMs;
  double beatLength = 500;  // a lone beat keeps the length before it
  for (std::size_t first = 0; first < beats.size();) {
    const BeatTime& from = beats[first];
    RekordboxTempo tempo{std::llround(from.seconds * 1000.0), 0, from.beatsPerMeasure,
                         from.noteValue, from.beat + 1};
    const EvenRun run = LongestEvenRun(beats, first, static_cast<double>(tempo.start), boundMs,
                                       BeatLengths::kHundredthsOfTempo, beatLength);
    tempo.tempo = std::llround(kMinuteInHundredths / run.beatLength);
    beatLength = kMinuteInHundredths / static_cast<double>(tempo.tempo);
    for (std::size_t i = first; i < run.end; ++i) {
      const double read =
          (static_cast<double>(tempo.start) + static_cast<double>(i - first) * beatLength) / 1000.0;
      plan.largestDrift = std::max(plan.largestDrift, std::fabs(read - beats[i].seconds));
    }
    plan.tempos.push_back(tempo);
    first = run.end;
  }
  if (!plan.tempos.empty()) plan.averageTempo = AverageTempo(beats, plan.tempos[0].tempo);
  return plan;
}

std::string RekordboxText(const RekordboxPlan& plan, const std::string& path, const std::string& name) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DJ_PLAYLISTS Version=\"1.0.0\">\n"
      "  <PRODUCT Name=\"Beatmarks\" Version=\"1.0\" Company=\"\"/>\n"
      "  <COLLECTION Entries=\"1\">\n    <TRACK TrackID=\"1\" Name=\"" + Attribute(name) +
      "\" AverageBpm=\"" + Decimal(plan.averageTempo, 2) + "\" Location=\"" +
      Attribute(FileUrl(path)) + "\">\n";
  for (const RekordboxTempo& t : plan.tempos) {
    text += "      <TEMPO Inizio=\"" + Decimal(t.start, 3) + "\" Bpm=\"" + Decimal(t.tempo, 2) +
            "\" Metro=\"" + std::to_string(t.numerator) + "/" + std::to_string(t.denominator) +
            "\" Battito=\"" + std::to_string(t.beat) + "\"/>\n";
  }
  text += "    </TRACK>\n  </COLLECTION>\n  <PLAYLISTS>\n"
          "    <NODE Type=\"0\" Name=\"ROOT\" Count=\"0\"/>\n  </PLAYLISTS>\n</DJ_PLAYLISTS>\n";
  return text;
}

}  // namespace beatmarks
