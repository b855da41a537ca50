#pragma once
// The leaf controls: one element each, made of the base lines only. What
// tells them apart is their identity; six views answer false from
// WriteProperties when called without record or output.
#include "controls/IControl.h"

namespace prt {

// A control of type `kNumber` made of the base lines only; a view
// (`kView`) answers false from WriteProperties without record or output.
template <uint8_t kNumber, bool kView = false>
class Leaf final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(kNumber);
  explicit Leaf(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return !kView || (record && output != nullptr); }
};

using IOField = Leaf<2>;
using Bar = Leaf<3>;
using TextField = Leaf<16>;
using Graphic = Leaf<18>;
using SymbolicIOField = Leaf<20>;
using Switch = Leaf<21>;
using AlarmView = Leaf<24, true>;
using AlarmIndicator = Leaf<25, true>;
using Button = Leaf<29>;
using UserView = Leaf<32>;
using RecipeView = Leaf<45, true>;
using DiagnosticView = Leaf<47>;
using AlarmReport = Leaf<54, true>;
using RecipeReport = Leaf<55, true>;
using TableView = Leaf<56, true>;
using GraphicIOField = Leaf<62>;
using DateTimeField = Leaf<63>;
using GifPlayer = Leaf<67>;
using XYTrendView = Leaf<68>;
using AlarmBar = Leaf<72>;
using VelocorSystemView = Leaf<73>;
using CamView = Leaf<75>;

class TrendView final : public IControl {
 public:
  static constexpr ControlIdentity kIdentity = IdentityOf(28);
  explicit TrendView(ImageRef record) : IControl(kIdentity, record) {}
  bool WriteProperties() override { return true; }
  // The runtime component cannot show more than 1024 by 1024.
  void WriteSize() override;
};

}  // namespace prt
