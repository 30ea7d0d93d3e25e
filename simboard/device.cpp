#include "simboard/device.h"

#include <cerrno>

#include "simboard/board.h"

namespace SimBoard {

Device::Device(std::string path)
    : path_(std::move(path)), board_(nullptr), present_(true), openError_(0), opens_(0) {}

Device::~Device() = default;

void Device::fail(unsigned long request, int err, int times) { failures_[request] = Failure{err, times}; }

size_t Device::open_count() const { return files().size(); }

std::vector<std::shared_ptr<OpenFile>> Device::files() const {
  std::vector<std::shared_ptr<OpenFile>> mine;
  if (!board_)
    return mine;
  board_->pump();
  for (const auto& f : board_->files())
    if (&f->device() == this)
      mine.push_back(f);
  return mine;
}

std::vector<LoggedRequest> Device::requests() const {
  return board_ ? board_->log().on(path_) : std::vector<LoggedRequest>();
}

std::vector<LoggedRequest> Device::requests(unsigned long number) const {
  return board_ ? board_->log().on(path_, number) : std::vector<LoggedRequest>();
}

size_t Device::inject(const Bytes& record) {
  size_t sent = 0;
  for (const auto& f : files())
    if (f->readable()) {
      f->send(record);
      ++sent;
    }
  return sent;
}

void Device::on(unsigned long request, Arg form, Handler handler, size_t size) {
  size_t encoded = request_size(request);
  requests_[request] = Entry{form, std::move(handler), encoded ? encoded : size};
}

int Device::refused(OpenFile& file, unsigned long number, void* pointer, unsigned long value, bool byValue,
                    const Entry* entry) {
  Request req(file, number, pointer, value, byValue, argument_size(number));
  int result = dispatch(entry, req);
  if (result < 0)
    errno = req.error();
  return result;
}

const Device::Entry* Device::find_other(unsigned long request) const {
  auto entry = requests_.find(request);
  if (entry == requests_.end())
    return nullptr;
  lastRequest_ = request;
  lastEntry_ = &entry->second;
  return &entry->second;
}

void Device::pump() const {
  if (board_)
    board_->pump();
}

bool Device::failing(Request& request) {
  auto failure = failures_.find(request.number());
  if (failure == failures_.end())
    return false;
  int err = failure->second.error;
  if (failure->second.times > 0 && --failure->second.times == 0)
    failures_.erase(failure);
  request.fail(err);
  return true;
}

bool Device::service(OpenFile& file, bool closing) {
  file.flush();
  if (file.external())
    return false;  // the peer on the line takes the frames
  Bytes datagram;
  for (;;) {
    if (!closing && (file.full() || !accepting(file)))
      return true;
    if (!file.receive(datagram))
      return false;
    received(file, std::move(datagram));
  }
}

}  // namespace SimBoard
