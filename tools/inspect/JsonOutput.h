#pragma once
// Writing a description: the mappings of tools/builder/Description.h walked
// over the structures the inspector fills, each key in its mapping's order
// and left out where the mapping says it may be. What the converter never
// reads (IO::kRaw) is not written.
#include <string>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "tools/builder/Description.h"

namespace prt::inspect {

class JsonOutput {
 public:
  using Json = nlohmann::ordered_json;
  static constexpr bool kRaw = false;

  // The JSON object of a mapped structure.
  template <typename T>
  static Json Object(T& value) {
    JsonOutput out;
    Map(out, value);
    return std::move(out.object_);
  }

  // ---- What the mappings call ----
  template <typename V>
  void Key(builder::Name name, V&& value) {
    if (!Empty(value)) Always(name, value);
  }
  template <typename V, typename D>
  void Key(builder::Name name, V&& value, const D& omitted) {
    if (!(Value(value) == omitted)) Always(name, value);
  }
  template <typename V>
  void Always(builder::Name name, V&& value) {
    object_[std::string(name.first)] = Write(value);
  }
  template <typename V>
  void Required(builder::Name name, V&& value, std::string_view) {
    Always(name, value);
  }

 private:
  template <typename V>
  static auto Value(const V& v) {
    if constexpr (requires { v.value; }) return v.value;
    else return v;
  }

  template <typename T>
  static bool Empty(const T& v) {
    if constexpr (requires { v.has_value(); }) return !v.has_value();
    else if constexpr (requires { v.empty(); }) return v.empty();
    else if constexpr (std::is_arithmetic_v<T>) return v == T{};
    else return IsEmpty(v);
  }
  template <typename T>
  static bool IsEmpty(const builder::Nullable<T>& v) {
    return !v.value;
  }
  static bool IsEmpty(const builder::ShapeOf& shape);
  static bool IsEmpty(const builder::IndexOf& index) { return !index.value.index; }
  static bool IsEmpty(const builder::SubRecordOf& sub) { return !sub.value.subRecordWord && !sub.value.subRecord; }
  static bool IsEmpty(const builder::TitleOf& title) { return !title.value.title && !title.value.nullTitle; }
  static bool IsEmpty(const builder::ChildrenOf& children) { return children.value.children.empty(); }
  static bool IsEmpty(const builder::RecordSizes& sizes) { return sizes.value.empty(); }

  // Writing changes nothing, but the mappings take what they walk as they
  // would fill it.
  template <typename T>
    requires std::is_arithmetic_v<T>
  static Json Write(T& v) {
    if constexpr (std::is_same_v<T, float>) return static_cast<double>(v);
    else return v;
  }
  static Json Write(std::string& v) { return v; }
  static Json Write(std::u16string& v);
  template <typename T>
  static Json Write(std::optional<T>& v) {
    return v ? Write(*v) : Json(nullptr);
  }
  template <typename T>
  static Json Write(std::vector<T>& items) {
    Json array = Json::array();
    for (T& item : items) array.push_back(Write(item));
    return array;
  }
  template <builder::Mapped T>
  static Json Write(T& v) {
    return Object(v);
  }
  template <typename T>
  static Json Write(builder::Nullable<T>& v) {
    return Write(v.value);
  }
  static Json Write(builder::Colour& colour);
  static Json Write(std::optional<builder::FontVariants>& variants);
  static Json Write(builder::TextRow& row);
  static Json Write(builder::Gradient& fill);
  static Json Write(builder::TypeOf& type);
  static Json Write(builder::ShapeOf& shape) { return *shape.value.shape; }
  static Json Write(builder::IndexOf& index) { return *index.value.index; }
  static Json Write(builder::SubRecordOf& sub);
  static Json Write(builder::Ref& ref);
  static Json Write(builder::TitleOf& title) { return Write(title.value.title); }
  static Json Write(builder::ChildrenOf& children);
  static Json Write(builder::LinkTarget& target);
  static Json Write(builder::Present& present) { return present.value; }
  static Json Write(builder::Orientation& orientation) { return orientation.value; }
  static Json Write(builder::RecordSizes& sizes);
  static Json Write(builder::LanguageFile& file);

  Json object_ = Json::object();
};

}  // namespace prt::inspect
