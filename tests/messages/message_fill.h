// Deterministic values for the differential test: fills a value from its type
// records alone, exactly as tests/messages/vectors/regenerate.py fills the same
// type for Erlang. Keep the two in step.
#pragma once

#include "asn1/abstract_data.h"
#include "asn1/choice.h"

namespace MessagesTest {

class Filler {
 public:
  // `full`: every OPTIONAL field and extension addition present, two list
  // elements; otherwise none present and one element. The counter that picks
  // numbers, lengths and alternatives starts at `start`.
  Filler(bool full, unsigned start) : full(full), n(start) {}

  void fill(ASN1::AbstractData& value);
  // Selects alternative `id` and fills it (no counter step for the choice).
  void fillAlternative(ASN1::CHOICE& choice, int id);

 private:
  unsigned tick() { return n++; }

  bool full;
  unsigned n;
};

}  // namespace MessagesTest
