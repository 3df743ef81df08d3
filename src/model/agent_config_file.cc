#include "ostrel/agent_config_file.h"

#include <cstdlib>

#include "config_reading.h"
#include "file_steps.h"

namespace ostrel {

namespace {

constexpr std::string_view folderInHome = "Library/Application Support/Ostrel";

}  // namespace

Expected<std::string> AgentConfigFile::location() {
  auto home = files::homeFolder(std::getenv("HOME"), files::databaseHomeFolder, realDisk());
  if (!home.ok()) return home.error();
  return files::joined(home.value(),
                       std::string(folderInHome) + "/" + std::string(AgentConfig::filename));
}

AgentConfig AgentConfigFile::defaultConfig() { return AgentConfig(1, {}, {}, std::nullopt); }

Expected<AgentConfig> AgentConfigFile::load(const std::string& from) {
  auto loaded = readConfig(realDisk(), from);
  if (!loaded.ok()) return loaded.error();
  return std::move(loaded).value().decoded.config;
}

Status AgentConfigFile::save(const AgentConfig& config, const std::string& to) {
  Disk& disk = realDisk();
  if (auto made = files::makeFolders(disk, files::parentOf(to)); !made.ok()) return made;
  auto encoded = config.encoded();
  if (!encoded.ok()) return encoded.error();
  auto target = files::resolved(disk, to);
  if (!target.ok()) return target.error();
  auto existing = disk.status(target.value());
  const unsigned mode = existing.ok() ? existing.value().permissions : files::newFileMode(disk);
  return files::replace(disk, target.value(), encoded.value(), mode, nullptr);
}

}  // namespace ostrel
