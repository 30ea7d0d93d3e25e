// Character strings: the restricted 8-bit kinds over an alphabet, and BMPString.
#pragma once

#include <string>

#include "asn1/abstract_data.h"

namespace ASN1 {

extern const char NumericStringSet[];
extern const char PrintableStringSet[];
extern const char GeneralStringSet[256];  // codes 0..255 in order
constexpr const char* VisibleStringSet = GeneralStringSet + 32;  // codes 32..126
constexpr const char* IA5StringSet = GeneralStringSet;           // codes 0..127

class AbstractString : public ConstrainedObject {
 public:
  struct InfoType : ConstrainedObject::InfoType {  // the constraint is on the length
    const char* characterSet;                      // permitted characters, in order
    unsigned characterSetSize;
    unsigned canonicalSetBits;  // bits of the largest character code of the set
    unsigned charSetUnalignedBits;
    unsigned charSetAlignedBits;
  };
  static AbstractData* create(const void* info);

  explicit AbstractString(const void* info) : ConstrainedObject(info) {}
  AbstractString(const void* info, const std::string& v) : ConstrainedObject(info), value(v) {}
  AbstractString(const void* info, const char* v) : ConstrainedObject(info), value(v) {}

  const InfoType* info() const { return static_cast<const InfoType*>(infoPointer()); }
  AbstractString& operator=(const std::string& v) {
    value = v;
    return *this;
  }
  AbstractString& operator=(const char* v) {
    value = v;
    return *this;
  }
  const std::string& getValue() const { return value; }
  std::string& getValue() { return value; }
  operator const std::string&() const { return value; }
  std::size_t size() const { return value.size(); }
  const char* c_str() const { return value.c_str(); }
  // Length within the bounds (valid: an extensible upper bound admits more) and
  // every character in the alphabet.
  bool isValid() const;
  bool isStrictlyValid() const;
  // Index of the first character outside the alphabet, or the length.
  std::size_t first_illegal_at() const;

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

  std::string value;
};

// The built-in string kinds; their records create objects of their own class.
#define ASN1_DECLARE_STRING(Name)                                                        \
  class Name : public AbstractString {                                                   \
   public:                                                                               \
    static const InfoType theInfo;                                                       \
    static AbstractData* create(const void* info) { return new Name(info); }             \
    explicit Name(const void* info = &theInfo) : AbstractString(info) {}                 \
    Name(const std::string& v, const void* info = &theInfo) : AbstractString(info, v) {} \
    Name(const char* v, const void* info = &theInfo) : AbstractString(info, v) {}        \
    using AbstractString::operator=;                                                     \
                                                                                         \
   private:                                                                              \
    AbstractData* do_clone() const override { return new Name(*this); }                  \
  }

ASN1_DECLARE_STRING(NumericString);
ASN1_DECLARE_STRING(PrintableString);
ASN1_DECLARE_STRING(VisibleString);
ASN1_DECLARE_STRING(IA5String);
ASN1_DECLARE_STRING(GeneralString);

#undef ASN1_DECLARE_STRING

class BMPString : public ConstrainedObject {
 public:
  struct InfoType : ConstrainedObject::InfoType {
    unsigned firstChar;
    unsigned lastChar;
    unsigned charSetUnalignedBits;
    unsigned charSetAlignedBits;
  };
  static const InfoType theInfo;
  static AbstractData* create(const void* info);

  explicit BMPString(const void* info = &theInfo) : ConstrainedObject(info) {}
  BMPString(const std::wstring& v, const void* info = &theInfo) : ConstrainedObject(info), value(v) {}
  BMPString(const wchar_t* v, const void* info = &theInfo) : ConstrainedObject(info), value(v) {}

  const InfoType* info() const { return static_cast<const InfoType*>(infoPointer()); }
  BMPString& operator=(const std::wstring& v) {
    value = v;
    return *this;
  }
  const std::wstring& getValue() const { return value; }
  std::wstring& getValue() { return value; }
  std::size_t size() const { return value.size(); }
  bool isValid() const;
  bool isStrictlyValid() const;
  bool legalCharacter(wchar_t c) const {
    return static_cast<unsigned>(c) >= info()->firstChar && static_cast<unsigned>(c) <= info()->lastChar;
  }
  // Index of the first character outside firstChar..lastChar, or the length.
  unsigned first_illegal_at() const;

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

  std::wstring value;
};

}  // namespace ASN1
