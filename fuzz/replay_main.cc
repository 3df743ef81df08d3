// A main for the fuzz targets without libFuzzer, so that every test build
// replays their seed corpora with any compiler: runs the target once on each
// file named on the command line, or on each file of a named folder.

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::string> inputs;
  for (const std::string& arg : std::vector<std::string>(argv + 1, argv + argc)) {
    if (!std::filesystem::is_directory(arg)) inputs.push_back(arg);
    for (const auto& name : ostrel::testing::listDir(arg)) inputs.push_back(arg + '/' + name);
  }
  for (const std::string& path : inputs) {
    // A buffer of exactly the input's size, as libFuzzer hands it over, so
    // that a sanitizer sees any read past its end.
    const std::string bytes = ostrel::testing::readFile(path);
    const std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return inputs.empty() ? 1 : 0;  // no input: a wrong path, not a pass
}
