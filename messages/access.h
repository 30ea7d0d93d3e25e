// Helpers behind the typed accessors of the generated message classes.
//
// Every record creates, and every clone is, an object of the record's own
// class (generated classes and the runtime's typed classes alike), so a field
// or alternative object always has the class its accessor names and the casts
// below are exact.
#pragma once

#include "asn1/choice.h"
#include "asn1/sequence.h"

namespace Messages {

// A default value of T, standing in for an absent field or alternative so that
// reading a message never follows a null pointer. Made on first use.
template <class T>
const T& defaultValue() {
  static const T value;
  return value;
}

// The object of a mandatory field.
template <class T>
const T& field(const ASN1::SEQUENCE& seq, unsigned index) {
  const ASN1::AbstractData* value = seq.getField(index);
  return value ? *static_cast<const T*>(value) : defaultValue<T>();
}

// The object of an OPTIONAL field or extension addition, a default when absent.
template <class T>
const T& optionalField(const ASN1::SEQUENCE& seq, unsigned presenceIndex, unsigned index) {
  const ASN1::AbstractData* value = seq.getField(index);
  return value && seq.hasOptionalField(presenceIndex) ? *static_cast<const T*>(value) : defaultValue<T>();
}

// The object of a mandatory field, made from its record if the slot is empty.
template <class T>
T& mandatoryField(ASN1::SEQUENCE& seq, unsigned index) {
  return *static_cast<T*>(seq.ensureField(index));
}

// Marks an OPTIONAL field or extension addition present and returns its object
// (a field removed earlier comes back with its previous contents).
template <class T>
T& presentField(ASN1::SEQUENCE& seq, unsigned presenceIndex, unsigned index) {
  seq.includeOptionalField(presenceIndex, index);
  return *static_cast<T*>(seq.getField(index));
}

// Alternative `id` when it is the one selected, else a default value.
template <class T>
const T& alternative(const ASN1::CHOICE& choice, int id) {
  const ASN1::AbstractData* value = choice.getSelection();
  return value && choice.currentSelection() == id ? *static_cast<const T*>(value) : defaultValue<T>();
}

// Selects alternative `id` with a new default value made from its record.
template <class T>
T& select(ASN1::CHOICE& choice, int id) {
  const ASN1::AbstractData::InfoType* record = choice.info()->selectionInfos[id];
  return *static_cast<T*>(choice.setSelection(id, record->create(record)));
}

}  // namespace Messages
