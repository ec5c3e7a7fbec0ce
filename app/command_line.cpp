#include "app/command_line.h"

#include <getopt.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "app/format_table.h"
#include "exact/rational.h"
#include "midi/midi_export.h"

namespace beatmarks {
namespace {

enum LongOnly { kExact = 256, kOffset, kBeat, kInto, kFirstMeasure, kMaxDrift, kLocate, kFit, kMeter, kPickup, kStrict,
                kSnap, kSnapWindow, kFollow, kResolution, kTimecode };

const option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},       {"version", no_argument, nullptr, 'V'},
    {"format", required_argument, nullptr, 'f'}, {"exact", no_argument, nullptr, kExact},
    {"offset", required_argument, nullptr, kOffset}, {"rate", required_argument, nullptr, 'r'},
    {"start", required_argument, nullptr, 's'}, {"stop", required_argument, nullptr, 'e'},
    {"divisions", required_argument, nullptr, 'd'}, {"beat", required_argument, nullptr, kBeat},
    {"into", required_argument, nullptr, kInto},
    {"first-measure", required_argument, nullptr, kFirstMeasure},
    {"max-drift", required_argument, nullptr, kMaxDrift},
    {"resolution", required_argument, nullptr, kResolution},
    {"locate", required_argument, nullptr, kLocate},
    {"fit", optional_argument, nullptr, kFit},
    {"meter", required_argument, nullptr, kMeter},
    {"pickup", required_argument, nullptr, kPickup},
    {"strict", no_argument, nullptr, kStrict},
    {"snap", required_argument, nullptr, kSnap},
    {"snap-window", required_argument, nullptr, kSnapWindow},
    {"follow", no_argument, nullptr, kFollow},   {"quiet", no_argument, nullptr, 'q'},
    {"timecode", required_argument, nullptr, kTimecode},
    {nullptr, 0, nullptr, 0},
};

// A whole decimal number from `least` to the type's largest, nothing else.
template <class Integer>
bool StrictCount(const char* text, Integer& value, Integer least = 1) {
  const char* end = text + std::strlen(text);
  if (text == end || *text < '0' || *text > '9') return false;
  auto result = std::from_chars(text, end, value);
  return result.ec == std::errc() && result.ptr == end && value >= least;
}

// Counts are 32-bit; measure numbers 64-bit, as long as a map can be.
template <class Integer>
bool SetCount(const char* name, const char* text, std::optional<Integer>& setting,
              std::string& error, Integer least = 1) {
  Integer value = 0;
  if (!StrictCount(text, value, least)) {
    error = std::string("invalid ") + name + " '" + text + "' (a whole number from " +
            std::to_string(least) + " to " + std::to_string(std::numeric_limits<Integer>::max()) + ")";
    return false;
  }
  setting = value;
  return true;
}

// Beats a measure, or a compound meter whose beat is the dotted quarter:
// 6/8, 9/8 and 12/8 are two, three and four such beats a measure.
bool SetMeter(const char* text, Options& o, std::string& error) {
  for (const char* compound : {"6/8", "9/8", "12/8"}) {
    if (std::strcmp(text, compound) == 0) {
      o.meter = std::atoi(compound) / 3;
      o.compoundMeter = true;
      return true;
    }
  }
  std::int32_t value = 0;
  if (!StrictCount<std::int32_t>(text, value)) {
    error = std::string("invalid meter '") + text +
            "' (beats a measure, a whole number from 1 to 2147483647, or 6/8, 9/8 or 12/8)";
    return false;
  }
  o.meter = value;
  o.compoundMeter = false;
  return true;
}

bool SetFirstMeasure(const char* text, Options& o, std::string& error) {
  std::int32_t value = 0;
  if (!StrictCount<std::int32_t>(text, value, 0)) {
    error = std::string("invalid first measure '") + text + "' (a whole number from 0 to 2147483647)";
    return false;
  }
  o.firstMeasure = value;
  return true;
}

bool SetTimecode(const char* text, Options& o, std::string& error) {
  o.timecode = TimecodeRateNamed(text);
  if (!o.timecode) error = std::string("invalid timecode rate '") + text + "' (" + kTimecodeRateNames + ")";
  return o.timecode.has_value();
}

