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
      Read(*it, Sub(objectPath_, key), value);
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

 private:
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
  };

  void Fail(const std::string& path, const std::string& what);
  static std::string Sub(const std::string& path, std::string_view key);
  static std::string Sub(const std::string& path, size_t index);

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
  bool KnownKeys(const Json& node, const std::string& path, const std::vector<std::string_view>& keys);

  template <typename T, typename Each>
  void ReadArray(const Json& node, const std::string& path, std::vector<T>& items, const char* expected, Each each) {
    if (!node.is_array()) return Fail(path, expected);
    items.clear();
    for (size_t i = 0; i < node.size() && !error_; ++i) each(node[i], Sub(path, i), items.emplace_back());
  }
  template <typename T>
  void ReadArray(const Json& node, const std::string& path, std::vector<T>& items, const char* expected) {
    ReadArray(node, path, items, expected, [this](const Json& n, const std::string& p, T& v) { Read(n, p, v); });
  }

  // ---- Generic values ----
  template <Mapped T>
  void Read(const Json& node, const std::string& path, T& value) {
    ReadObject(node, path, value);
  }
  template <typename T>
  void Read(const Json& node, const std::string& path, std::optional<T>& value) {
    Read(node, path, value.emplace());
  }
  template <typename T>
  void Read(const Json& node, const std::string& path, std::vector<T>& items) {
    ReadArray(node, path, items, "expected an array");
  }
  template <typename T>
    requires std::integral<T> && (!std::same_as<T, bool>) && (sizeof(T) < 8)
  void Read(const Json& node, const std::string& path, T& value) {
    // N bits, signed or not: [-2^(N-1), 2^N - 1].
    using Signed = std::make_signed_t<T>;
    using Unsigned = std::make_unsigned_t<T>;
    value = static_cast<T>(Integer(node, path, std::numeric_limits<Signed>::min(), std::numeric_limits<Unsigned>::max()));
  }
  template <typename V>
  void Read(const Json& node, const std::string& path, List<V>& list) {
    if constexpr (requires { list.items.emplace(); })
      ReadArray(node, path, list.items.emplace(), list.expected);
    else
      ReadArray(node, path, list.items, list.expected);
  }
  template <typename T>
  void Read(const Json& node, const std::string& path, Nullable<T>& nullable) {
    if (node.is_null()) return nullable.value.reset();
    if constexpr (requires(T& v) { v.emplace_back(); }) {
      ReadArray(node, path, nullable.value.emplace(), nullable.expected);
    } else {
      Read(node, path, nullable.value.emplace());
    }
  }
  template <typename V>
  void Read(const Json& node, const std::string&, AtObject<V>& at) {
    Read(node, objectPath_, at.inner);
  }
  template <size_t N>
  void Read(const Json& node, const std::string& path, Fixed<N>& fixed) {
    std::vector<uint8_t> bytes;
    Read(node, path, bytes);
    if (!error_ && bytes.size() != N) return Fail(path, "expected " + std::to_string(N) + " bytes");
    std::copy(bytes.begin(), bytes.end(), fixed.value.begin());
  }

  int64_t Integer(const Json& node, const std::string& path, int64_t lo, int64_t hi);
  void Read(const Json& node, const std::string& path, uint64_t& value);
  void Read(const Json& node, const std::string& path, bool& value);
  void Read(const Json& node, const std::string& path, float& value);
  void Read(const Json& node, const std::string& path, double& value);
  void Read(const Json& node, const std::string& path, std::string& value);
  void Read(const Json& node, const std::string& path, std::u16string& value);
  void Read(const Json& node, const std::string& path, std::vector<uint8_t>& bytes);
  void Read(const Json& node, const std::string& path, Colour& colour);
  void Read(const Json& node, const std::string& path, Bounded& value);
  void Read(const Json& node, const std::string& path, Limited& value);
  void Read(const Json& node, const std::string& path, Ref& ref);
  void Read(const Json& node, const std::string& path, DefineLabel& label);
  void Read(const Json& node, const std::string& path, UseLabel& label);

  // ---- Values of the description ----
  void Read(const Json& node, const std::string& path, std::vector<Language>& languages);
  void Read(const Json& node, const std::string& path, std::optional<FontVariants>& variants);
  void Read(const Json& node, const std::string& path, TextRow& row);
  void Read(const Json& node, const std::string& path, TextRef& text);
  void ReadColumns(const Json& node, const std::string& path, TextRow& row);
  void Read(const Json& node, const std::string& path, Gradient& fill);
  void Read(const Json& node, const std::string& path, Orientation& orientation);
  void Read(const Json& node, const std::string& path, Stops& stops);
  void Read(const Json& node, const std::string& path, TitleFont& font);
  void Read(const Json& node, const std::string& path, TypeOf& type);
  void Read(const Json& node, const std::string& path, ShapeOf& shape);
  void Read(const Json& node, const std::string& path, IndexOf& index);
  void Read(const Json& node, const std::string& path, RecordSizeOf& size);
  void Read(const Json& node, const std::string& path, SubRecordOf& sub);
  void Read(const Json& node, const std::string& path, TitleOf& title);
  void Read(const Json& node, const std::string& path, ChildrenOf& children);
  void Read(const Json& node, const std::string& path, RecordWords& words);
  void Read(const Json& node, const std::string& path, RecordBytes& bytes);
  void Read(const Json& node, const std::string& path, NamedEntry& entry);
  void Read(const Json& node, const std::string& path, BlockForm& block);
  void Read(const Json& node, const std::string& path, Fields& fields);
  void ReadField(const Json& node, const std::string& path, uint32_t maxAt, Field& field);
  void Read(const Json& node, const std::string& path, LinkTarget& target);
  void Read(const Json& node, const std::string& path, Present& present);
  void Read(const Json& node, const std::string& path, RecordSizes& sizes);
  void Read(const Json& node, const std::string& path, SyntheticOptions& options);
  void Read(const Json& node, const std::string& path, std::pair<uint32_t, uint32_t>& entry);
  void Read(const Json& node, const std::string& path, GroupEntries& entries);
  void Read(const Json& node, const std::string& path, std::optional<ValueList>& list);
  void Read(const Json& node, const std::string& path, ListKindOf& kind);
  void Read(const Json& node, const std::string& path, ListEntries& entries);
  void Read(const Json& node, const std::string& path, ResourceRow& row);
  void Read(const Json& node, const std::string& path, std::optional<Resource>& resource);
  void Read(const Json& node, const std::string& path, KeyText& entry);
  void Read(const Json& node, const std::string& path, std::pair<uint32_t, std::string>& entry);
  void Read(const Json& node, const std::string& path, Table20Of& table);
  void Read(const Json& node, const std::string& path, Block11Entries& entries);
  void Read(const Json& node, const std::string& path, Block13& block);
  void Read(const Json& node, const std::string& path, HeaderWords& words);
  void Read(const Json& node, const std::string& path, ByteOrderOf& order);
  void Read(const Json& node, const std::string& path, NameChange& name);
  void Read(const Json& node, const std::string& path, WordPositions& positions);
  void Read(const Json& node, const std::string& path, Positions& positions);
  void Read(const Json& node, const std::string& path, Position& position);
  void Read(const Json& node, const std::string& path, CorruptionOf& corruption);
  void Read(const Json& node, const std::string& path, LanguageFile& file);
  void Read(const Json& node, const std::string& path, Connection& connection);

  const Json* object_ = nullptr;  // the object whose keys are being mapped
  std::string objectPath_;
  std::optional<BuildError> error_;
  Context context_;
};

}  // namespace prt::builder
