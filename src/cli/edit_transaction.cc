#include "edit_transaction.h"

#include <chrono>
#include <string_view>

#include "ostrel/text.h"
#include "output.h"

namespace ostrel::cli {
namespace {

// Long enough for any edit another run has under way, short enough that a
// stuck run is reported rather than waited on forever.
constexpr std::chrono::seconds lockWait{10};
// A wait this long is no longer a blink, so say what the run is waiting for.
constexpr std::chrono::seconds lockPatience{1};

std::string_view verbOf(AgentConfig::Complaint::Effect effect) {
  using Effect = AgentConfig::Complaint::Effect;
  switch (effect) {
    case Effect::cut:
      return "cut";
    case Effect::trim:
      return "trim";
    case Effect::remove:
      return "remove";
    case Effect::drop:
      break;
  }
  return "drop";
}

}  // namespace

Expected<EditSession> openSession(const Invocation& in) {
  return EditSession::open(
      {.lockWait = lockWait,
       .lockPatience = lockPatience,
       .waiting = [] { printError("waiting for another ostrel edit to finish\u2026"); },
       .commandLine = commandLine(in)});
}

std::string commandLine(const Invocation& in) {
  static constexpr std::string_view plainCharacters =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+=.,:/@%^";
  std::string line = "ostrel";
  for (const std::string& arg : in.args) {
    std::string word = arg;
    if (arg.empty() || arg.find_first_not_of(plainCharacters) != std::string::npos) {
      word = "'";
      for (char c : arg) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
      word += '\'';
    }
    line += " " + text::escapedForMessage(word);
  }
  return line;
}

std::string findingLine(const AgentConfig::Complaint& finding, Tense tense) {
  std::string verb = finding.line ? "line " + std::to_string(finding.line) + ": " : "";
  verb += tense == Tense::done ? "dropped" : "would " + std::string(verbOf(finding.effect));
  return verb + " '" + text::escapedForMessage(finding.subject) + "' \u2014 " +
         text::escapedForMessage(finding.reason);
}

std::size_t printFindings(const std::vector<AgentConfig::Complaint>& findings, Tense tense,
                          bool silentRepairsToo) {
  std::size_t printed = 0;
  for (const auto& finding : findings) {
    if (finding.silent() && !silentRepairsToo) continue;
    printError(findingLine(finding, tense));
    ++printed;
  }
  return printed;
}

Status runEdit(const Invocation& in, const EditTransaction& transaction) {
  auto session = openSession(in);
  if (!session.ok()) return session.error();
  const EditSession::Outcome outcome = transaction.dryRun
                                           ? session.value().preview(transaction.edit)
                                           : session.value().edit(transaction.edit);
  for (const std::string& note : outcome.change.notes) printError(note);
  printFindings(outcome.findings, Tense::done);
  if (!outcome.status.ok()) return outcome.status;
  const std::string report = transaction.describe(*outcome.saved, outcome.change);
  return transaction.dryRun ? printLine(report) : printReportOfSaved(report);
}

}  // namespace ostrel::cli
