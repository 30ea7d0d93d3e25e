// CHOICE values: one selected alternative, owned.
#pragma once

#include <memory>

#include "asn1/abstract_data.h"

namespace ASN1 {

class CHOICE : public AbstractData {
 public:
  struct InfoType : AbstractData::InfoType {
    bool extendable;
    const AbstractData::InfoType* const* selectionInfos;  // root alternatives, then known extensions
    unsigned numChoices;                                  // root alternatives
    unsigned totalChoices;
    const unsigned* tags;  // null: automatic tags
    const char* const* selectionNames;
  };
  enum { NO_SELECTION = -1, UNKNOWN_SELECTION = -2 };
  static AbstractData* create(const void* info);

  // Takes ownership of `value`.
  explicit CHOICE(const void* info, int id = NO_SELECTION, AbstractData* value = nullptr)
      : AbstractData(info, ChoiceKind), choiceID(id), choice(value) {}
  CHOICE(const CHOICE& other);
  CHOICE& operator=(const CHOICE& other);
  void swap(CHOICE& other);

  const InfoType* info() const { return static_cast<const InfoType*>(infoPointer()); }

  int currentSelection() const { return choiceID; }
  AbstractData* getSelection() { return choice.get(); }
  const AbstractData* getSelection() const { return choice.get(); }
  // Name of the selected alternative, or null.
  const char* getSelectionName() const;
  // Takes ownership of `value` (the previous alternative is deleted) and returns it.
  AbstractData* setSelection(int id, AbstractData* value) {
    if (choice.get() != value) choice.reset(value);
    choiceID = id;
    return value;
  }
  // Makes a default alternative for the current id; an id the record does not know
  // becomes UNKNOWN_SELECTION and gives false.
  bool createSelection() { return makeSelection(choiceID); }
  // Selects alternative `id`: the value already there when it is selected, else a
  // default one; false as for createSelection().
  bool select(int id) {
    if (id == choiceID && choice) return true;
    return makeSelection(id);
  }
  // Selects and creates the alternative that a BER identifier names (class byte
  // 0x80 for context tags). A tag no alternative carries gives UNKNOWN_SELECTION and false.
  bool setID(unsigned tagNumber, unsigned tagClass);

  // A selection of the root, or of a known extension when the type is extendable,
  // whose value is valid (strictly: of the root only, strictly valid).
  bool isValid() const;
  bool isStrictlyValid() const;

 private:
  // Selects `id` with a fresh default alternative, as createSelection() says.
  bool makeSelection(int id) {
    const InfoType* record = info();
    const AbstractData::InfoType* alternative =
        static_cast<unsigned>(id) < record->totalChoices ? record->selectionInfos[id] : nullptr;
    if (!alternative) {
      setSelection(UNKNOWN_SELECTION, nullptr);
      return false;
    }
    setSelection(id, alternative->create(alternative));
    return true;
  }
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) final;  // the kind names this entry
  bool do_accept(ConstVisitor& visitor) const final;

  int choiceID;  // first, into the base's tail padding
  std::unique_ptr<AbstractData> choice;
};

}  // namespace ASN1
