#include "asn1/generalized_time.h"

#include <boost/polymorphic_cast.hpp>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "asn1/visitor.h"

namespace ASN1 {

const GeneralizedTime::InfoType GeneralizedTime::theInfo = {&GeneralizedTime::create, 24};

AbstractData* GeneralizedTime::create(const void* info) { return new GeneralizedTime(info); }

GeneralizedTime::GeneralizedTime(const void* info)
    : AbstractData(info), year(1), month(1), day(1), hour(0), minute(0), second(0), millisec(0), mindiff(0),
      utc(false) {}

GeneralizedTime::GeneralizedTime(int year_, int month_, int day_, int hour_, int minute_, int second_, int millisec_,
                                 int mindiff_, bool utc_, const void* info)
    : AbstractData(info), year(year_), month(month_), day(day_), hour(hour_), minute(minute_), second(second_),
      millisec(millisec_), mindiff(mindiff_), utc(utc_) {}

GeneralizedTime::GeneralizedTime(const std::string& text, const void* info) : GeneralizedTime(info) { set(text); }

std::string GeneralizedTime::get() const {
  char text[96];
  int n = std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute, second);
  std::string result(text, n > 0 ? static_cast<std::size_t>(n) : 0);
  if (millisec != 0) {
    n = std::snprintf(text, sizeof text, ".%03d", millisec);
    result.append(text, static_cast<std::size_t>(n));
  }
  if (utc) {
    result += 'Z';
  } else if (mindiff != 0) {
    long minutes = mindiff < 0 ? -static_cast<long>(mindiff) : mindiff;
    n = std::snprintf(text, sizeof text, "%c%02ld%02ld", mindiff < 0 ? '-' : '+', minutes / 60, minutes % 60);
    result.append(text, static_cast<std::size_t>(n));
  }
  return result;
}

bool GeneralizedTime::set(const std::string& text) {
  bool ok = std::sscanf(text.c_str(), "%4d%2d%2d%2d%2d%2d", &year, &month, &day, &hour, &minute, &second) == 6;
  millisec = 0;
  mindiff = 0;
  utc = false;
  if (text.size() > 14 && text[14] == '.') millisec = static_cast<int>(std::strtod(text.c_str() + 14, nullptr) * 1000);
  if (!text.empty() && text[text.size() - 1] == 'Z') {
    utc = true;
  } else if (text.size() >= 5 && (text[text.size() - 5] == '+' || text[text.size() - 5] == '-')) {
    int hhmm = std::atoi(text.c_str() + text.size() - 4);
    int minutes = hhmm / 100 * 60 + hhmm % 100;
    mindiff = text[text.size() - 5] == '-' ? -minutes : minutes;
  }
  return ok;
}

std::time_t GeneralizedTime::get_time_t() const {
  std::tm fields = std::tm();
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

void GeneralizedTime::set_time_t(std::time_t t) {
  std::tm fields;
  if (!gmtime_r(&t, &fields)) return;
  year = fields.tm_year + 1900;
  month = fields.tm_mon + 1;
  day = fields.tm_mday;
  hour = fields.tm_hour;
  minute = fields.tm_min;
  second = fields.tm_sec;
}

void GeneralizedTime::swap(GeneralizedTime& other) {
  std::swap(year, other.year);
  std::swap(month, other.month);
  std::swap(day, other.day);
  std::swap(hour, other.hour);
  std::swap(minute, other.minute);
  std::swap(second, other.second);
  std::swap(millisec, other.millisec);
  std::swap(mindiff, other.mindiff);
  std::swap(utc, other.utc);
}

int GeneralizedTime::do_compare(const AbstractData& other) const {
  const GeneralizedTime& that = *boost::polymorphic_downcast<const GeneralizedTime*>(&other);
  const int mine[] = {year, month, day, hour, minute, second, millisec, utc};
  const int theirs[] = {that.year, that.month, that.day, that.hour, that.minute, that.second, that.millisec, that.utc};
  for (unsigned i = 0; i < sizeof mine / sizeof mine[0]; ++i)
    if (mine[i] != theirs[i]) return mine[i] < theirs[i] ? -1 : 1;
  return 0;
}

AbstractData* GeneralizedTime::do_clone() const { return new GeneralizedTime(*this); }
bool GeneralizedTime::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool GeneralizedTime::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

}  // namespace ASN1
