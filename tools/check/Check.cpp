#include "tools/check/Check.h"

#include <QString>
#include <private/qqmljscompiler_p.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/PopupScreen.h"
#include "controls/ScreenDocument.h"
#include "convert/TreeCheck.h"
#include "platform/FileSystem.h"
#include "platform/Limits.h"
#include "platform/Text.h"
#include "qml/QmlGenerator.h"

namespace prt::check {

namespace {

using json = nlohmann::ordered_json;

constexpr uint8_t kTemplateType = 38, kTrendType = 28;
constexpr int32_t kTrendExtent = 1024;  // what the trend view's size is cut to
constexpr uint32_t kLinkPresent = 1, kLinkTarget = 4;
// Languages named in one finding and in its details, which count them all.
constexpr size_t kNamedLanguages = 8;

const char* LevelName(Level level) {
  switch (level) {
    case Level::Note: return "note";
    case Level::Warning: return "warning";
    case Level::Error: return "error";
  }
  return "error";
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The UTF-8 bytes a document's text is saved as; a surrogate unit becomes
// U+FFFD, 3 bytes.
uint64_t SavedBytes(std::u16string_view text) {
  uint64_t bytes = 0;
  for (const char16_t u : text) bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
  return bytes;
}

std::optional<std::string> TextAt(ImageRef text) {
  std::u16string units;
  if (!text || !text.ReadCountedString(units)) return std::nullopt;
  return platform::Narrow(units);
}

// A control's name as its document writes it in `language`: its text, or
// type number and index.
std::string ControlName(const DataSet& data, uint32_t reference, uint32_t language) {
  if (auto text = TextAt(data.ObjectText(reference, language))) return *text;
  return std::to_string(reference >> 24) + "#" + std::to_string(reference & 0xFFFFFFu);
}

std::string ControlId(const IControl& control) {
  return std::string(control.GetTypeCode()) + std::to_string(static_cast<int32_t>(control.GetObjID()));
}

// The builder's name of a control's class; a drawn shape by its shape (a
// circle is an ellipse of equal sides).
std::string KindName(const IControl& c) {
  const std::string_view code = c.GetTypeCode() == "crcl" ? "elps" : c.GetTypeCode();
  for (const TypeRow& row : kTypeTable)
    if (row.number == c.GetTypeNumber() && row.code && code == row.code) return row.name;
  return "control";
}

class Languages {
 public:
  explicit Languages(const DataSet& data) : data_(data) {}
  uint32_t Id(uint32_t index) const { return data_.LanguageEntry(index).U32(0); }
  // "1031 (index 1)"
  std::string Name(uint32_t index) const {
    return std::to_string(Id(index)) + " (index " + std::to_string(index) + ")";
  }
  json Json(uint32_t index) const { return {{"index", index}, {"id", Id(index)}}; }

 private:
  const DataSet& data_;
};

// The QML library's start-up code leaves the upper halves of the AVX
// registers in use; until they are cleared every SSE instruction of this
// thread, and of threads it starts, pays a transition penalty (the
// compiler's parser runs at half speed). The converter clears them too.
void ClearUpperVectorState() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (__builtin_cpu_supports("avx")) {
    __asm__ volatile("vzeroupper" ::: "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                     "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
  }
#endif
}

// Placed at (-w, -h) by the converter on purpose: never on any screen.
bool MovedOut(ImageRef record) {
  const uint32_t flags = record.U32(rec::kFlags);
  if (flags & rec::kFlagHideMask) return true;
  if (!(flags & rec::kFlagHideBySubRecord)) return false;
  const ImageRef sub = record.Ref(rec::kSubRecord);
  return sub && sub.U32(rec::kSubRecordWord) != 0;
}

// Qt's verdict on a document compiled in memory, through the compiler entry
// the converter uses; none: accepted. `name` is the document's own file
// name, so that Qt's message names it.
std::optional<std::string> QtRejection(const std::string& name, std::u16string_view text) {
  static QV4::Compiler::CodegenWarningInterface warnings;
  // Saved as UTF-8, a surrogate unit becomes U+FFFD: Qt reads that back.
  QString contents = QString::fromRawData(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
  if (std::any_of(text.begin(), text.end(), [](char16_t u) { return u >= 0xD800 && u <= 0xDFFF; })) {
    contents.detach();
    for (QChar& c : contents)
      if (c.isSurrogate()) c = QChar(0xFFFD);
  }
  const QQmlJSSaveFunction discard = [](const QV4::CompiledData::SaveableUnitPointer&, const QQmlJSAotFunctionMap&,
                                        QString*) { return true; };
  QQmlJSCompileError error;
  if (qCompileQmlFile(QString::fromStdString(name), discard, nullptr, &error, false, &warnings, &contents))
    return std::nullopt;
  // One diagnostic a line; the finding keeps to one line.
  return error.message.trimmed().replace(QLatin1Char('\n'), QLatin1String("; ")).toStdString();
}

class Checker {
 public:
  Checker(const DataSet& data, bool details)
      : data_(data), details_(details), languages_(data), stored_(data.StoredLanguage()) {}

  Report Run(int threads) {
    ClearUpperVectorState();
    std::vector<Screen> screens;
    if (Status collected = Collect(threads, screens); !collected) {
      const Error& error = collected.Error();
      Finding f{.level = Level::Error, .check = "run-fails"};
      f.what = error.step == Error::Step::OutOfMemory ? "memory runs out while the control trees are built"
                                                      : "the control tree of " + error.subject + " " + error.rule;
      f.why = "the converter stops there and writes nothing";
      report_.findings.push_back(std::move(f));
      return std::move(report_);
    }
    screens_ = std::move(screens);
    for (const Screen& screen : screens_) report_.documents.push_back(DocumentOf(screen));
    // Screens that share a file: only the last one's document remains.
    std::map<std::string, size_t> lastOfFile;
    for (size_t i = 0; i < screens_.size(); ++i) lastOfFile[report_.documents[i].file] = i;
    for (size_t i = 0; i < screens_.size(); ++i) kept_.push_back(lastOfFile[report_.documents[i].file] == i);

    head_.resize(screens_.size());
    body_.resize(screens_.size());
    SharedTemplates();
    LanguageSwitches();
    DuplicateNames();
    WriteAll(threads);

    for (size_t i = 0; i < screens_.size(); ++i) {
      for (auto* part : {&head_[i], &body_[i]})
        for (Finding& f : *part) {
          f.document = i;
          report_.findings.push_back(std::move(f));
        }
    }
    return std::move(report_);
  }

 private:
  // The trees measured as the converter measures them, on two threads; on
  // a fault once more on one, which names the screen a run names.
  Status Collect(int threads, std::vector<Screen>& screens) {
    TreeCheck check(data_, u"");
    {
      std::jthread other;
      if (threads > 1) {
        try {
          other = std::jthread([&] {
            platform::PrepareThreadHeap();
            check.Work();
          });
        } catch (const std::system_error&) {  // this thread does it all
        }
      }
      check.Work();
    }
    if (check.Take(screens)) return {};
    screens.clear();
    return CollectScreens(data_, u"", screens);
  }

  // Named as the document names itself: by the reference its record holds.
  Document DocumentOf(const Screen& screen) {
    const TypeRow* row = FindType(screen.reference >> 24);
    Document d;
    d.kind = row ? row->name : "screen";
    d.reference = data_.ObjectRecord(screen.reference).U32(rec::kObjectRef);
    d.name = ControlName(data_, d.reference, stored_);
    d.file = platform::Narrow(std::u16string_view(screen.path).substr(1));  // "/<file>": no staging folder
    d.language = screen.language;
    return d;
  }

  std::string Named(size_t i) const {
    const Document& d = report_.documents[i];
    return d.kind + " " + Quoted(d.name) + " (" + d.file + ")";
  }

  // Every template is written to tmpl.qml; the pages over an earlier one
  // are shown over the last.
  void SharedTemplates() {
    std::vector<size_t> templates;
    for (size_t i = 0; i < screens_.size(); ++i)
      if (screens_[i].reference >> 24 == kTemplateType) templates.push_back(i);
    if (templates.size() < 2) return;
    std::map<uint32_t, size_t> pagesOver;  // template reference -> pages that link it
    for (size_t i = 0; i < screens_.size(); ++i) {
      if (screens_[i].reference >> 24 != 1) continue;
      // Read as the trees read them: by the reference the record holds; a
      // link's target is a table slot.
      const DataSet::Links links = data_.ObjectLinks(report_.documents[i].reference);
      for (uint32_t k = 0; k < links.count; ++k) {
        const ImageRef link = links[k];
        if (link.U8(kLinkPresent) != 0 && link.U32(kLinkTarget) >> 24 == kTemplateType) {
          ++pagesOver[link.U32(kLinkTarget)];
          break;
        }
      }
    }
    const size_t last = templates.back();
    for (const size_t i : templates) {
      if (i == last) continue;
      const size_t pages = pagesOver[screens_[i].reference];
      Finding f{.check = "shared-template"};
      f.what = "written to tmpl.qml, which " + Named(last) + ", the last of the " + std::to_string(templates.size()) +
               " templates, overwrites";
      f.why = "its document is lost and the " + std::to_string(pages) + " page" + (pages == 1 ? "" : "s") +
              " over it " + (pages == 1 ? "is" : "are") + " shown over " + Quoted(report_.documents[last].name);
      if (details_) f.details = {{"survivor", report_.documents[last].name}, {"pages", pages}};
      head_[i].push_back(std::move(f));
    }
  }

  // A popup title's font array leaves the last language it selected
  // current, and the documents after it start in that language.
  void LanguageSwitches() {
    std::optional<size_t> switcher;
    for (size_t i = 0; i < screens_.size(); ++i) {
      const Screen& s = screens_[i];
      if (s.language != stored_ && switcher) {
        Finding f{.level = Level::Note, .check = "language-switch"};
        f.what = "starts in language " + languages_.Name(s.language) + ", not the stored " + languages_.Name(stored_) +
                 ": " + Named(*switcher) + " before it left that language current";
        f.why = "its texts come out in that language";
        if (details_) f.details = {{"language", languages_.Json(s.language)}, {"switchedBy", report_.documents[*switcher].file}};
        head_[i].push_back(std::move(f));
      }
      if (!s.leaves || *s.leaves == s.language) continue;
      switcher = i;
      if (*s.leaves == stored_) continue;
      std::vector<std::string> affected;
      for (size_t j = i + 1; j < screens_.size() && screens_[j].language == *s.leaves; ++j) {
        affected.push_back(report_.documents[j].file);
        if (screens_[j].leaves && *screens_[j].leaves != *s.leaves) break;
      }
      Finding f{.check = "language-switch"};
      f.what = "its title's font array leaves language " + languages_.Name(*s.leaves) +
               " current instead of the stored " + languages_.Name(stored_);
      f.why = "its own controls and the " + std::to_string(affected.size()) + " document" +
              (affected.size() == 1 ? "" : "s") + " after it" + Listed(affected) + " are written in that language";
      if (details_) f.details = {{"language", languages_.Json(*s.leaves)}, {"documents", affected}};
      head_[i].push_back(std::move(f));
    }
  }

  static std::string Listed(const std::vector<std::string>& files) {
    constexpr size_t kShown = 5;
    if (files.empty()) return "";
    std::string text = " (";
    for (size_t i = 0; i < files.size() && i < kShown; ++i) text += (i ? ", " : "") + files[i];
    if (files.size() > kShown) text += " and " + std::to_string(files.size() - kShown) + " more";
    return text + ")";
  }

  void DuplicateNames() {
    std::map<std::string, size_t> first;
    for (size_t i = 0; i < screens_.size(); ++i) {
      const auto text = TextAt(data_.ObjectText(report_.documents[i].reference, stored_));
      if (!text) continue;
      const auto [at, inserted] = first.emplace(*text, i);
      if (inserted) continue;
      Finding f{.check = "duplicate-name"};
      f.what = "its name is also that of " + Named(at->second);
      f.why = "whoever picks a screen by its name gets either";
      if (details_) f.details = {{"other", report_.documents[at->second].file}};
      head_[i].push_back(std::move(f));
    }
  }

  void WriteAll(int threads) {
    // Largest first, so that the two threads end together.
    std::vector<size_t> order(screens_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return screens_[a].size > screens_[b].size; });
    std::atomic<size_t> next = 0;
    std::atomic<bool> outOfMemory = false;
    bytesLeft_ = byteLimit_;
    const auto work = [&] {
      QmlGenerator generator(data_);
      ControlBudget budget(data_.ImageSize());
      try {
        for (size_t k = next++; k < order.size(); k = next++) WriteOne(order[k], generator, budget);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
      }
    };
    {
      std::jthread other;
      if (threads > 1) {
        try {
          other = std::jthread([&] {
            platform::PrepareThreadHeap();
            work();
          });
        } catch (const std::system_error&) {  // one thread does it all
        }
      }
      work();
    }
    if (outOfMemory) {
      Finding f{.level = Level::Error, .check = "run-fails"};
      f.what = "memory runs out while the documents are written";
      f.why = "the converter would fail the same way";
      report_.findings.push_back(std::move(f));
    }
  }

  // The document of screen `i`, made as the converter makes it, and what
  // its controls and Qt say about it.
  void WriteOne(size_t i, QmlGenerator& generator, ControlBudget& budget) {
    std::vector<Finding>& out = body_[i];
    const Screen& screen = screens_[i];
    // Nothing of a screen whose file a later one overwrites reaches qmls.
    if (!kept_[i]) return;
    ControlPtr tree = CreateScreen(data_.ObjectRecord(screen.reference));
    if (!tree || !GrowTree(data_, tree, budget)) return;  // the collection already built it
    generator.language = screen.language;
    generator.notices.clear();
    // The run's budget for all its documents, as the converter keeps it.
    generator.stream.SetLimit(static_cast<size_t>(std::min<uint64_t>(bytesLeft_, SIZE_MAX)));
    const bool written = WriteScreenDocument(*tree, generator);
    if (generator.stream.GetFault() == QmlStream::Fault::OutOfMemory) throw std::bad_alloc();
    const bool overBudget = generator.stream.GetFault() == QmlStream::Fault::OverLimit ||
                            !Reserve(SavedBytes(generator.stream.View()));
    if (overBudget) {
      Finding f{.level = Level::Error, .check = "run-fails"};
      f.what = "the documents pass " + platform::GroupedDigits(byteLimit_) + " bytes here, the limit for a data set of " +
               platform::GroupedDigits(data_.ImageSize()) + " bytes";
      f.why = "the converter stops at this document or one written beside it";
      out.push_back(std::move(f));
      return;
    }
    Fonts(*tree, out);
    const auto [w, h] = tree->GetSize();
    if (w <= 0 || h <= 0) out.push_back(SizeFinding(*tree, w, h, "the screen"));
    Walk(*tree, 0, 0, w > 0 && h > 0 ? std::optional(std::pair(w, h)) : std::nullopt, screen.language, out);
    if (!written) {
      Finding f{.level = Level::Error, .check = "document"};
      f.what = "its document cannot be written";
      f.why = "the converter fails the run on it";
      out.push_back(std::move(f));
      return;
    }
    if (auto rejected = QtRejection(report_.documents[i].file, generator.stream.View())) {
      Finding f{.level = Level::Error, .check = "qt-rejects"};
      f.what = "Qt rejects the document: " + *rejected;
      f.why = "it gets no .qmlc and the panel cannot show it, yet the converter exits with 0";
      if (details_) f.details = {{"message", *rejected}};
      out.push_back(std::move(f));
    }
  }

  void Fonts(IControl& screen, std::vector<Finding>& out) {
    const auto* popup = dynamic_cast<const PopupScreen*>(&screen);
    const ImageRef title = popup ? screen.GetRecord().Ref(PopupScreen::kTitle) : ImageRef();
    if (!title) return;
    const ImageRef font = title.At(PopupScreen::kTitleFont);
    std::vector<std::string> missing;
    json ids = json::array();
    FontInfo info;
    size_t count = 0;
    for (uint32_t l = 0; l < std::min(data_.LanguageCount(), limits::kCheckedLanguages); ++l) {
      if (data_.LanguageFontInfo(l, font.U16(0), font.U16(2), info)) continue;
      if (count++ < kNamedLanguages) missing.push_back(languages_.Name(l)), ids.push_back(languages_.Json(l));
    }
    if (missing.empty()) return;
    Finding f{.check = "font-lookup"};
    f.what = "its title's font " + std::to_string(font.U16(0)) + " (style " + std::to_string(font.U16(2)) +
             ") has no face in language" + (count == 1 ? " " : "s ") + Joined(missing, count);
    f.why = "the converter leaves the title's fontArray out and prints \"GetCurrentLanguageFontInfo failed!\"";
    if (details_) f.details = {{"font", font.U16(0)}, {"style", font.U16(2)}, {"languages", ids}, {"count", count}};
    out.push_back(std::move(f));
  }

  // The items, and how many of `total` were left out.
  static std::string Joined(const std::vector<std::string>& items, size_t total) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + items[i];
    if (total > items.size()) text += " and " + std::to_string(total - items.size()) + " more";
    return text;
  }

  Finding SizeFinding(const IControl& control, int32_t w, int32_t h, const std::string& who) {
    Finding f{.check = "size"};
    f.what = who + " is " + std::to_string(w) + "x" + std::to_string(h);
    f.why = "a zero or negative size shows nothing";
    if (details_) f.details = {{"control", ControlId(control)}, {"w", w}, {"h", h}};
    return f;
  }

  // The controls below `group`, their positions relative to the screen
  // (x0, y0: the group's place on it); `area`: the screen's size, none when
  // it has none to be on.
  void Walk(IControl& group, int64_t x0, int64_t y0, std::optional<std::pair<int32_t, int32_t>> area,
            uint32_t language, std::vector<Finding>& out) {
    auto* asGroup = dynamic_cast<IControlGroup*>(&group);
    if (!asGroup) return;
    for (const ControlPtr& child : asGroup->Children()) {
      if (!child) continue;
      IControl& c = *child;
      // Formed only for a finding: most controls have none.
      const auto who = [&] {
        return KindName(c) + " " + ControlId(c) + " " +
               Quoted(ControlName(data_, c.GetObjID(), language));
      };
      Texts(c, who, out);
      auto [x, y] = c.GetPosition();
      auto [w, h] = c.GetSize();
      const bool line = c.GetTypeCode() == "plyl" && w >= 0 && h >= 0 && (w > 0 || h > 0);
      if ((w <= 0 || h <= 0) && !line) out.push_back(SizeFinding(c, w, h, who()));
      if (c.GetTypeNumber() == kTrendType && (w > kTrendExtent || h > kTrendExtent)) {
        Finding f{.check = "clamped-size"};
        f.what = who() + " is " + std::to_string(w) + "x" + std::to_string(h);
        w = std::min(w, kTrendExtent), h = std::min(h, kTrendExtent);
        f.why = "the converter writes it as " + std::to_string(w) + "x" + std::to_string(h) +
                ", the most the runtime's trend view shows";
        if (details_) f.details = {{"control", ControlId(c)}, {"written", {w, h}}};
        out.push_back(std::move(f));
      }
      const bool moved = MovedOut(c.GetRecord());
      if (area && !moved) {
        const int64_t left = x0 + x, top = y0 + y, right = left + w, bottom = top + h;
        const int64_t W = area->first, H = area->second;
        const bool wholly = right <= 0 || bottom <= 0 || left >= W || top >= H;
        if (wholly || left < 0 || top < 0 || right > W || bottom > H) {
          Finding f{.check = wholly ? "off-screen" : "partly-off-screen"};
          f.what = who() + " at " + std::to_string(left) + "," + std::to_string(top) + " " + std::to_string(w) + "x" +
                   std::to_string(h) + (wholly ? " lies outside" : " reaches past the edge of") + " its " +
                   std::to_string(W) + "x" + std::to_string(H) + " screen";
          f.why = wholly ? "it cannot be seen or touched" : "the part outside is cut off";
          if (details_) f.details = {{"control", ControlId(c)}, {"rect", {left, top, w, h}}, {"screen", {W, H}}};
          out.push_back(std::move(f));
        }
      }
      Walk(c, x0 + x, y0 + y, moved ? std::nullopt : area, language, out);
    }
  }

  // The control's text in every language, when it has one in any.
  template <class Who>
  void Texts(IControl& c, const Who& who, std::vector<Finding>& out) {
    const uint32_t ref = c.GetObjID();
    const std::optional<uint32_t> number = data_.ObjectTextNumber(ref);
    if (!number) return;  // no text in any language
    const uint32_t languages = std::min(data_.LanguageCount(), limits::kCheckedLanguages);
    std::vector<std::string> missing;
    json ids = json::array();
    size_t count = 0;
    for (uint32_t l = 0; l < languages; ++l) {
      if (data_.Text(*number, l)) continue;
      if (count++ < kNamedLanguages) missing.push_back(languages_.Name(l)), ids.push_back(languages_.Json(l));
    }
    if (count == 0 || count == languages) return;
    Finding f{.check = "missing-text"};
    f.what = who() + " has no text in language" + (count == 1 ? " " : "s ") + Joined(missing, count);
    f.why = "a document written in it names the control " +
            Quoted(std::to_string(ref >> 24) + "#" + std::to_string(ref & 0xFFFFFFu)) + " and the panel shows no text";
    if (details_) f.details = {{"control", ControlId(c)}, {"languages", ids}, {"count", count}};
    out.push_back(std::move(f));
  }

  // Takes `bytes` from what the documents may still take; false past it.
  bool Reserve(uint64_t bytes) {
    uint64_t left = bytesLeft_.load();
    do {
      if (bytes > left) return false;
    } while (!bytesLeft_.compare_exchange_weak(left, left - bytes));
    return true;
  }

  const DataSet& data_;
  const bool details_;  // a finding's details are made only for machines
  const uint64_t byteLimit_ = limits::DocumentBytes(data_.ImageSize());
  std::atomic<uint64_t> bytesLeft_ = 0;
  Languages languages_;
  const uint32_t stored_;
  std::vector<Screen> screens_;
  std::vector<bool> kept_;
  // Per document: what is known before it is written, and what writing it found.
  std::vector<std::vector<Finding>> head_, body_;
  Report report_;
};

}  // namespace

size_t Report::Count(Level level) const {
  return static_cast<size_t>(std::count_if(findings.begin(), findings.end(), [&](const Finding& f) { return f.level == level; }));
}

Report CheckDataSet(const DataSet& data, const CheckOptions& options) {
  return Checker(data, options.details).Run(options.threads);
}

namespace {
// Appended in place: a large project has tens of thousands of lines.
void AppendLine(std::string& out, const Report& report, const Finding& finding, const std::string& dataFile) {
  out.append(dataFile).append(": ");
  if (finding.document < report.documents.size()) {
    const Document& d = report.documents[finding.document];
    out.append(d.kind).append(" \"").append(d.name).append("\" (").append(d.file).append("): ");
  }
  out.append(LevelName(finding.level)).append(": ").append(finding.what).append(", ").append(finding.why);
  out.append(" [").append(finding.check).append("]");
}
}  // namespace

std::string FindingLine(const Report& report, const Finding& finding, const std::string& dataFile) {
  std::string line;
  AppendLine(line, report, finding, dataFile);
  return line;
}

std::string ReportText(const Report& report, const std::string& dataFile) {
  std::string text;
  for (const Finding& f : report.findings) {
    AppendLine(text, report, f, dataFile);
    text += '\n';
  }
  if (report.findings.empty()) return text;
  const auto counted = [&](Level level, const char* name) {
    const size_t n = report.Count(level);
    return std::to_string(n) + " " + name + (n == 1 ? "" : "s");
  };
  return text + dataFile + ": " + counted(Level::Error, "error") + ", " + counted(Level::Warning, "warning") + ", " +
         counted(Level::Note, "note") + " in " + std::to_string(report.documents.size()) + " document" +
         (report.documents.size() == 1 ? "" : "s") + "\n";
}

nlohmann::ordered_json ReportJson(const Report& report, const std::string& dataFile) {
  json findings = json::array();
  for (const Finding& f : report.findings) {
    json j = {{"level", LevelName(f.level)}, {"check", f.check}};
    if (f.document < report.documents.size()) {
      const Document& d = report.documents[f.document];
      j["screen"] = {{"kind", d.kind}, {"name", d.name}, {"file", d.file}, {"reference", d.reference},
                     {"startLanguage", d.language}};
    }
    j["what"] = f.what;
    j["why"] = f.why;
    j["details"] = f.details;
    j["line"] = FindingLine(report, f, dataFile);
    findings.push_back(std::move(j));
  }
  return {{"dataFile", dataFile},
          {"documents", report.documents.size()},
          {"errors", report.Count(Level::Error)},
          {"warnings", report.Count(Level::Warning)},
          {"notes", report.Count(Level::Note)},
          {"findings", std::move(findings)}};
}

}  // namespace prt::check
