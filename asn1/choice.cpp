#include "asn1/choice.h"

#include <algorithm>
#include <boost/polymorphic_cast.hpp>
#include <utility>

#include "asn1/visitor.h"

namespace ASN1 {

AbstractData* CHOICE::create(const void* info) { return new CHOICE(info); }

CHOICE::CHOICE(const CHOICE& other)
    : AbstractData(other), choiceID(other.choiceID), choice(other.choice ? other.choice->clone() : nullptr) {}

CHOICE& CHOICE::operator=(const CHOICE& other) {
  CHOICE copy(other);
  swap(copy);
  return *this;
}

void CHOICE::swap(CHOICE& other) {
  choice.swap(other.choice);
  std::swap(choiceID, other.choiceID);
}

const char* CHOICE::getSelectionName() const {
  if (choiceID < 0 || static_cast<unsigned>(choiceID) >= info()->totalChoices) return nullptr;
  return info()->selectionNames[choiceID];
}

bool CHOICE::setID(unsigned tagNumber, unsigned tagClass) {
  const InfoType* record = info();
  const unsigned tag = tagClass << 16 | tagNumber;
  if (record->tags) {  // sorted over the root alternatives
    const unsigned* end = record->tags + record->numChoices;
    const unsigned* hit = std::lower_bound(record->tags, end, tag);
    if (hit != end && *hit == tag) return makeSelection(static_cast<int>(hit - record->tags));
  } else if (tagClass == 0x80 && tagNumber < record->totalChoices) {  // automatic tags: the number is the index
    return makeSelection(static_cast<int>(tagNumber));
  }
  // An untagged CHOICE as the first alternative may carry the tag itself.
  if (record->tags && record->totalChoices > 0 && record->tags[0] == 0) {
    if (makeSelection(0)) {
      CHOICE* inner = dynamic_cast<CHOICE*>(choice.get());
      if (inner && inner->setID(tagNumber, tagClass)) return true;
    }
  }
  setSelection(UNKNOWN_SELECTION, nullptr);
  return false;
}

int CHOICE::do_compare(const AbstractData& other) const {
  const CHOICE& that = *boost::polymorphic_downcast<const CHOICE*>(&other);
  if (choiceID < 0 || choiceID != that.choiceID) return choiceID < that.choiceID ? -1 : (choiceID > that.choiceID);
  if (choice && that.choice) return choice->compare(*that.choice);
  return int(choice != nullptr) - int(that.choice != nullptr);
}

AbstractData* CHOICE::do_clone() const { return new CHOICE(*this); }
bool CHOICE::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool CHOICE::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

}  // namespace ASN1