bool Take(int code, const char* value, Options& o, std::string& error) {
  switch (code) {
    case 'h': o.help = true; return true;
    case 'V': o.version = true; return true;
    case 'q': o.quiet = true; return true;
    case 'f':
      o.format = value;
      o.formatGiven = true;
      return true;
    case kExact: o.exact = true; return true;
    case kOffset: o.offset = value; return true;
    case kBeat:
      o.beat = value;
      o.beatGiven = true;
      return true;
    case kInto:
      o.into = value;
      if (!o.formatGiven) o.format = "wav";
      return true;
    case 'r': return SetCount<std::int32_t>("rate", value, o.rate, error);
    // Measure 0 exists when the run numbers from 0 (checked with the others).
    case 's': return SetCount<std::int64_t>("start measure", value, o.start, error, 0);
    case 'e': return SetCount<std::int64_t>("stop measure", value, o.stop, error, 0);
    case 'd': return SetCount<std::int32_t>("divisions", value, o.divisions, error);
    case kFirstMeasure: return SetFirstMeasure(value, o, error);
    case kMaxDrift: o.maxDrift = value; return true;
    case kResolution: return SetCount<std::int32_t>("resolution", value, o.resolution, error);
    case kLocate: o.locate = value; return true;
    case kFit: o.fit = value != nullptr ? value : "beat"; return true;
    case kMeter: return SetMeter(value, o, error);
    case kPickup: return SetCount<std::int32_t>("pickup", value, o.pickup, error, 0);
    case kStrict: o.strict = true; return true;
    case kSnap: o.snap = value; return true;
    case kSnapWindow: o.snapWindow = value; return true;
    case kFollow: o.follow = true; return true;
    case kTimecode: return SetTimecode(value, o, error);
  }
  return false;
}

// An option written after MAP and OUTPUT, where only numbers belong: a long
// option, or a short one (alone or with its value); signed numbers are not.
bool LooksLikeOption(const std::string& argument) {
  if (argument.rfind("--", 0) == 0) return true;
  return argument.size() >= 2 && argument[0] == '-' &&
         std::strchr("hVqfrsed", argument[1]) != nullptr;
}

std::string Unknown(const char* argument, int code) {
  if (code == ':') return std::string("option '") + argument + "' needs a value";
  return std::string("unknown option '") + argument + "'";
}

}  // namespace

bool ParseOptions(int count, const char* const* arguments, Options& o, std::string& error) {
  std::vector<char*> argv{const_cast<char*>("beatmarks")};
  for (int i = 0; i < count; ++i) argv.push_back(const_cast<char*>(arguments[i]));
  argv.push_back(nullptr);
  optind = 0;  // a fresh scan, even when called again in one process
  opterr = 0;
  const int argc = count + 1;
  for (int code; (code = getopt_long(argc, argv.data(), "+:hVqf:r:s:e:d:", kLongOptions, nullptr)) != -1;) {
    if (code == '?' || code == ':') {
      const char* bad = argv[optind - 1];
      std::string shortName = std::string("-") + static_cast<char>(optopt);
      error = Unknown(optopt != 0 && bad[1] != '-' ? shortName.c_str() : bad, code);
      return false;
    }
    o.given = true;
    if (!Take(code, optarg, o, error)) return false;
  }
  o.given = o.given || (optind > 1 && std::strcmp(argv[optind - 1], "--") == 0);
  for (int i = optind; i < argc; ++i) o.positional.emplace_back(argv[i]);
  for (std::size_t i = 2; i < o.positional.size(); ++i) {
    if (LooksLikeOption(o.positional[i])) {
      error = "options go before MAP: '" + o.positional[i] + "'";
      return false;
    }
  }
  return true;
}

}  // namespace beatmarks

