// Open types: a contained value, the still-encoded octets, both or neither.
#pragma once

#include <memory>
#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class OpenData : public AbstractData {
 public:
  typedef AbstractData::InfoType InfoType;
  typedef std::vector<char> Buffer;
  static const InfoType theInfo;
  static AbstractData* create(const void* info);

  explicit OpenData(const void* info = &theInfo) : AbstractData(info) {}
  // Takes ownership of the contained value.
  OpenData(AbstractData* contained, const void* info = &theInfo) : AbstractData(info), data(contained) {}
  OpenData(const OpenData& other);
  OpenData& operator=(const OpenData& other);

  bool has_data() const { return data != nullptr; }
  bool has_buf() const { return buf != nullptr; }
  AbstractData* get_data() { return data.get(); }
  const AbstractData* get_data() const { return data.get(); }
  const Buffer* get_buf() const { return buf.get(); }
  void grab(AbstractData* contained) { data.reset(contained); }
  void set_buf(const Buffer& octets) { buf.reset(new Buffer(octets)); }
  void set_buf(const char* first, const char* last) { buf.reset(new Buffer(first, last)); }
  void swap(OpenData& other);
  // The contained value valid (strictly valid); encoded octets alone pass, nothing fails.
  bool isValid() const;
  bool isStrictlyValid() const;

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

  // Declared in this order so that the octets are released before the value.
  std::unique_ptr<AbstractData> data;
  std::unique_ptr<Buffer> buf;
};

// An open type constrained to one type: a new value already holds a default value of it.
class TypeConstrainedOpenData : public OpenData {
 public:
  struct InfoType : AbstractData::InfoType {
    const AbstractData::InfoType* typeInfo;  // may be null
  };
  static AbstractData* create(const void* info);

  explicit TypeConstrainedOpenData(const void* info);

  const InfoType* info() const { return static_cast<const InfoType*>(infoPointer()); }

 private:
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
};

}  // namespace ASN1
