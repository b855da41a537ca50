#pragma once
// The leaf controls: one element each, made of the base lines only. What
// tells them apart is their identity; six views answer false from
// WriteProperties when called without record or output.
#include "controls/IControl.h"

namespace prt {

class IOField final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(2);
  explicit IOField(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class Bar final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(3);
  explicit Bar(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class TextField final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(16);
  explicit TextField(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class Graphic final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(18);
  explicit Graphic(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class SymbolicIOField final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(20);
  explicit SymbolicIOField(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class Switch final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(21);
  explicit Switch(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class AlarmView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(24);
  explicit AlarmView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class AlarmIndicator final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(25);
  explicit AlarmIndicator(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class TrendView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(28);
  explicit TrendView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
  // The runtime component cannot show more than 1024 by 1024.
  void WriteSize() override;
};

class Button final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(29);
  explicit Button(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class UserView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(32);
  explicit UserView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class RecipeView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(45);
  explicit RecipeView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class DiagnosticView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(47);
  explicit DiagnosticView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class AlarmReport final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(54);
  explicit AlarmReport(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class RecipeReport final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(55);
  explicit RecipeReport(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class TableView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(56);
  explicit TableView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class GraphicIOField final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(62);
  explicit GraphicIOField(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class DateTimeField final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(63);
  explicit DateTimeField(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class GifPlayer final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(67);
  explicit GifPlayer(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class XYTrendView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(68);
  explicit XYTrendView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class AlarmBar final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(72);
  explicit AlarmBar(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class VelocorSystemView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(73);
  explicit VelocorSystemView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class CamView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(75);
  explicit CamView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

}  // namespace prt
