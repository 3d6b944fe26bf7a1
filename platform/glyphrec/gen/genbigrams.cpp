// Writes the character pairs of Chinese words and the frequencies of single characters, from
// word lists (one word per line, "word/…/count"; the count, when there is one, of a single
// character is its frequency), as the file the component uses to decide close readings by
// their neighbours. Little-endian: the magic "VBIGRAM2"; a uint32 count and that many uint32
// pairs (first character << 16 | second), sorted and distinct; a uint32 count and that many
// uint64 frequencies (character << 32 | count), sorted by character.
// Usage: glyphrec-genbigrams OUT LIST...
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

bool IsIdeograph(char32_t c) {
  return c >= 0x3400 && c <= 0x9FFF;
}

// The code points of a UTF-8 line; malformed bytes end it.
std::u32string Decode(const std::string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    const int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) break;
    char32_t c = n == 1 ? b : b & (0x7F >> n);
    for (int k = 1; k < n; ++k) c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(c);
    i += static_cast<size_t>(n);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: glyphrec-genbigrams OUT LIST...\n");
    return 2;
  }
  std::vector<uint32_t> keys;
  std::map<uint32_t, uint64_t> counts;
  for (int a = 2; a < argc; ++a) {
    std::ifstream in(argv[a]);
    if (!in) {
      std::fprintf(stderr, "glyphrec-genbigrams: cannot read %s\n", argv[a]);
      return 1;
    }
    std::string line;
    while (std::getline(in, line)) {
      const size_t slash = line.find('/');
      const std::u32string word = Decode(line.substr(0, slash));
      const size_t last = line.rfind('/');
      if (word.size() == 1 && word[0] <= 0xFFFF && IsIdeograph(word[0]) && last != slash &&
          last + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[last + 1])))
        counts[static_cast<uint32_t>(word[0])] +=
            std::strtoull(line.c_str() + last + 1, nullptr, 10);
      for (size_t i = 1; i < word.size(); ++i)
        if (IsIdeograph(word[i - 1]) && IsIdeograph(word[i]))
          keys.push_back(static_cast<uint32_t>(word[i - 1]) << 16 | static_cast<uint32_t>(word[i]));
    }
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  std::ofstream out(argv[1], std::ios::binary);
  const uint32_t count = static_cast<uint32_t>(keys.size());
  out.write("VBIGRAM2", 8);
  out.write(reinterpret_cast<const char*>(&count), 4);
  out.write(reinterpret_cast<const char*>(keys.data()),
            static_cast<std::streamsize>(keys.size() * 4));
  std::vector<uint64_t> freqs;
  for (const auto& [c, n] : counts)
    freqs.push_back(uint64_t{c} << 32 | std::min<uint64_t>(n, 0xFFFFFFFFu));
  const uint32_t freqCount = static_cast<uint32_t>(freqs.size());
  out.write(reinterpret_cast<const char*>(&freqCount), 4);
  out.write(reinterpret_cast<const char*>(freqs.data()),
            static_cast<std::streamsize>(freqs.size() * 8));
  if (!out) {
    std::fprintf(stderr, "glyphrec-genbigrams: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%u character pairs, %u character frequencies\n", count, freqCount);
  return 0;
}
