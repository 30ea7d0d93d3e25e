#include "asn1/sequence_of.h"

#include <algorithm>
#include <boost/polymorphic_cast.hpp>

#include "asn1/visitor.h"

namespace ASN1 {

AbstractData* SEQUENCE_OF_Base::create(const void* info) { return new SEQUENCE_OF_Base(info); }

SEQUENCE_OF_Base::SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other) : ConstrainedObject(other) {
  try {
    insert(container.end(), other.container.begin(), other.container.end());
  } catch (...) {
    clear();
    throw;
  }
}

SEQUENCE_OF_Base& SEQUENCE_OF_Base::operator=(const SEQUENCE_OF_Base& other) {
  SEQUENCE_OF_Base copy(other);
  swap(copy);
  return *this;
}

void SEQUENCE_OF_Base::clear() {
  for (AbstractData* element : container) delete element;
  container.clear();
}

void SEQUENCE_OF_Base::resize(std::size_t n) {
  if (n < container.size()) {
    erase(container.begin() + static_cast<std::ptrdiff_t>(n), container.end());
    return;
  }
  const AbstractData::InfoType* itemInfo = info()->itemInfo;
  while (container.size() < n) {
    std::unique_ptr<AbstractData> element(itemInfo->create(itemInfo));
    container.push_back(element.get());
    element.release();
  }
}

void SEQUENCE_OF_Base::insert(Container::iterator pos, std::size_t n, const AbstractData& value) {
  std::ptrdiff_t at = pos - container.begin();
  container.reserve(container.size() + n);  // no reallocation once the clones exist
  for (std::size_t i = 0; i < n; ++i) {
    std::unique_ptr<AbstractData> copy(value.clone());
    container.insert(container.begin() + at + static_cast<std::ptrdiff_t>(i), copy.get());
    copy.release();
  }
}

void SEQUENCE_OF_Base::insert(Container::iterator pos, Container::const_iterator first,
                              Container::const_iterator last) {
  std::ptrdiff_t at = pos - container.begin();
  Container copies;
  copies.reserve(static_cast<std::size_t>(last - first));
  try {
    for (; first != last; ++first) copies.push_back((*first)->clone());
    container.insert(container.begin() + at, copies.begin(), copies.end());
  } catch (...) {
    for (AbstractData* copy : copies) delete copy;
    throw;
  }
}

SEQUENCE_OF_Base::Container::iterator SEQUENCE_OF_Base::erase(Container::iterator first, Container::iterator last) {
  for (Container::iterator i = first; i != last; ++i) delete *i;
  return container.erase(first, last);
}

void SEQUENCE_OF_Base::append(const AbstractData& value) { insert(container.end(), 1, value); }

bool SEQUENCE_OF_Base::appendDecoded(Visitor& decoder) {
  resize(container.size() + 1);
  if (container.back()->accept(decoder)) return true;
  resize(container.size() - 1);
  return false;
}

int SEQUENCE_OF_Base::do_compare(const AbstractData& other) const {
  const Container& that = boost::polymorphic_downcast<const SEQUENCE_OF_Base*>(&other)->container;
  std::size_t n = std::min(container.size(), that.size());
  for (std::size_t i = 0; i < n; ++i)
    if (int result = container[i]->compare(*that[i])) return result;
  return container.size() < that.size() ? -1 : (container.size() > that.size() ? 1 : 0);
}

AbstractData* SEQUENCE_OF_Base::do_clone() const { return new SEQUENCE_OF_Base(*this); }
bool SEQUENCE_OF_Base::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool SEQUENCE_OF_Base::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

}  // namespace ASN1
