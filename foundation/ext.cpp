#include "foundation/ext.h"

#include <iomanip>

namespace ext {

void OutBufInHex::Put(std::ostream& out) const {
  std::ios::fmtflags flags = out.flags();
  for (const uint8_t* p = begin_; p < end_; ++p)
    out << std::hex << std::uppercase << std::setw(2) << std::setfill('0') << static_cast<unsigned>(*p) << ' ';
  out.flags(flags);
  out.fill(' ');
}

void OutUnsignedInHex::Put(std::ostream& out) const {
  std::ios::fmtflags flags = out.flags();
  out << "0x" << std::hex << std::uppercase << std::setw(width_) << std::setfill('0') << value_;
  out.flags(flags);
  out.fill(' ');
}

void Table::row(std::ostream& out, const std::string& text) {
  if (next_ >= widths_.size())
    return;
  open_ = true;
  int width = widths_[next_];
  int len = static_cast<int>(text.size()) < width ? static_cast<int>(text.size()) : width;
  out << '|' << std::string(static_cast<size_t>((width - len) / 2), ' ') << text
      << std::string(static_cast<size_t>((width - len + 1) / 2), ' ');
  ++next_;
  if (next_ == widths_.size()) {
    out << "|\n";
    open_ = false;
  }
}

void Table::finalize(std::ostream& out) {
  if (!open_)
    return;
  while (open_ && next_ < widths_.size())
    row(out, " ");
}

void Table::border(std::ostream& out, char corner, char fill) {
  finalize(out);
  if (widths_.empty())
    return;
  for (int w : widths_)
    out << corner << std::string(static_cast<size_t>(w), fill);
  out << corner << "\n";
}

void Table::delimeter(std::ostream& out) { border(out, '+', '-'); }
void Table::gap(std::ostream& out) { border(out, '|', ' '); }

Table::Sentry& nextrow(Table::Sentry& s) {
  s.table().row(s.out(), s.take());
  return s;
}

Table::Sentry& beginrow(Table::Sentry& s) {
  s.table().resetrow();
  return s;
}

Table::Sentry& delimeter(Table::Sentry& s) {
  s.table().delimeter(s.out());
  return s;
}

}  // namespace ext
