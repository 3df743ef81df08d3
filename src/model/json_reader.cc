// AgentConfig::decoded(): strict reading of the JSON document. The parser
// streams its events into a small state machine that fills the record
// directly: no document tree is built, nothing recurses, and values under
// unknown keys are skipped as they pass, however deep. Where JSON leaves a
// choice open, it reads as the desktop application's decoder does: the first
// of two equal keys counts, and a version is any number whose value is an
// exact integer. A failure is named by rank, not by where it stands, in a
// one-line message that says what failed and where (worded by
// json_reader_messages.h).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json_encoding.h"
#include "json_reader_messages.h"
#include "ostrel/agent_config.h"

namespace ostrel {
namespace {

using Json = nlohmann::json;
using json_messages::explanation;
using json_messages::oneLine;
using json_messages::openingOfLevel;
using json_messages::positionText;

// Deeper documents are refused rather than walked: no settings file needs
// more than three levels, and the limit bounds the parser's own stack.
constexpr int maxNesting = 512;

// nlohmann's id for a number too large for any numeric type.
constexpr int numberOverflowId = 406;

// What a JSON value turned out to be, for messages.
enum class Found { null, boolean, number, string, object, array };

std::string_view described(Found found) {
  switch (found) {
    case Found::null:
      return "null";
    case Found::boolean:
      return "a boolean";
    case Found::number:
      return "a number";
    case Found::string:
      return "a string";
    case Found::object:
      return "an object";
    case Found::array:
      return "an array";
  }
  return "a value";
}

bool isContainer(Found found) { return found == Found::object || found == Found::array; }

// The keys the reader knows; the order of the names is the order in which
// missing keys are reported.
enum class TopKey { version, dictionary, rules, style, unknown };
constexpr std::array<std::string_view, 4> topKeyNames = {"version", "dictionary", "rules", "style"};

enum class RuleKey { kind, trigger, replacement, enabled, unknown };
constexpr std::array<std::string_view, 4> ruleKeyNames = {"kind", "trigger", "replacement",
                                                          "enabled"};

template <class Key>
Key keyNamed(std::string_view name, const std::array<std::string_view, 4>& names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<Key>(i);
  }
  return Key::unknown;
}

template <class Key>
std::size_t indexOf(Key key) {
  return static_cast<std::size_t>(key);
}

// A number literal read as a version: its exact value when that is an integer
// in the signed 64-bit range, however it is written (1.0, 1e2, 100e-2, -0.0).
// Worked out on the digits, never through a double, so 1.00000000000000001
// is the fraction it is.
struct VersionNumber {
  enum class Problem { none, fraction, outOfRange };
  std::int64_t value = 0;
  Problem problem = Problem::none;
};

VersionNumber versionNumber(std::string_view literal) {
  using Problem = VersionNumber::Problem;
  const bool negative = literal.starts_with('-');
  if (negative) literal.remove_prefix(1);
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  std::string digits;  // the integer part's and the fraction's, in order
  std::int64_t exponent = 0;
  std::size_t at = 0;
  for (; at < literal.size() && isDigit(literal[at]); ++at) digits += literal[at];
  if (at < literal.size() && literal[at] == '.') {
    for (++at; at < literal.size() && isDigit(literal[at]); ++at, --exponent) {
      digits += literal[at];
    }
  }
  if (at < literal.size() && (literal[at] == 'e' || literal[at] == 'E')) {
    const bool negativeExponent = ++at < literal.size() && literal[at] == '-';
    if (at < literal.size() && (literal[at] == '-' || literal[at] == '+')) ++at;
    // Far beyond any 64-bit value either way; saturating keeps the sum exact.
    constexpr std::int64_t saturated = std::int64_t{1} << 50;
    std::int64_t written = 0;
    for (; at < literal.size() && isDigit(literal[at]); ++at) {
      written = std::min(saturated, written * 10 + (literal[at] - '0'));
    }
    exponent += negativeExponent ? -written : written;
  }
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return {};  // zero, -0.0 included
  const std::size_t last = digits.find_last_not_of('0');
  exponent += static_cast<std::int64_t>(digits.size() - 1 - last);
  if (exponent < 0) return {0, Problem::fraction};
  constexpr std::int64_t maxDigits = std::numeric_limits<std::int64_t>::digits10 + 1;
  if (static_cast<std::int64_t>(last - first + 1) + exponent > maxDigits) {
    return {0, Problem::outOfRange};
  }
  std::uint64_t magnitude = 0;  // at most 19 digits: below 2^64
  for (std::size_t i = first; i <= last; ++i) magnitude = magnitude * 10 + (digits[i] - '0');
  constexpr std::uint64_t maxMagnitude = std::uint64_t{1} << 63;  // of a negative value
  for (; exponent > 0; --exponent) {
    if (magnitude > maxMagnitude / 10) return {0, Problem::outOfRange};
    magnitude *= 10;
  }
  if (magnitude > maxMagnitude - (negative ? 0 : 1)) return {0, Problem::outOfRange};
  // Negated as unsigned: -2^63 has no positive counterpart in 64 bits.
  return {negative ? static_cast<std::int64_t>(~magnitude + 1)
                   : static_cast<std::int64_t>(magnitude)};
}

// Receives the parser's events (the SAX interface of nlohmann/json) and
// builds the record from them. It knows where it is from `place_` and the
// key just read. A value that does not fit is remembered as the problem of
// its key and skipped, and the reading goes on to the end, so that a syntax
// error anywhere outranks it; result() names the problem that ranks first.
class DocumentReader {
 public:
  explicit DocumentReader(std::string_view json) : json_(json) {}

