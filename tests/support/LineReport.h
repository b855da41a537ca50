#pragma once
// A run's events as the converter prints them, collected instead of
// printed: standard output and standard error, each line ended.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Messages.h"
#include "convert/RunReport.h"
#include "platform/Publish.h"

namespace prt::test {

// The lines of `text`, sorted: for output whose order may differ.
inline std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

class LineReport final : public RunReport {
 public:
  void Removed(const std::u16string& entry) override { out += RemovedLine(entry) + "\n"; }
  void NotRemoved(const Error& error) override { err += NotRemovedLine(error) + "\n"; }
  void NotWalked(const Error& error) override { err += NotWalkedLine(error) + "\n"; }
  void Notices(std::string_view text) override { out += text; }
  void Rejected(std::string_view message) override { err += std::string(message) + "\n"; }
  void Detour(const Error& error) override { err += FsErrorLine(error) + "\n"; }
  void LeftBehind(const Error& error) override { err += LeftBehindLine(error) + "\n"; }
  void Moved(const std::u16string& staging, const std::u16string& final) override {
    out += MovedLine(staging, final) + "\n";
  }
  void Copied(const std::u16string& file, const std::u16string& final) override {
    out += CopiedLine(file, final) + "\n";
  }
  void Reused(size_t compiled, size_t reused) override { err += ReusedLine(compiled, reused) + "\n"; }

  // The publish's events into this report, the files copied into `final`.
  platform::PublishEvents Events(const std::u16string& final) {
    platform::PublishEvents events;
    events.detour = [this](const Error& error) { Detour(error); };
    events.copied = [this, final](const std::u16string& file) { Copied(file, final); };
    events.leftBehind = [this](const Error& error) { LeftBehind(error); };
    return events;
  }

  std::string out;
  std::string err;
};

}  // namespace prt::test
