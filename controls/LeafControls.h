#pragma once
// The leaf controls: one element each, made of the base lines only. What
// tells them apart is their identity; six views answer false from
// WriteProperties when called without record or output.
#include "controls/IControl.h"

namespace prt {

class IOField final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{2, "iofd", "OrvixIOField"};
  explicit IOField(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class Bar final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{3, "baar", "OrvixBar"};
  explicit Bar(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class TextField final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{16, "txtf", "OrvixTextField"};
  explicit TextField(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class Graphic final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{18, "grph", "OrvixGraphic"};
  explicit Graphic(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class SymbolicIOField final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{20, "siof", "OrvixSymbolicIOField"};
  explicit SymbolicIOField(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class Switch final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{21, "swth", "OrvixSwitch"};
  explicit Switch(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class AlarmView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{24, "almv", "OrvixAlarmView"};
  explicit AlarmView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class AlarmIndicator final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{25, "almi", "OrvixAlarmIndicator"};
  explicit AlarmIndicator(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class TrendView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{28, "trdv", "OrvixTrendView"};
  explicit TrendView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
  // The runtime component cannot show more than 1024 by 1024.
  void WriteSize() override;
};

class Button final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{29, "bttn", "OrvixButton"};
  explicit Button(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class UserView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{32, "usrv", "OrvixUserView"};
  explicit UserView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class RecipeView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{45, "rcpv", "OrvixRecipeView"};
  explicit RecipeView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class DiagnosticView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{47, "dgnv", "OrvixDiagnosticView"};
  explicit DiagnosticView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class AlarmReport final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{54, "almr", "OrvixAlarmReport"};
  explicit AlarmReport(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class RecipeReport final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{55, "rcpr", "OrvixRecipeReport"};
  explicit RecipeReport(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class TableView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{56, "tblv", "OrvixTableView"};
  explicit TableView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return record && output != nullptr; }
};

class GraphicIOField final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{62, "giof", "OrvixGraphicIOField"};
  explicit GraphicIOField(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class DateTimeField final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{63, "dtfd", "OrvixDateTimeField"};
  explicit DateTimeField(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class GifPlayer final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{67, "gifp", "OrvixGifPlayer"};
  explicit GifPlayer(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class XYTrendView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{68, "xytv", "OrvixXYTrendView"};
  explicit XYTrendView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class AlarmBar final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{72, "almb", "OrvixAlarmBar"};
  explicit AlarmBar(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class VelocorSystemView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{73, "vlsv", "OrvixVelocorSystemView"};
  explicit VelocorSystemView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

class CamView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity{75, "camv", "OrvixCamView"};
  explicit CamView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
};

}  // namespace prt
