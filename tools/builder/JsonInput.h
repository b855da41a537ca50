#pragma once
// Reading a description: the mappings of Description.h walked over a JSON
// document. Every value is read where its key names it; the first problem
// stops the reading and is answered with its place ("screens[0].type: ...").
// What needs the whole description (labels used, record tables) is checked
// once the builder holds it.
#include <concepts>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/builder/Description.h"

namespace prt::builder {

using Json = nlohmann::json;

// UTF-8 to UTF-16 code units; nullopt when the text is not UTF-8. The
// builder keeps its own: it is used to test the tool's.
std::optional<std::u16string> Utf16(const std::string& text);

// The value keys of a field ({"at": n, "<type>": value}).
std::span<const std::string_view> FieldValueKeys();

// "; did you mean "x"?" for the nearest of `names` when it is near enough to
// be a slip; empty otherwise.
std::string DidYouMean(std::string_view word, const std::vector<std::string_view>& names);

// Reads a description. The value readers (JsonInput.cpp) are found for each
// type where the mappings name it; they report through Fail.
class JsonInput {
 public:
  static constexpr bool kReading = true;
  static constexpr bool kRaw = true;

  // The description `root` holds, or the first problem with its place.
  Built<Description> Read(const Json& root);

  // The checks of what the whole description says, once `builder` holds it:
  // every record table within the image, every label used defined, every
  // position's label a block of `labels`.
  Built<void> CheckRecordTables(const ProjectBuilder& builder) const;
  Built<void> CheckLabelUses(const ProjectBuilder& builder) const;
  Built<void> CheckPositions(const std::map<std::string, uint32_t>& labels) const;

  // ---- What the mappings call ----
  template <typename V, typename... Omitted>
  bool Key(Name name, V&& value, const Omitted&...) {
    bool found = false;
    for (const std::string_view key : {name.first, name.second}) {
      if (key.empty() || error_) continue;
      const auto it = object_->find(std::string(key));
      if (it == object_->end()) continue;
      found = true;
      ReadValue(*this, *it, Sub(objectPath_, key), value);
    }
    return found;
  }
  template <typename V>
  void Always(Name name, V&& value) {
    Key(name, value);
  }
  template <typename V>
  void Required(Name name, V&& value, std::string_view missing) {
    if (!Key(name, value) && !error_) Fail(objectPath_, std::string(missing));
  }

  // ---- What the value readers call ----
  void Fail(const std::string& path, const std::string& what);
  bool Failed() const { return error_.has_value(); }
  static std::string Sub(const std::string& path, std::string_view key);
  static std::string Sub(const std::string& path, size_t index);
  // The path of the object whose keys are being read.
  const std::string& ObjectPath() const { return objectPath_; }
  int64_t Integer(const Json& node, const std::string& path, int64_t lo, int64_t hi);

  // An object mapped by Map(*this, value), its keys checked first.
  template <Mapped T>
  void ReadObject(const Json& node, const std::string& path, T& value) {
    if (!node.is_object()) return Fail(path, "expected an object");
    static const std::vector<std::string_view> keys = KeyList::Of<T>();
    if (!KnownKeys(node, path, keys)) return;
    const Json* outer = std::exchange(object_, &node);
    std::string outerPath = std::exchange(objectPath_, path);
    Map(*this, value);
    object_ = outer;
    objectPath_ = std::move(outerPath);
  }
  // An array, each element read by `each(node, path, element)`.
  template <typename T, typename Each>
  void ReadArray(const Json& node, const std::string& path, std::vector<T>& items, const char* expected, Each each) {
    if (!node.is_array()) return Fail(path, expected);
    items.clear();
    for (size_t i = 0; i < node.size() && !error_; ++i) each(node[i], Sub(path, i), items.emplace_back());
  }
  template <typename T>
  void ReadArray(const Json& node, const std::string& path, std::vector<T>& items, const char* expected) {
    ReadArray(node, path, items, expected,
              [this](const Json& n, const std::string& p, T& v) { ReadValue(*this, n, p, v); });
  }

  // What the description defines and uses, for the checks that need all of it.
  using Places = std::vector<std::pair<std::string, std::string>>;  // label, where
  struct Context {
    size_t languages = 0;  // so far, for texts given per language
    std::map<std::string, std::string> labels[2];  // by LabelKind: label -> where defined
    Places uses[2];
    Places positionLabels;
    std::map<std::pair<uint8_t, uint32_t>, std::string> indexAt;  // explicit type and index -> where
    std::map<uint8_t, std::pair<uint32_t, std::string>> highestIndex;
    std::map<uint8_t, std::string> tableSizeAt, objectSizeAt;  // where each type's record size is set
  } context;

 private:
  bool KnownKeys(const Json& node, const std::string& path, const std::vector<std::string_view>& keys);

  const Json* object_ = nullptr;  // the object whose keys are being read
  std::string objectPath_;
  std::optional<BuildError> error_;
};

}  // namespace prt::builder
