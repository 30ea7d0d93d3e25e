#include "simboard/request.h"

#include <algorithm>
#include <stdexcept>

namespace SimBoard {

void Request::outside() { throw std::out_of_range("simulated driver reads outside the request argument"); }

LoggedRequest* RequestLog::take_entry() {
  if (count_ < ring_.size() && ring_.size() <= capacity_) {
    // Room in the storage the ring already has.
    return &ring_[(head_ + count_++) % ring_.size()];
  }
  if (ring_.size() < capacity_ && head_ == 0) {
    ring_.emplace_back();
    ++count_;
    return &ring_.back();
  }
  // Full: the oldest entry's storage takes the new request.
  LoggedRequest* entry = &ring_[head_];
  head_ = (head_ + 1) % ring_.size();
  return entry;
}

void RequestLog::set_capacity(size_t capacity) {
  // Keep the newest entries, in order from the start of the storage.
  std::vector<LoggedRequest> kept;
  size_t keep = std::min(count_, capacity);
  kept.reserve(keep);
  for (size_t i = count_ - keep; i < count_; ++i)
    kept.push_back(std::move(ring_[(head_ + i) % ring_.size()]));
  ring_ = std::move(kept);
  head_ = 0;
  count_ = keep;
  capacity_ = capacity;
}

std::vector<LoggedRequest> RequestLog::on(const std::string& device) const {
  std::vector<LoggedRequest> found;
  for (const LoggedRequest& e : entries())
    if (e.device == device)
      found.push_back(e);
  return found;
}

std::vector<LoggedRequest> RequestLog::on(const std::string& device, unsigned long number) const {
  std::vector<LoggedRequest> found;
  for (const LoggedRequest& e : entries())
    if (e.device == device && e.number == number)
      found.push_back(e);
  return found;
}

}  // namespace SimBoard
