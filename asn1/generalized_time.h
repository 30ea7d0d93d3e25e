// GeneralizedTime values, kept as calendar fields.
#pragma once

#include <ctime>
#include <string>

#include "asn1/abstract_data.h"

namespace ASN1 {

class GeneralizedTime : public AbstractData {
 public:
  typedef AbstractData::InfoType InfoType;
  static const InfoType theInfo;
  static AbstractData* create(const void* info);

  explicit GeneralizedTime(const void* info = &theInfo);
  GeneralizedTime(int year, int month, int day, int hour, int minute, int second, int millisec, int mindiff, bool utc,
                  const void* info = &theInfo);
  GeneralizedTime(const std::string& text, const void* info = &theInfo);
  GeneralizedTime(const char* text, const void* info = &theInfo) : GeneralizedTime(std::string(text), info) {}

  // "YYYYMMDDhhmmss", ".fff" when millisec is set, then "Z" or the offset "+hhmm".
  std::string get() const;
  // Reads the text form; the offset is kept in minutes. False when the date does not read.
  bool set(const std::string& text);
  std::time_t get_time_t() const;
  void set_time_t(std::time_t t);
  void swap(GeneralizedTime& other);
  // Every field within its calendar range.
  bool isStrictlyValid() const;

  int year, month, day, hour, minute, second, millisec;
  int mindiff;  // offset from UTC in minutes
  bool utc;

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;
};

}  // namespace ASN1
