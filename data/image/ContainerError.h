#pragma once
// Why the bytes of a data file were refused: the rule its container broke,
// and where.
#include <cstdint>
#include <string>

namespace prt {

struct ContainerError {
  enum class Part : uint8_t {
    None,
    Signature,  // not a container at all
    Head,       // the fixed head or a section head
    Section,    // the body of section `section`
    Payload,    // the payload (also the image inside it)
  };
  Part part = Part::None;
  uint32_t section = 0;
  uint64_t offset = 0;
  std::string rule;

  std::string Reason() const { return rule; }
};

}  // namespace prt
