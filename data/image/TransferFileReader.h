#pragma once
// Reader of the transfer container that carries the runtime data set:
// parses the header and sections, validates the pointer positions, converts
// the payload's byte order and rebases its pointer fields.
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace prt {

enum class ByteOrder : uint8_t { Little, Big };

class TransferFileReader {
 public:
  // Layout entry of section 1000.
  struct LayoutEntry {
    uint8_t kind;
    uint8_t count;
  };

  // Parses the file at `path`; nullptr when it cannot be read or is invalid.
  // `error` (when given) receives the reason a file could not be opened or
  // read; it stays empty when the bytes were refused.
  static std::unique_ptr<TransferFileReader> Load(const std::u16string& path, std::error_code* error = nullptr);
  // Same over bytes already in memory (the file loader uses it too).
  static std::unique_ptr<TransferFileReader> LoadBytes(const std::vector<uint8_t>& bytes);

  void AdjustByteOrder(ByteOrder order, uint8_t mode);
  void Relocate(uint32_t newBase, uint32_t newNull);

  const std::string& Name() const { return name_; }
  const std::vector<uint8_t>& Payload() const { return payload_; }
  std::vector<uint8_t>& Payload() { return payload_; }
  uint32_t PayloadSize() const { return payloadRead_; }
  ByteOrder Order() const { return order_; }
  uint8_t Mode() const { return mode_; }
  uint32_t PointerBase() const { return base_; }
  uint32_t NullValue() const { return null_; }
  const std::vector<uint32_t>& PointerPositions() const { return pointers_; }
  const std::vector<LayoutEntry>& Layout() const { return layout_; }

 private:
  TransferFileReader() = default;

  char magic_[14] = {};
  std::string name_;
  ByteOrder order_ = ByteOrder::Little;
  uint8_t mode_ = 0;
  bool uc4_ = false;
  uint8_t headerBytes_[4] = {};
  uint32_t headerLength_ = 0;
  std::vector<LayoutEntry> layout_;
  std::vector<uint32_t> pointers_;
  std::vector<uint32_t> positionsA_, positionsB_, positionsC_, positionsD_;
  uint32_t base_ = 0;
  uint32_t null_ = 0;
  uint32_t word3000_ = 0;
  uint32_t word4000_ = 0;
  uint32_t payloadSize_ = 0;  // P from the layout
  std::vector<uint8_t> payload_;
  uint32_t payloadRead_ = 0;
};

}  // namespace prt
