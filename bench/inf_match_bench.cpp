// Times the platform-free INF matcher natively over a folder of INF files (best of N runs).
// Prints "native <seconds> <MB> <kit files>" and the kit files' names.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cleanup/core/inf_text_matcher.h"

namespace {

class FileSource : public korva::InfSource {
 public:
  explicit FileSource(FILE* file) : file_(file) {}
  size_t Read(char* buffer, size_t size) override {
    size_t n = std::fread(buffer, 1, size, file_);
    bytes += n;
    return n;
  }
  bool Rewind() override { return std::fseek(file_, 0, SEEK_SET) == 0; }
  size_t bytes = 0;

 private:
  FILE* file_;
};

// The ANSI code page stands in as Latin-1 here: U+0000..U+00FF as one byte, the rest '?'.
size_t Latin1FromUtf16(const char16_t* units, size_t count, char* out) {
  for (size_t i = 0; i < count; ++i) out[i] = units[i] < 0x100 ? static_cast<char>(units[i]) : '?';
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  std::vector<std::string> files;
  // The INF folder, then the driver store's folder where one is given.
  for (const char* folder : {argv[1], argc > 3 ? argv[3] : nullptr}) {
    if (!folder) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      if (entry.path().extension() == ".inf") files.push_back(entry.path().string());
    }
  }
  korva::InfTextMatcher matcher(
      {"{96E73B6E-7A5A-11D4-9F24-0080C82727F4}", "CLEANUPWIZARD_DEVICEIDENTSTRING",
       "{DAB6A146-D93E-48AB-B3E5-374AB8FFF277}", false},
      Latin1FromUtf16);
  double best = 1e9;
  std::vector<std::string> kit;
  for (int run = 0; run < runs; ++run) {
    kit.clear();
    auto start = std::chrono::steady_clock::now();
    for (const std::string& path : files) {
      FILE* file = std::fopen(path.c_str(), "rb");
      if (!file) continue;
      std::setvbuf(file, nullptr, _IONBF, 0);
      FileSource source(file);
      if (matcher.Matches(source)) kit.push_back(std::filesystem::path(path).filename().string());
      std::fclose(file);
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed.count() < best) best = elapsed.count();
  }
  std::printf("native %.4f %zu\n", best, kit.size());
  for (const std::string& name : kit) std::printf("  %s\n", name.c_str());
  return 0;
}
