#include "config_reading.h"

#include <utility>

#include "ostrel/agent_config_file.h"

namespace ostrel {

Expected<ReadConfig> readConfig(Disk& disk, const std::string& path) {
  auto stored = files::read(disk, path);
  if (!stored.ok()) return stored.error().within("could not read the config");
  if (!stored.value()) return ReadConfig{std::nullopt, {AgentConfigFile::defaultConfig(), {}}};
  auto decoded = AgentConfig::decodedWithDrops(stored.value()->bytes);
  if (!decoded.ok()) return decoded.error().within("the config is not valid JSON");
  return ReadConfig{std::move(stored).value(), std::move(decoded).value()};
}

}  // namespace ostrel