namespace beatmarks {
namespace {

constexpr const char* kBeatUnits[] = {"denominator", "quarter", "click"};
constexpr const char* kTimecodeFormats[] = {"csv", "labels", "json", "edl"};

template <std::size_t Size>
bool OneOf(const std::string& word, const char* const (&words)[Size]) {
  for (const char* w : words) {
    if (word == w) return true;
  }
  return false;
}

// A named setting and its positional argument (1-based) given together.
bool Clash(bool named, const Options& o, std::size_t position, const char* option,
           const char* argument, std::string& error) {
  if (!named || o.positional.size() < position) return false;
  error = std::string(option) + " and the " + argument + " argument both given";
  return true;
}

// The first of -s, -e, START and STOP given that --locate would not use
// (STOP ends the beats --follow finds, and so the map); none: nullptr.
const char* RangeGiven(const Options& o) {
  if (o.start) return "--start";
  if (o.positional.size() >= 4) return "START";
  return o.stop && !o.follow ? "--stop" : nullptr;
}

}  // namespace

std::string MeasureBeforeFirst(const Options& o, std::int64_t first) {
  for (const std::optional<std::int64_t>& measure : {o.start, o.stop}) {
    if (measure && *measure < first) {
      return "measure " + std::to_string(*measure) + " is before the first measure, " + std::to_string(first);
    }
  }
  return "";
}

namespace {

// The options of --fit, --snap and --follow that do not go together or
// are out of range; empty when none is.
std::string FitProblem(const Options& o) {
  if (o.fit && *o.fit != "beat" && *o.fit != "measure") {
    return "unknown fit '" + *o.fit + "' (beat or measure)";
  }
  if (o.fit && o.offset) {
    return "--offset cannot be used with --fit: measure 1 begins at the first downbeat given";
  }
  if ((o.meter || o.pickup || o.strict) && !o.fit) {
    return std::string(o.meter ? "--meter" : o.pickup ? "--pickup" : "--strict") + " needs --fit";
  }
  if (o.fit && o.beatGiven) {
    return "--beat cannot be used with --fit: fitted beats are the beats tapped";
  }
  if (o.pickup && *o.pickup >= o.meter.value_or(4)) {
    return "a pickup of " + std::to_string(*o.pickup) + " beats is no shorter than a measure of " +
           std::to_string(o.meter.value_or(4));
  }
  if (o.pickup && o.strict && *o.pickup > 0) {
    return "--pickup cannot be used with --strict";
  }
  if (o.snap && !o.fit) {
    return "--snap needs --fit";
  }
  if (o.follow && !o.snap) {
    return "--follow needs --snap";
  }
  if (o.follow && o.strict) {
    return "--follow cannot be used with --strict";
  }
  if (o.snapWindow && !o.snap) {
    return "--snap-window needs --snap";
  }
  if (o.snapWindow && !(Rational::FromDecimal(*o.snapWindow).value_or(Rational()).Sign() > 0 &&
                        *Rational::FromDecimal(*o.snapWindow) <= Rational(1))) {
    return "invalid snap window '" + *o.snapWindow + "' (seconds, a decimal above 0 and at most 1)";
  }
  return "";
}

}  // namespace

std::optional<Rational> OffsetSeconds(const Options& o) {
  if (!o.offset) return std::nullopt;
  if (std::optional<Rational> seconds = Rational::FromDecimal(*o.offset)) return seconds;
  if (!o.timecode) return std::nullopt;
  const std::optional<std::uint64_t> frame = ParseTimecode(*o.offset, *o.timecode);
  if (!frame) return std::nullopt;
  return FrameStart(*frame, *o.timecode);
}

bool CheckOptions(const Options& o, std::string& error) {
  const FormatRow* format = FindFormat(o.format);
  if (format == nullptr) {
    error = "unknown format '" + o.format + "' (" + FormatNames(false) + ")";
  } else if (!OneOf(o.beat, kBeatUnits)) {
    error = "unknown beat unit '" + o.beat + "' (denominator, quarter or click)";
  } else if (o.into && o.format != "wav") {
    error = "--into needs --format=wav";
  } else if (o.exact && o.format != "list") {
    error = "--exact needs the list format";
  } else if (o.offset && !OffsetSeconds(o)) {
    error = "invalid offset '" + *o.offset + "' (seconds, a decimal number of 0 or more" +
            (o.timecode ? std::string(", or a timecode HH:MM:SS:FF at --timecode=") + o.timecode->name + ")" : ")");
  } else if (o.maxDrift && !(Rational::FromDecimal(*o.maxDrift).value_or(Rational()) >= kLeastMaxDrift)) {
    error = "invalid largest drift '" + *o.maxDrift + "' (seconds, a decimal number of 0.000000001 or more)";
  } else if (o.locate && !format->locates) {
    error = "--locate needs --format=csv, labels or json";
  } else if (const char* range = RangeGiven(o); o.locate && range != nullptr) {
    error = std::string(range) + " cannot be used with --locate: every time is placed in the whole map";
  } else if (o.locate && *o.locate == "-" && !o.positional.empty() && o.positional[0] == "-") {
    error = "MAP and --locate=- cannot both be standard input";
  } else if (o.timecode && !OneOf(o.format, kTimecodeFormats)) {
    error = "--timecode needs --format=csv, labels, json or edl";
  } else if (!o.timecode && o.format == "edl") {
    error = std::string("--format=edl needs --timecode=RATE, the video's frame rate (") + kTimecodeRateNames + ")";
  } else if (o.maxDrift && o.format != "midi") {
    error = "--max-drift needs --format=midi";
  } else if (o.resolution && o.format != "chart") {
    error = "--resolution needs --format=chart";
  } else if (o.offset && o.format == "list" && !o.exact) {
    error = "--offset needs --exact or an exact format";
  } else if (o.firstMeasure && o.format == "list" && !o.exact) {
    error = "--first-measure needs --exact or another format";
  } else if (const std::string early =
                 o.fit && !o.firstMeasure ? "" : MeasureBeforeFirst(o, o.firstMeasure.value_or(1));
             !early.empty()) {
    // (Fitted beats number their first measure as their positions do: checked once read.)
    error = early;
  } else if (const std::string fit = FitProblem(o); !fit.empty()) {
    error = fit;
  } else if (o.positional.size() < 2) {
    error = o.positional.empty() ? "missing MAP and OUTPUT" : "missing OUTPUT";
  } else if (format->needs == FormatNeeds::kSeekableFile && o.positional[1] == "-") {
    error = "audio needs an OUTPUT file, not '-'";
  } else if (!Clash(o.rate.has_value(), o, 3, "--rate", "RATE", error) &&
             !Clash(o.start.has_value(), o, 4, "--start", "START", error) &&
             !Clash(o.stop.has_value(), o, 5, "--stop", "STOP", error) &&
             !Clash(o.divisions.has_value(), o, 6, "--divisions", "DIVISIONS", error)) {
    return true;
  }
  return false;
}

}  // namespace beatmarks