  bool null() {
    if (place_ == Place::topObject && topKey_ == TopKey::style) {
      style_.reset();
      return true;
    }
    return unexpected(Found::null);
  }

  bool boolean(bool value) {
    if (place_ == Place::ruleObject && ruleKey_ == RuleKey::enabled) {
      enabled_ = value;
      return true;
    }
    return unexpected(Found::boolean);
  }

  bool number_integer(std::int64_t value) {
    if (!expectingVersion()) return unexpected(Found::number);
    version_ = value;
    return true;
  }

  bool number_unsigned(std::uint64_t value) {
    if (!expectingVersion()) return unexpected(Found::number);
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      topProblem_[indexOf(TopKey::version)] = outOfRange;
    }
    version_ = static_cast<std::int64_t>(value);
    return true;
  }

  // Also integers beyond 64 bits arrive here. A version is never rounded:
  // anything that is not an exact 64-bit integer is refused.
  bool number_float(double, const std::string& literal) {
    if (!expectingVersion()) return unexpected(Found::number);
    const VersionNumber number = versionNumber(literal);
    if (number.problem != VersionNumber::Problem::none) {
      topProblem_[indexOf(TopKey::version)] = versionProblem(number.problem);
    }
    version_ = number.value;
    return true;
  }

  // Copies, not moves: the reader's buffer keeps its capacity for the next
  // string, and each stored text gets an allocation of its own size instead
  // of one grown by doubling.
  bool string(std::string& value) {
    if (place_ == Place::dictionary) {
      dictionary_.push_back(value);
      ++index_;
      return true;
    }
    if (place_ == Place::topObject && topKey_ == TopKey::style) {
      style_ = value;
      return true;
    }
    if (std::string* field = ruleTextField()) {
      *field = value;
      return true;
    }
    return unexpected(Found::string);
  }

  bool binary(Json::binary_t&) { return fail("unexpected binary data"); }

  bool start_object(std::size_t) {
    if (!enterLevel()) return false;
    if (place_ == Place::beforeDocument) {
      place_ = Place::topObject;
      return true;
    }
    if (place_ == Place::rules) {
      place_ = Place::ruleObject;
      ruleKey_ = RuleKey::unknown;
      ruleSeen_ = {};
      ruleProblem_ = {};
      enabled_ = false;
      return true;
    }
    return unexpected(Found::object);
  }

