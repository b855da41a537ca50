// Runs the fuzz entry point without libFuzzer: over each seed data file and
// a fixed number of seeded mutations of it, so ctest (and the sanitizer
// builds) exercise damaged data sets on every run. Each data file is tried
// with stored language 1 in an up-to-date working copy and with a fresh copy.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size);

namespace {

std::vector<uint8_t> Mutate(std::vector<uint8_t> bytes, std::mt19937& random) {
  if (bytes.empty()) return bytes;
  std::uniform_int_distribution<size_t> position(0, bytes.size() - 1);
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int e = 0; e < edits; ++e) {
    switch (random() % 4) {
      case 0:  // flip one bit
        bytes[position(random)] ^= static_cast<uint8_t>(1u << (random() % 8));
        break;
      case 1:  // a random byte
        bytes[position(random)] = static_cast<uint8_t>(random());
        break;
      case 2:  // a large little-endian word, as counts and references are
        if (bytes.size() >= 4) {
          const size_t at = position(random) & ~size_t{3};
          const uint32_t word = random() | 0x80000000u;
          for (int b = 0; b < 4 && at + b < bytes.size(); ++b) bytes[at + b] = static_cast<uint8_t>(word >> (8 * b));
        }
        break;
      default:  // cut the tail
        bytes.resize(position(random));
        break;
    }
  }
  return bytes;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::cerr << "usage: " << argv[0] << " <mutations per file> <file>...\n";
    return 2;
  }
  const long mutations = std::strtol(argv[1], nullptr, 10);
  std::mt19937 random(20261206);
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::cerr << "cannot read " << argv[i] << "\n";
      return 2;
    }
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const std::vector<uint8_t>& language : {std::vector<uint8_t>{1, 0, 0, 0}, {0, 0, 0, 0x80}}) {
      std::vector<uint8_t> seed = language;
      seed.insert(seed.end(), file.begin(), file.end());
      LLVMFuzzerTestOneInput(seed.data(), seed.size());
      for (long m = 0; m < mutations / 2; ++m) {
        const std::vector<uint8_t> bytes = Mutate(seed, random);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      }
    }
  }
  std::cout << (argc - 2) << " seed files, " << mutations << " mutations each: no fault\n";
  return 0;
}
