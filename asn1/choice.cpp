#include "asn1/choice.h"

#include <boost/polymorphic_cast.hpp>
#include <utility>

#include "asn1/visitor.h"

namespace ASN1 {

AbstractData* CHOICE::create(const void* info) { return new CHOICE(info); }

CHOICE::CHOICE(const CHOICE& other)
    : AbstractData(other), choice(other.choice ? other.choice->clone() : nullptr), choiceID(other.choiceID) {}

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

bool CHOICE::createSelection() {
  const InfoType* record = info();
  if (choiceID >= 0 && static_cast<unsigned>(choiceID) < record->totalChoices && record->selectionInfos[choiceID]) {
    const AbstractData::InfoType* alternative = record->selectionInfos[choiceID];
    choice.reset(alternative->create(alternative));
    return true;
  }
  choiceID = UNKNOWN_SELECTION;
  choice.reset();
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