  // A later occurrence of a known key is treated as an unknown key: its value
  // must be JSON, and is skipped whole, unlooked at.
  bool key(std::string& name) {
    if (place_ == Place::topObject) {
      topKey_ = keyNamed<TopKey>(name, topKeyNames);
      if (topKey_ == TopKey::unknown) return drop(std::move(name), unknownKey);
      bool& seen = topSeen_[indexOf(topKey_)];
      if (std::exchange(seen, true)) {
        topKey_ = TopKey::unknown;
        return drop(std::move(name), repeatedKey);
      }
    } else if (place_ == Place::ruleObject) {
      ruleKey_ = keyNamed<RuleKey>(name, ruleKeyNames);
      const std::string path = elementPath("rules", index_) + "." + name;
      if (ruleKey_ == RuleKey::unknown) return drop(path, unknownKey);
      if (std::exchange(ruleSeen_[indexOf(ruleKey_)], true)) {
        ruleKey_ = RuleKey::unknown;
        return drop(path, repeatedKey);
      }
    }
    return true;
  }

  bool end_object() {
    --depth_;
    switch (place_) {
      case Place::skipping:
        return leaveSkippedLevel();
      case Place::ruleObject:
        for (std::size_t i = 0; i < ruleKeyNames.size(); ++i) {
          if (ruleProblem_[i]) {
            rulesProblem(*ruleProblem_[i]);
            break;
          }
          if (!ruleSeen_[i]) {
            rulesProblem(elementPath("rules", index_) + ": missing key \"" +
                         std::string(ruleKeyNames[i]) + "\"");
            break;
          }
        }
        rules_.emplace_back(std::move(kind_), std::move(trigger_), std::move(replacement_),
                            enabled_);
        ++index_;
        place_ = Place::rules;
        return true;
      case Place::topObject:
        place_ = Place::afterDocument;
        return true;
      default:
        return fail("unexpected end of an object");
    }
  }

  bool start_array(std::size_t) {
    if (!enterLevel()) return false;
    if (place_ == Place::topObject && topKey_ == TopKey::dictionary) {
      index_ = 0;
      place_ = Place::dictionary;
      return true;
    }
    if (place_ == Place::topObject && topKey_ == TopKey::rules) {
      index_ = 0;
      place_ = Place::rules;
      return true;
    }
    return unexpected(Found::array);
  }

  bool end_array() {
    --depth_;
    switch (place_) {
      case Place::skipping:
        return leaveSkippedLevel();
      case Place::dictionary:
      case Place::rules:
        place_ = Place::topObject;
        return true;
      default:
        return fail("unexpected end of an array");
    }
  }

  bool parse_error(std::size_t position, const std::string& lastToken, const Json::exception& ex) {
    // A well-formed version too large for a double: the parser cannot go on,
    // so it is judged where it stands, like any other version.
    if (ex.id == numberOverflowId && expectingVersion()) {
      return fail(versionProblem(versionNumber(lastToken).problem));
    }
    // The position counts bytes from 1 and points at the byte that was read
    // last, or one past the end for a truncated text.
    const std::size_t index = position > 0 ? position - 1 : 0;
    std::string what = explanation(ex.what(), lastToken);
    // The commonest slip of a hand edit, which the parser's words do not name.
    if (const char closing = index < json_.size() ? json_[index] : '\0';
        closing == ']' || closing == '}') {
      const std::size_t before = json_.find_last_not_of(" \t\n\r", index == 0 ? 0 : index - 1);
      if (index > 0 && before != std::string_view::npos && json_[before] == ',') {
        what = std::string("a comma before '") + closing + "': JSON allows none";
      }
    }
    // The parser takes a NUL byte for the end of the text, which would make
    // "unexpected end of input" a puzzling message in mid-document.
    if (index < json_.size() && json_[index] == '\0' &&
        what.find("end of input") != std::string::npos) {
      what = "unexpected NUL byte";
    }
    return fail(positionText(json_, index) + ": " + what);
  }

