#include "convert/RunRecord.h"

#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <streambuf>

#include "Version.h"
#include "controls/IControl.h"
#include "controls/TypeTable.h"
#include "convert/Reuse.h"
#include "convert/TreeCheck.h"
#include "data/set/DataSet.h"
#include "platform/DurableFile.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace prt {

namespace {

RunRecord* active = nullptr;

// A JSON string; any bytes that are not UTF-8 become U+FFFD.
std::string Quoted(std::string_view text) {
  const std::string utf8 = platform::Narrow(platform::Widen(text));
  std::string out = "\"";
  for (const char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\', out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Quoted(std::u16string_view text) { return Quoted(platform::Narrow(text)); }

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

// Copies what standard error is given, line by line, while passing it on.
class RunRecord::ErrorCopy final : public std::streambuf {
 public:
  ErrorCopy() : to_(std::cerr.rdbuf(this)) {}
  ~ErrorCopy() override { std::cerr.rdbuf(to_); }
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines = lines_;
    if (!partial_.empty()) lines.push_back(partial_);
    return lines;
  }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::lock_guard lock(mutex_);
    for (std::streamsize i = 0; i < n; ++i) {
      if (s[i] != '\n') {
        partial_ += s[i];
        continue;
      }
      lines_.push_back(std::move(partial_));
      partial_.clear();
    }
    return to_->sputn(s, n);
  }
  int sync() override { return to_->pubsync(); }

 private:
  std::streambuf* to_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::string partial_;
};

std::unique_ptr<RunRecord> RunRecord::FromEnvironment() {
  const std::optional<std::string> file = platform::EnvironmentValue("PRT2QML_REPORT");
  if (!file || file->empty()) return nullptr;
  return std::make_unique<RunRecord>(platform::WidenPath(*file));
}

RunRecord::RunRecord(std::u16string file)
    : file_(std::move(file)), start_(std::chrono::steady_clock::now()), errors_(std::make_unique<ErrorCopy>()) {}

RunRecord::~RunRecord() = default;

void RunRecord::Started(const std::u16string& dataFile, const std::u16string& outputFolder, bool encrypt) {
  dataFile_ = dataFile, outputFolder_ = outputFolder, encrypt_ = encrypt;
}

void RunRecord::DataRead(std::span<const uint8_t> bytes) { dataHash_ = platform::ContentHash::Of(bytes); }

void RunRecord::Loaded(const DataSet& data) { data_ = &data; }

RunRecord& RunRecord::Around(RunReport& lines) {
  lines_ = &lines;
  return *this;
}

void RunRecord::Made(std::span<const Screen* const> screens, const RecordedDocument& document) {
  lines_->Made(screens, document);
  Document d;
  d.order = document.order;
  d.outcome = !document.rejected.empty() ? "rejected" : document.reused ? "reused" : "compiled";
  std::string& j = d.json;
  j = "{\"file\": " + Quoted(document.name) + ", \"screens\": [";
  for (size_t i = 0; i < screens.size(); ++i) {
    const Screen& screen = *screens[i];
    const TypeRow* row = FindType(screen.reference >> 24);
    // Its text is the object's; a name without one is the reference its
    // record holds, as its document's file name.
    const uint32_t reference = data_ ? data_->ObjectRecord(screen.reference).U32(rec::kObjectRef) : screen.reference;
    const ImageRef text = data_ ? data_->ObjectText(screen.reference, data_->StoredLanguage()) : ImageRef();
    std::u16string units;
    const std::string name = text && text.ReadCountedString(units)
                                 ? platform::Narrow(units)
                                 : std::to_string(reference >> 24) + "#" + std::to_string(reference & 0xFFFFFFu);
    const uint32_t id = data_ && screen.language < data_->LanguageCount() ? data_->LanguageEntry(screen.language).U32(0) : 0;
    j += std::string(i ? ", " : "") + "{\"name\": " + Quoted(name) + ", \"kind\": " +
         Quoted(std::string_view(row ? row->name : "screen")) + ", \"startLanguage\": {\"index\": " +
         std::to_string(screen.language) + ", \"id\": " + std::to_string(id) + "}}";
  }
  j += "], \"files\": [";
  for (size_t i = 0; i < document.files.size(); ++i)
    j += std::string(i ? ", " : "") + "{\"name\": " + Quoted(document.files[i].name) +
         ", \"size\": " + std::to_string(document.files[i].size) + "}";
  j += "]";
  if (!document.rejected.empty()) j += ", \"message\": " + Quoted(document.rejected);
  std::lock_guard lock(mutex_);
  documents_.push_back(std::move(d));
}

std::string RunRecord::Json(int code) {
  std::vector<Document> documents;
  {
    std::lock_guard lock(mutex_);
    documents = documents_;
  }
  std::sort(documents.begin(), documents.end(), [](const Document& a, const Document& b) { return a.order < b.order; });
  const auto count = [&](std::string_view outcome) {
    return std::count_if(documents.begin(), documents.end(), [&](const Document& d) { return d.outcome == outcome; });
  };
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string j = "{\n";
  j += "  \"converter\": {\"name\": \"prt2qml\", \"version\": " + Quoted(std::string_view(kVersion)) + "},\n";
  j += "  \"qt\": " + Quoted(std::string_view(qVersion())) + ",\n";
  j += "  \"dataFile\": " + (dataFile_ ? Quoted(*dataFile_) : "null") + ",\n";
  j += "  \"dataHash\": " + (dataHash_ ? "\"" + Hex(*dataHash_) + "\"" : "null") + ",\n";
  j += "  \"outputFolder\": " + (dataFile_ ? Quoted(outputFolder_) : "null") + ",\n";
  j += "  \"encrypt\": " + std::string(encrypt_ ? "true" : "false") + ",\n";
  j += "  \"exitStatus\": " + std::to_string(code & 0xFF) + ",\n";
  j += "  \"standardError\": [";
  const std::vector<std::string> lines = errors_->Lines();
  for (size_t i = 0; i < lines.size(); ++i) j += (i ? ", " : "") + Quoted(lines[i]);
  j += "],\n";
  j += "  \"totals\": {\"documents\": " + std::to_string(documents.size()) +
       ", \"compiled\": " + std::to_string(count("compiled")) + ", \"reused\": " + std::to_string(count("reused")) +
       ", \"rejected\": " + std::to_string(count("rejected")) + "},\n";
  j += "  \"documents\": [";
  for (size_t i = 0; i < documents.size(); ++i)
    j += std::string(i ? "," : "") + "\n    " + documents[i].json + ", \"outcome\": \"" + documents[i].outcome + "\"}";
  j += documents.empty() ? "],\n" : "\n  ],\n";
  char wall[32];
  std::snprintf(wall, sizeof wall, "%.6f", seconds);
  j += "  \"wallSeconds\": " + std::string(wall) + "\n}\n";
  return j;
}

int RunRecord::Finish(int code) {
  const std::string json = Json(code);
  errors_.reset();  // standard error as it was
  if (const std::error_code ec = platform::WriteFileDurably(file_, json)) {
    std::cerr << "prt2qml: cannot write the run report '" << platform::ToPath(file_).string()
              << "': " << ec.message() << std::endl;
    return code == 0 ? -3 : code;
  }
  return code;
}

void SetRunRecord(RunRecord* record) { active = record; }

RunRecord* ActiveRunRecord() { return active; }

RunReport& RecordedReport(RunReport& lines) { return active ? active->Around(lines) : lines; }

}  // namespace prt
