#include "simboard/request.h"

#include <stdexcept>

namespace SimBoard {

uint8_t* Request::at(size_t offset, size_t width) const {
  if (!has_pointer() || offset + width > size())
    throw std::out_of_range("simulated driver reads outside the request argument");
  return pointer_ + offset;
}

void RequestLog::add(LoggedRequest entry) {
  ++total_;
  if (capacity_ == 0)
    return;
  if (entries_.size() >= capacity_)
    entries_.pop_front();
  entries_.push_back(std::move(entry));
}

void RequestLog::set_capacity(size_t capacity) {
  capacity_ = capacity;
  while (entries_.size() > capacity_)
    entries_.pop_front();
}

std::vector<LoggedRequest> RequestLog::on(const std::string& device) const {
  std::vector<LoggedRequest> found;
  for (const LoggedRequest& e : entries_)
    if (e.device == device)
      found.push_back(e);
  return found;
}

std::vector<LoggedRequest> RequestLog::on(const std::string& device, unsigned long number) const {
  std::vector<LoggedRequest> found;
  for (const LoggedRequest& e : entries_)
    if (e.device == device && e.number == number)
      found.push_back(e);
  return found;
}

}  // namespace SimBoard