  // The record, or the problem that ranks first: text that is not JSON, a
  // top level that is not an object, then the keys in their order.
  Expected<AgentConfig::Decoded> result() {
    if (tooDeep_) {
      return Error{positionText(json_, openingOfLevel(json_, maxNesting + 1)) +
                   ": nesting deeper than " + std::to_string(maxNesting) + " levels"};
    }
    if (error_) return *std::move(error_);
    if (place_ != Place::afterDocument) return Error{"the document ended early"};
    // The parser stops at a NUL byte as if the text ended there; JSON allows
    // none, and an accepted document cannot hold one before its end.
    const std::size_t nul = json_.find('\0');
    if (nul != std::string_view::npos) {
      return Error{positionText(json_, nul) + ": unexpected NUL byte after the document"};
    }
    if (notAnObject_) return Error{*std::move(notAnObject_)};
    for (std::size_t i = 0; i < topKeyNames.size(); ++i) {
      if (topProblem_[i]) return Error{*std::move(topProblem_[i])};
      // "style" is optional; it is last in topKeyNames.
      if (!topSeen_[i] && i != indexOf(TopKey::style)) {
        return Error{"missing key \"" + std::string(topKeyNames[i]) + "\""};
      }
    }
    return AgentConfig::Decoded{
        AgentConfig(version_, std::move(dictionary_), std::move(rules_), std::move(style_)),
        std::move(drops_)};
  }

 private:
  enum class Place {
    beforeDocument,
    topObject,
    dictionary,
    rules,
    ruleObject,
    skipping,
    afterDocument
  };

  static constexpr std::string_view unknownKey = "unknown key, not kept";
  static constexpr std::string_view repeatedKey = "repeated key; the first one is kept";
  static constexpr std::string_view outOfRange = "version: out of the signed 64-bit range";

  static std::string versionProblem(VersionNumber::Problem problem) {
    if (problem == VersionNumber::Problem::fraction) {
      return "version: expected an integer, found a number with a fraction";
    }
    return std::string(outOfRange);
  }

  // Ends the reading: the text cannot be read on.
  bool fail(std::string description) {
    if (!error_) error_ = Error{std::move(description)};
    return false;
  }

  // A key the record leaves out, in file order.
  bool drop(std::string subject, std::string_view reason) {
    drops_.push_back({std::move(subject), std::string(reason)});
    return true;
  }

  // Only the first rule with a problem is named.
  void rulesProblem(std::string description) {
    auto& problem = topProblem_[indexOf(TopKey::rules)];
    if (!problem) problem = std::move(description);
  }

  bool enterLevel() {
    if (++depth_ <= maxNesting) return true;
    tooDeep_ = true;
    return false;
  }

  bool leaveSkippedLevel() {
    if (--skippedLevels_ == 0) place_ = resumePlace_;
    return true;
  }

  bool expectingVersion() const { return place_ == Place::topObject && topKey_ == TopKey::version; }

  std::string* ruleTextField() {
    if (place_ != Place::ruleObject) return nullptr;
    switch (ruleKey_) {
      case RuleKey::kind:
        return &kind_;
      case RuleKey::trigger:
        return &trigger_;
      case RuleKey::replacement:
        return &replacement_;
      default:
        return nullptr;
    }
  }

  static std::string elementPath(std::string_view list, std::size_t index) {
    return std::string(list) + "[" + std::to_string(index) + "]";
  }

