#include "convert/ReuseRecord.h"

#include <QtGlobal>
#include <private/qml_compile_hash_p.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "Version.h"
#include "controls/TypeTable.h"
#include "platform/ContentHash.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace prt {

namespace {

constexpr std::string_view kHeader = "prt2qml reuse record 3";

// Appends `bytes` as hex digits, or "-" when there are none.
void AppendHex(std::string& out, std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  if (bytes.empty()) out += '-';
  for (const char c : bytes) {
    out += kDigits[static_cast<uint8_t>(c) >> 4];
    out += kDigits[static_cast<uint8_t>(c) & 15];
  }
}

std::string Hex(std::string_view bytes) {
  std::string out;
  AppendHex(out, bytes);
  return out;
}

// Appends a space and `value`, in decimal or as 16 hex digits.
template <typename T>
void AppendNumber(std::string& out, T value, bool hex16 = false) {
  char text[24];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value, hex16 ? 16 : 10);
  out += ' ';
  if (hex16) out.append(16 - static_cast<size_t>(end - text), '0');
  out.append(text, end);
}

std::optional<std::string> Unhex(std::string_view text) {
  if (text == "-") return std::string();
  if (text.size() % 2 != 0) return std::nullopt;
  std::string out(text.size() / 2, '\0');
  for (size_t i = 0; i < out.size(); ++i) {
    uint8_t byte = 0;
    const auto [end, ec] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, byte, 16);
    if (ec != std::errc() || end != text.data() + 2 * i + 2) return std::nullopt;
    out[i] = static_cast<char>(byte);
  }
  return out;
}

