// What the rule edits need to know of validated(), so that a rule it would
// drop can be refused before it replaces anything.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ostrel/agent_config.h"

namespace ostrel::validation {

// The complaint that drops `rule` wherever it stands: a blank trigger, an
// unknown kind, a text beyond its limit, a transform that would loop.
std::optional<AgentConfig::Complaint> ownComplaint(const AgentConfig::Rule& rule);

// The position from which validated() drops every rule for the cap: the
// first one with maxRules survivors before it, else rules.size().
std::size_t firstCappedRule(const std::vector<AgentConfig::Rule>& rules);

// The complaint of a rule beyond the cap.
AgentConfig::Complaint capComplaint();

// Why a rule of `kind` is dropped, or nothing when the kind is valid.
std::optional<std::string> kindComplaint(std::string_view kind);

}  // namespace ostrel::validation
