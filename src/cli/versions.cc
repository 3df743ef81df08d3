#include "versions.h"

#include <charconv>

#include "edit_transaction.h"
#include "ostrel/text.h"
#include "output.h"

namespace ostrel::cli {
namespace {

// Puts back version `number` and reports it; then, as `check` would, what
// the next edit will drop of it again, since restoring is not repairing.
Status putBack(const Invocation& in, std::size_t number) {
  auto session = openSession(in);
  if (!session.ok()) return session.error();
  auto restored = session.value().restore(number);
  if (!restored.ok()) return restored.error();
  const KeptVersion& version = restored.value().version;
  if (auto printed = printReportOfSaved("restored version " + std::to_string(number) + " from " +
                                        version.time + ": " + version.summary);
      !printed.ok()) {
    return printed;
  }
  auto decoded = AgentConfig::decodedWithDrops(restored.value().bytes);
  if (!decoded.ok()) {
    printError("the restored config is not valid JSON: " + decoded.error().description);
    return {};
  }
  const auto validated = decoded.value().config.validated();
  printFindings(findingsOf(decoded.value(), validated), Tense::toCome, /*silentRepairsToo=*/true);
  return {};
}

}  // namespace

Status listHistory(const Invocation&) {
  auto session = EditSession::open();
  if (!session.ok()) return session.error();
  auto versions = session.value().history();
  if (!versions.ok()) return versions.error();
  if (versions.value().empty()) return printLine("(no history yet)");
  std::string lines;
  std::size_t number = 0;
  for (const KeptVersion& version : versions.value()) {
    if (number > 0) lines += '\n';
    lines += std::to_string(++number) + "  " + version.time + "  " + version.summary +
             "  (replaced by: " + version.command + ")";
  }
  return printLine(lines);
}

Status undo(const Invocation& in) {
  auto session = EditSession::open();
  if (!session.ok()) return session.error();
  auto versions = session.value().history();
  if (!versions.ok()) return versions.error();
  if (versions.value().empty()) return Error{"nothing to undo"};
  return putBack(in, 1);
}

Status restore(const Invocation& in) {
  if (in.operands.size() != 1) return Error{"restore needs <n>"};
  const std::string& operand = in.operands[0];
  std::size_t number = 0;
  const auto [end, error] =
      std::from_chars(operand.data(), operand.data() + operand.size(), number);
  if (error != std::errc() || end != operand.data() + operand.size() || number == 0) {
    return Error{"there is no version " + text::escapedForMessage(operand) +
                 "; `ostrel history` lists them"};
  }
  return putBack(in, number);
}

}  // namespace ostrel::cli
