#include "tests/messages/message_fill.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "asn1/char_strings.h"
#include "asn1/object_identifier.h"
#include "asn1/octet_strings.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/simple_values.h"

namespace MessagesTest {
namespace {

const int kInts[] = {5, -1, 127, 128, -129, 65536, 2147483647, -2147483647 - 1, 0, 300};

// Values of an enumeration's names, in table order ("name=value" or previous + 1).
std::vector<int> enumValues(const ASN1::ENUMERATED& e) {
  std::vector<int> values;
  int previous = -1;
  for (unsigned i = 0; i < e.info()->numNames; ++i) {
    const char* eq = std::strchr(e.info()->names[i], '=');
    previous = eq ? std::atoi(eq + 1) : previous + 1;
    values.push_back(previous);
  }
  return values;
}

}  // namespace

void Filler::fillAlternative(ASN1::CHOICE& choice, int id) {
  const ASN1::AbstractData::InfoType* record = choice.info()->selectionInfos[id];
  fill(*choice.setSelection(id, record->create(record)));
}

void Filler::fill(ASN1::AbstractData& value) {
  if (auto* seq = dynamic_cast<ASN1::SEQUENCE*>(&value)) {
    const ASN1::SEQUENCE::InfoType* info = seq->info();
    for (unsigned i = 0; i < info->numFields + info->knownExtensions; ++i) {
      if (i < info->numFields && info->fieldIds[i] < 0) {
        fill(*seq->ensureField(i));
      } else if (full) {
        unsigned presence = i < info->numFields ? info->fieldIds[i] : info->numOptional + (i - info->numFields);
        seq->includeOptionalField(presence, i);
        fill(*seq->getField(i));
      }
    }
  } else if (auto* choice = dynamic_cast<ASN1::CHOICE*>(&value)) {
    fillAlternative(*choice, tick() % choice->info()->totalChoices);
  } else if (auto* list = dynamic_cast<ASN1::SEQUENCE_OF_Base*>(&value)) {
    list->resize(full ? 2 : 1);
    for (std::size_t i = 0; i < list->size(); ++i) fill(list->element(i));
  } else if (auto* e = dynamic_cast<ASN1::ENUMERATED*>(&value)) {
    std::vector<int> usable;
    for (int v : enumValues(*e))
      if (v >= 0) usable.push_back(v);
    e->setValue(usable[tick() % usable.size()]);
  } else if (auto* s = dynamic_cast<ASN1::AbstractString*>(&value)) {
    unsigned k = tick();
    static const unsigned lengths[] = {2, 0, 5, 1};
    unsigned length = s->constraintType() == ASN1::Unconstrained
                          ? lengths[k % 4]
                          : (k % 2 == 0 ? s->getUpperLimit() : static_cast<unsigned>(s->getLowerLimit()));
    std::string text;
    for (unsigned i = 0; i < length; ++i) text += static_cast<char>('a' + (k + i) % 26);
    *s = text;
  } else if (auto* o = dynamic_cast<ASN1::OCTET_STRING*>(&value)) {
    unsigned k = tick();
    static const unsigned lengths[] = {3, 0, 1, 2, 200};
    ASN1::OCTET_STRING::Octets octets;
    for (unsigned i = 0; i < lengths[k % 5]; ++i) octets.push_back(static_cast<char>((k * 7 + i * 13) & 0xff));
    *o = octets;
  } else if (auto* i = dynamic_cast<ASN1::INTEGER*>(&value)) {
    unsigned k = tick();
    if (i->constraintType() == ASN1::Unconstrained) {
      i->setValue(kInts[k % 10]);
    } else {
      std::int64_t lower = i->getLowerLimit(), upper = i->getUpperLimit();
      std::int64_t choices[] = {upper, lower, lower + (upper - lower) / 3};
      i->setValue(static_cast<int>(static_cast<std::uint32_t>(choices[k % 3])));
    }
  } else if (auto* b = dynamic_cast<ASN1::BOOLEAN*>(&value)) {
    b->setValue(tick() % 2 == 0);
  } else if (auto* oid = dynamic_cast<ASN1::OBJECT_IDENTIFIER*>(&value)) {
    oid->getValue() = {1, 2, 840};
  }
}

}  // namespace MessagesTest
