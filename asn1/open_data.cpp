#include "asn1/open_data.h"

#include <boost/polymorphic_cast.hpp>

#include "asn1/visitor.h"

namespace ASN1 {

const OpenData::InfoType OpenData::theInfo = {&OpenData::create, 0};

AbstractData* OpenData::create(const void* info) { return new OpenData(info); }

OpenData::OpenData(const OpenData& other)
    : AbstractData(other), data(other.data ? other.data->clone() : nullptr),
      buf(other.buf ? new Buffer(*other.buf) : nullptr) {}

OpenData& OpenData::operator=(const OpenData& other) {
  OpenData copy(other);
  swap(copy);
  return *this;
}

void OpenData::swap(OpenData& other) {
  data.swap(other.data);
  buf.swap(other.buf);
}

int OpenData::do_compare(const AbstractData& other) const {
  const OpenData& that = *boost::polymorphic_downcast<const OpenData*>(&other);
  if (data && that.data) return data->compare(*that.data);
  if (buf && that.buf)
    return lexicographic_compare_bytes(buf->data(), buf->data() + buf->size(), that.buf->data(),
                                       that.buf->data() + that.buf->size());
  // A contained value outranks raw octets, which outrank nothing.
  int mine = data ? 2 : (buf ? 1 : 0), theirs = that.data ? 2 : (that.buf ? 1 : 0);
  return mine - theirs;
}

AbstractData* OpenData::do_clone() const { return new OpenData(*this); }
bool OpenData::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool OpenData::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

AbstractData* TypeConstrainedOpenData::create(const void* info) { return new TypeConstrainedOpenData(info); }

TypeConstrainedOpenData::TypeConstrainedOpenData(const void* info) : OpenData(info) {
  const AbstractData::InfoType* contained = this->info()->typeInfo;
  if (contained) grab(contained->create(contained));
}

AbstractData* TypeConstrainedOpenData::do_clone() const { return new TypeConstrainedOpenData(*this); }
bool TypeConstrainedOpenData::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }

}  // namespace ASN1