  // A value that is not the one expected here: skipped, and unless it belongs
  // to an unknown key, remembered as the problem of where it stands.
  bool unexpected(Found found) {
    const std::string what = std::string(described(found));
    switch (place_) {
      case Place::skipping:
        if (isContainer(found)) ++skippedLevels_;
        return true;
      case Place::beforeDocument:
        notAnObject_ = "the document must be a JSON object, found " + what;
        place_ = Place::afterDocument;
        break;
      case Place::topObject:
        if (topKey_ != TopKey::unknown) {
          topProblem_[indexOf(topKey_)] =
              wrongValue(std::string(topKeyNames[indexOf(topKey_)]), found);
        }
        break;
      case Place::ruleObject:
        if (ruleKey_ != RuleKey::unknown) {
          ruleProblem_[indexOf(ruleKey_)] = wrongValue(
              elementPath("rules", index_) + "." + std::string(ruleKeyNames[indexOf(ruleKey_)]),
              found);
        }
        break;
      case Place::dictionary: {
        auto& problem = topProblem_[indexOf(TopKey::dictionary)];
        if (!problem) {
          problem = elementPath("dictionary", index_) + ": expected a string, found " + what;
        }
        ++index_;
        break;
      }
      case Place::rules:
        rulesProblem(elementPath("rules", index_) + ": expected an object, found " + what);
        ++index_;
        break;
      case Place::afterDocument:
        return fail("unexpected value after the document");
    }
    if (isContainer(found)) {
      resumePlace_ = place_;
      place_ = Place::skipping;
      skippedLevels_ = 1;
    }
    return true;
  }

  // The problem of the value of a known key.
  std::string wrongValue(const std::string& path, Found found) const {
    if (found == Found::null) return path + ": missing value (null)";
    return path + ": expected " + std::string(expectation()) + ", found " +
           std::string(described(found));
  }

  std::string_view expectation() const {
    if (place_ == Place::ruleObject) {
      return ruleKey_ == RuleKey::enabled ? "true or false" : "a string";
    }
    switch (topKey_) {
      case TopKey::version:
        return "an integer";
      case TopKey::dictionary:
        return "an array of strings";
      case TopKey::rules:
        return "an array of rule objects";
      case TopKey::style:
        return "a string or null";
      case TopKey::unknown:
        break;
    }
    return "a value";
  }

  std::string_view json_;
  Place place_ = Place::beforeDocument;
  Place resumePlace_ = Place::topObject;  // where skipping ends
  std::size_t skippedLevels_ = 0;
  int depth_ = 0;
  bool tooDeep_ = false;
  std::optional<Error> error_;                             // the text cannot be read as JSON
  std::optional<std::string> notAnObject_;                 // the top level is something else
  std::array<std::optional<std::string>, 4> topProblem_;   // per top-level key
  std::array<std::optional<std::string>, 4> ruleProblem_;  // per key of this rule

  TopKey topKey_ = TopKey::unknown;  // the key whose value comes next
  std::array<bool, 4> topSeen_{};
  RuleKey ruleKey_ = RuleKey::unknown;
  std::array<bool, 4> ruleSeen_{};
  std::size_t index_ = 0;  // of the element next in the dictionary or rules
  std::vector<AgentConfig::Complaint> drops_;

  // The record being built, and the rule being read.
  std::int64_t version_ = 0;
  std::vector<std::string> dictionary_;
  std::vector<AgentConfig::Rule> rules_;
  std::optional<std::string> style_;
  std::string kind_;
  std::string trigger_;
  std::string replacement_;
  bool enabled_ = false;
};

}  // namespace

Expected<AgentConfig> AgentConfig::decoded(std::string_view json) {
  auto read = decodedWithDrops(json);
  if (!read.ok()) return read.error();
  return std::move(read).value().config;
}

Expected<AgentConfig::Decoded> AgentConfig::decodedWithDrops(std::string_view bytes) {
  std::string converted;
  auto text = json_encoding::asUtf8(bytes, converted);
  if (!text.ok()) return text.error();
  const std::string_view json = text.value();
  DocumentReader reader(json);
  try {
    Json::sax_parse(json.begin(), json.end(), &reader, Json::input_format_t::json,
                    /*strict=*/true, /*ignore_comments=*/false);
  } catch (const Json::exception& e) {
    return Error{"the JSON reader failed: " + explanation(e.what(), "")};
  } catch (const std::bad_alloc&) {
    throw;  // not a fault of the document: the caller reports it as such
  } catch (const std::exception& e) {
    return Error{"the JSON reader failed: " + oneLine(e.what())};
  }
  return reader.result();
}

}  // namespace ostrel
