// SEQUENCE OF and SET OF values: an owned list of elements of the record's item type.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class SEQUENCE_OF_Base : public ConstrainedObject {
 public:
  struct InfoType : ConstrainedObject::InfoType {  // the constraint is on the element count
    const AbstractData::InfoType* itemInfo;
  };
  typedef std::vector<AbstractData*, detail::PoolAllocator<AbstractData*>> Container;
  static AbstractData* create(const void* info);

  explicit SEQUENCE_OF_Base(const void* info) : ConstrainedObject(info) {}
  SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other);
  SEQUENCE_OF_Base& operator=(const SEQUENCE_OF_Base& other);
  ~SEQUENCE_OF_Base() override { clear(); }
  void swap(SEQUENCE_OF_Base& other) { container.swap(other.container); }

  const InfoType* info() const { return static_cast<const InfoType*>(infoPointer()); }

  std::size_t size() const { return container.size(); }
  bool empty() const { return container.empty(); }
  AbstractData& element(std::size_t i) { return *container[i]; }
  const AbstractData& element(std::size_t i) const { return *container[i]; }
  const Container& elements() const { return container; }
  // Positions for insert and erase; the list owns what the pointers point to.
  Container& elements() { return container; }

  void clear();
  // Grows with default elements of the item type, or deletes from the end.
  void resize(std::size_t n);
  // Inserts n clones of `value`, or clones of the range, at `pos`.
  void insert(Container::iterator pos, std::size_t n, const AbstractData& value);
  void insert(Container::iterator pos, Container::const_iterator first, Container::const_iterator last);
  // Deletes and removes the range; returns the position after it.
  Container::iterator erase(Container::iterator first, Container::iterator last);
  // Appends a clone of `value`.
  void append(const AbstractData& value);
  // Appends a new element of the item type and lets `decoder` fill it; one that
  // fails is deleted again.
  bool appendDecoded(Visitor& decoder);

  // Element count within the bounds (valid: an extensible upper bound admits
  // more) and every element valid, or strictly valid.
  bool isValid() const;
  bool isStrictlyValid() const;

 protected:
  Container container;

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;
};

struct EmptyConstraint {
  static const ConstraintType type = Unconstrained;
  static const int lower = 0;
  static const unsigned upper = 0xffffffffu;
};

namespace detail {
// A position in the element-pointer vector that yields the element as T.
template <class T, class Base>
class ElementIterator {
 public:
  typedef std::bidirectional_iterator_tag iterator_category;
  typedef T value_type;
  typedef std::ptrdiff_t difference_type;
  typedef T* pointer;
  typedef T& reference;

  ElementIterator() {}
  explicit ElementIterator(Base position) : pos(position) {}
  template <class U, class B>
  ElementIterator(const ElementIterator<U, B>& other) : pos(other.base()) {}

  T& operator*() const { return static_cast<T&>(**pos); }
  T* operator->() const { return &**this; }
  ElementIterator& operator++() {
    ++pos;
    return *this;
  }
  ElementIterator operator++(int) { return ElementIterator(pos++); }
  ElementIterator& operator--() {
    --pos;
    return *this;
  }
  ElementIterator operator--(int) { return ElementIterator(pos--); }
  bool operator==(const ElementIterator& other) const { return pos == other.pos; }
  bool operator!=(const ElementIterator& other) const { return pos != other.pos; }
  Base base() const { return pos; }

 private:
  Base pos;
};
}  // namespace detail

// Typed list; its record creates, and its clones are, objects of this class.
template <class T, class Constraint = EmptyConstraint>
class SEQUENCE_OF : public SEQUENCE_OF_Base {
 public:
  typedef detail::ElementIterator<T, Container::iterator> iterator;
  typedef detail::ElementIterator<const T, Container::const_iterator> const_iterator;
  static const InfoType theInfo;
  static AbstractData* create(const void* info) { return new SEQUENCE_OF(info); }

  explicit SEQUENCE_OF(const void* info = &theInfo) : SEQUENCE_OF_Base(info) {}

  iterator begin() { return iterator(container.begin()); }
  iterator end() { return iterator(container.end()); }
  const_iterator begin() const { return const_iterator(container.begin()); }
  const_iterator end() const { return const_iterator(container.end()); }
  T& operator[](std::size_t i) { return static_cast<T&>(*container[i]); }
  const T& operator[](std::size_t i) const { return static_cast<const T&>(*container[i]); }
  void push_back(const T& value) { append(value); }
  iterator erase(iterator pos) { return iterator(SEQUENCE_OF_Base::erase(pos.base(), pos.base() + 1)); }

 private:
  AbstractData* do_clone() const override { return new SEQUENCE_OF(*this); }
};

template <class T, class Constraint>
const typename SEQUENCE_OF_Base::InfoType SEQUENCE_OF<T, Constraint>::theInfo = {
    {{&SEQUENCE_OF::create, 16}, Constraint::type, Constraint::lower, Constraint::upper}, &T::theInfo};

template <class T, class Constraint = EmptyConstraint>
class SET_OF : public SEQUENCE_OF<T, Constraint> {
 public:
  static const typename SEQUENCE_OF_Base::InfoType theInfo;
  static AbstractData* create(const void* info) { return new SET_OF(info); }

  explicit SET_OF(const void* info = &theInfo) : SEQUENCE_OF<T, Constraint>(info) {}

 private:
  AbstractData* do_clone() const override { return new SET_OF(*this); }
};

template <class T, class Constraint>
const typename SEQUENCE_OF_Base::InfoType SET_OF<T, Constraint>::theInfo = {
    {{&SET_OF::create, 17}, Constraint::type, Constraint::lower, Constraint::upper}, &T::theInfo};

}  // namespace ASN1
