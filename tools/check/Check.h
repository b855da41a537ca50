#pragma once
// The project check: every screen's document made as the converter makes
// it, in its order and language, and what of it a panel engineer would
// otherwise learn only on the panel: documents lost or refused, texts and
// fonts missing, controls that do not fit their screen.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "data/set/DataSet.h"

namespace prt::check {

enum class Level { Note, Warning, Error };

// One screen's document, as the converter names it.
struct Document {
  std::string kind;  // "page", "template", "reportpage", "popup"
  std::string name;  // its text in the stored language, or the placeholder the document writes
  std::string file;  // "page16777216.qml", "tmpl.qml"
  uint32_t reference = 0;
  uint32_t language = 0;  // the language index it starts in
};

struct Finding {
  static constexpr size_t kProject = SIZE_MAX;
  size_t document = kProject;  // into Report::documents; kProject: the project as a whole
  Level level = Level::Warning;
  std::string check;  // the check's name, "shared-template"
  std::string what;
  std::string why;
  nlohmann::ordered_json details = nlohmann::ordered_json::object();  // for machines, when asked for
};

struct Report {
  std::vector<Document> documents;  // in the converter's order
  std::vector<Finding> findings;    // sorted: the project first, then document by document
  size_t Count(Level level) const;
};

struct CheckOptions {
  int threads = 2;       // 1 or 2
  bool details = true;   // fill Finding::details (what ReportJson prints)
};

// Checks `data` as a converter run would convert it. Only reads it.
Report CheckDataSet(const DataSet& data, const CheckOptions& options = {});

// "<dataFile>: page "Overview" (page16777216.qml): warning: <what>, <why> [<check>]"
std::string FindingLine(const Report& report, const Finding& finding, const std::string& dataFile);
// Every finding, one line each, and a line of totals when there are any.
std::string ReportText(const Report& report, const std::string& dataFile);
nlohmann::ordered_json ReportJson(const Report& report, const std::string& dataFile);

}  // namespace prt::check
