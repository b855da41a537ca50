#pragma once
// Reader of the transfer container that carries the runtime data set:
// parses the header and sections, validates the pointer positions, converts
// the payload's byte order and rebases its pointer fields.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/ByteBlock.h"
#include "data/image/ContainerError.h"
#include "platform/Expected.h"

namespace prt {

class ByteCursor;

enum class ByteOrder : uint8_t { Little, Big };

class TransferFileReader {
 public:
  // Parses a whole container file; the reader, or where and why it was
  // refused.
  // The payload is the part of the file's bytes after the head, where it
  // lies: a large data set is never held twice nor moved.
  static Expected<TransferFileReader, ContainerError> Load(platform::ByteBlock file);
  // The same for bytes held elsewhere, which are copied.
  static Expected<TransferFileReader, ContainerError> LoadBytes(std::span<const uint8_t> bytes);

  void AdjustByteOrder(ByteOrder order, uint8_t mode);
  void Relocate(uint32_t newBase, uint32_t newNull);

  const std::string& Name() const { return name_; }
  std::span<const uint8_t> Payload() const { return {file_.Data() + payloadOffset_, payloadSize_}; }
  std::span<uint8_t> Payload() { return {file_.Data() + payloadOffset_, payloadSize_}; }
  uint32_t PayloadSize() const { return payloadSize_; }
  // Where the payload starts in the file.
  uint64_t PayloadOffset() const { return payloadOffset_; }
  // The file's bytes, the payload among them. The reader is spent: its
  // lists lie in those bytes.
  platform::ByteBlock TakeFile() &&;

  // Entries of one section as they lie in the file's head, in the file's
  // byte order, and the file offset they start at. The lists are not copied
  // out: a large data set has millions of entries.
  struct Run {
    std::span<const uint8_t> bytes;
    uint64_t offset;
  };
  using Runs = std::vector<Run>;

 private:
  TransferFileReader() = default;

  // The steps of Load, each leaving its failure in the cursor (ReadHead
  // answers it, with the header length H).
  Expected<uint32_t, ContainerError> ReadHead(ByteCursor& in, bool empty);
  bool ReadSection(ByteCursor& in, uint64_t& payloadSize, Runs (&positions)[4]);
  void ReadName(ByteCursor& in);
  bool PlacePayload(ByteCursor& in, uint64_t payloadSize, uint64_t fileSize);
  bool PointersFit(ByteCursor& in) const;

  std::string name_;
  ByteOrder order_ = ByteOrder::Little;  // the payload's, as converted
  ByteOrder fileOrder_ = ByteOrder::Little;  // the head's lists stay in it
  uint8_t mode_ = 0;
  Runs layout_;  // {kind, count} pairs, those that add nothing among them
  Runs pointers_;
  uint32_t base_ = 0;
  uint32_t null_ = 0;
  uint32_t payloadSize_ = 0;  // P from the layout
  platform::ByteBlock file_;
  uint64_t payloadOffset_ = 0;
};

}  // namespace prt