// The words of one line, taken one at a time.
class Words {
 public:
  explicit Words(std::string_view line) : rest_(line) {}
  std::string_view Next() {
    const size_t space = rest_.find(' ');
    const std::string_view word = rest_.substr(0, space);
    rest_ = space == std::string_view::npos ? std::string_view() : rest_.substr(space + 1);
    return word;
  }
  template <typename T>
  bool Number(T& value, int base = 10) {
    const std::string_view word = Next();
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    return !word.empty() && ec == std::errc() && end == word.data() + word.size();
  }
  bool Done() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

std::string HexNumber(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::string Checksum(std::string_view body) { return HexNumber(platform::ContentHash::Of(body)); }

// Whether a run writes a document of this name, as QmlFilePath forms it: a
// screen type's code, the signed object reference in decimal (none for a
// template), ".qml". Read for every document of a record: no allocation.
bool IsDocumentName(std::string_view name) {
  if (!name.ends_with(".qml")) return false;
  name.remove_suffix(4);
  for (const TypeRow& row : kTypeTable) {
    if (!row.screen || !name.starts_with(row.code)) continue;
    const std::string_view reference = name.substr(std::strlen(row.code));
    if (std::string_view(row.code) == "tmpl") return reference.empty();
    int32_t value = 0;
    char canonical[16];
    const auto parsed = std::from_chars(reference.data(), reference.data() + reference.size(), value);
    const auto written = std::to_chars(canonical, canonical + sizeof canonical, value);
    return parsed.ec == std::errc() && std::string_view(canonical, written.ptr) == reference;
  }
  return false;
}

// Whether `doc` lists the files a run writes for it: its .qml, then its
// .qmlc unless the compiler rejected it.
bool ListsItsFiles(const RecordedDocument& doc) {
  const auto cache = [&doc](const std::string& file) {
    return file.size() == doc.name.size() + 1 && file.starts_with(doc.name) && file.back() == 'c';
  };
  return doc.files.size() == (doc.rejected.empty() ? 2u : 1u) && doc.files[0].name == doc.name &&
         (doc.files.size() == 1 || cache(doc.files[1].name));
}

}  // namespace

std::string RecordKey(const std::u16string& final, bool encrypt) {
  // The program itself, so that a rebuild never takes files an older build made.
  const platform::SysResult<platform::FileInfo> stat = platform::StatFile(u"/proc/self/exe");
  const platform::FileInfo program = stat ? *stat : platform::FileInfo();
  return std::string("prt2qml ") + kVersion + " " + std::to_string(program.size) + " " +
         std::to_string(program.modifiedNs) + " qt " + qVersion() + " " + QML_COMPILE_HASH + " e" +
         (encrypt ? "1" : "0") + " " + Hex(platform::NarrowPath(final));
}

std::string FormatRecord(const ReuseRecord& record) {
  std::string body = std::string(kHeader) + "\nkey " + Hex(record.key) + "\ndata " + HexNumber(record.dataHash) +
                     " " + std::to_string(record.language) + "\n";
  for (const RecordedDocument& doc : record.documents) {
    body += "doc " + doc.name;
    AppendNumber(body, doc.textSize);
    AppendNumber(body, doc.textHash, true);
    body += ' ';
    AppendHex(body, doc.notices);
    body += ' ';
    AppendHex(body, doc.rejected);
    AppendNumber(body, doc.files.size());
    body += '\n';
    for (const RecordedFile& file : doc.files) {
      body += "file " + file.name;
      AppendNumber(body, file.size);
      AppendNumber(body, file.hash, true);
      AppendNumber(body, file.device);
      AppendNumber(body, file.inode);
      AppendNumber(body, file.modifiedNs);
      AppendNumber(body, file.changedNs);
      body += '\n';
    }
  }
  body += "end " + Checksum(body) + "\n";
  return body;
}

std::optional<ReuseRecord> ParseRecord(std::string_view text, const std::string* key) {
  const size_t end = text.rfind("end ");
  if (end == std::string_view::npos || text.substr(end) != "end " + Checksum(text.substr(0, end)) + "\n")
    return std::nullopt;
  std::string_view body = text.substr(0, end);
  auto nextLine = [&body]() {
    const size_t newline = body.find('\n');
    const std::string_view line = body.substr(0, newline);
    body = newline == std::string_view::npos ? std::string_view() : body.substr(newline + 1);
    return line;
  };
  if (nextLine() != kHeader) return std::nullopt;
  ReuseRecord record;
  Words keyLine(nextLine());
  if (keyLine.Next() != "key") return std::nullopt;
  auto keyText = Unhex(keyLine.Next());
  // Another output's record: its documents are not read.
  if (key && keyText != *key) return std::nullopt;
  Words data(nextLine());
  if (!keyText || data.Next() != "data" || !data.Number(record.dataHash, 16) || !data.Number(record.language))
    return std::nullopt;
  record.key = std::move(*keyText);
  while (!body.empty()) {
    Words line(nextLine());
    RecordedDocument doc;
    size_t files = 0;
    if (line.Next() != "doc") return std::nullopt;
    doc.name = line.Next();
    auto notices = (line.Number(doc.textSize) && line.Number(doc.textHash, 16)) ? Unhex(line.Next()) : std::nullopt;
    auto rejected = notices ? Unhex(line.Next()) : std::nullopt;
    if (!rejected || !line.Number(files) || files > 2 || !line.Done()) return std::nullopt;
    doc.notices = std::move(*notices);
    doc.rejected = std::move(*rejected);
    doc.order = record.documents.size();
    for (size_t i = 0; i < files; ++i) {
      Words fileLine(nextLine());
      RecordedFile& file = doc.files.emplace_back();
      if (fileLine.Next() != "file") return std::nullopt;
      file.name = fileLine.Next();
      if (!fileLine.Number(file.size) || !fileLine.Number(file.hash, 16) || !fileLine.Number(file.device) ||
          !fileLine.Number(file.inode) || !fileLine.Number(file.modifiedNs) || !fileLine.Number(file.changedNs) ||
          !fileLine.Done())
        return std::nullopt;
    }
    if (!IsDocumentName(doc.name) || !ListsItsFiles(doc)) return std::nullopt;
    record.documents.push_back(std::move(doc));
  }
  // Each document once.
  std::unordered_set<std::string_view> names(record.documents.size());
  for (const RecordedDocument& doc : record.documents)
    if (!names.insert(doc.name).second) return std::nullopt;
  return record;
}

}  // namespace prt
