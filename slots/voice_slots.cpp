#include "slots/voice_slots.h"

#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "foundation/ext.h"
#include "foundation/paths.h"
#include "foundation/regular_file.h"

namespace {

// The recorder's copy is done when the channel ends: it does not wait for
// the connection to drain.
ASync::Copy::EventsParams RecordEvents() {
  ASync::Copy::EventsParams events;
  events.flush = 0;
  return events;
}

bool ClimbsOut(const std::string& name) {
  for (size_t at = 0; at <= name.size();) {
    size_t end = name.find('/', at);
    if (end == std::string::npos)
      end = name.size();
    if (name.compare(at, end - at, "..") == 0 && end - at == 2)
      return true;
    at = end + 1;
  }
  return false;
}

}  // namespace

Fd OpenPrompt(const std::string& name) {
  if (name.empty() || ClimbsOut(name))
    return Fd();
  std::string path = Paths::resolve(Paths::kVoiceDir) + name;
  return OpenRegularFile(path, O_RDONLY);
}

// ---- network player

PlaySlotNetwork::PlaySlotNetwork(int timeslot, const Fd& channel, std::string peer, uint32_t id)
    : PlaySlotGeneric(timeslot, channel), peer_(std::move(peer)), id_(id), state_(Idle) {}

bool PlaySlotNetwork::IOnOutputStream() {
  if (state_ == Idle) {
    state_ = Connecting;
    connect_ = std::make_unique<ASync::Connect>();
    connect_->Bind(&PlaySlotNetwork::OnConnect, this);
    connect_->Start(peer_, ConnectTimeoutMs);
    if (state_ == Released)
      return false;  // the address was no address: nothing to play
  }
  OnChangeOutputStream(true);
  return timeslot_ >= 0;
}

void PlaySlotNetwork::OnConnect(ASync::Connect::Status::Type status, Fd connection) {
  if (status != ASync::Connect::Status::Connected) {
    std::clog << ext::header(this) << "connection to " << peer_ << " fail." << std::endl;
    Release();
    return;
  }
  std::clog << ext::header(this) << "connected to " << peer_ << "." << std::endl;
  LGCP::IoctlResponse started;
  started.select_startPlaying();
  OnIoctlResponse(started);
  state_ = Playing;
  connect_.reset();  // it has reported: nothing of it runs after this handler
  const unsigned char id[4] = {static_cast<unsigned char>(id_ >> 24), static_cast<unsigned char>(id_ >> 16),
                               static_cast<unsigned char>(id_ >> 8), static_cast<unsigned char>(id_)};
  if (::write(connection.get(), id, sizeof id) != static_cast<ssize_t>(sizeof id))
    std::cerr << ext::header(this) << "stream id not sent" << std::endl;
  copy_ = std::make_unique<ASync::Copy>();
  copy_->Bind(&PlaySlotNetwork::OnCopy, this);
  copy_->Start(connection, channel_);
}

void PlaySlotNetwork::OnCopy(ASync::Copy::Status::Type status) {
  if (status == ASync::Copy::Status::Done)
    std::clog << ext::header(this) << "connection to " << peer_ << " closed." << std::endl;
  else
    std::cerr << ext::header(this) << "play failed" << std::endl;
  Release();
}

void PlaySlotNetwork::Release() {
  if (state_ == Released)
    return;
  state_ = Released;
  OnChangeOutputStream(false);
  copy_.reset();
  connect_.reset();
  OnAbort(0);
}

// ---- file player

PlaySlotFile::PlaySlotFile(int timeslot, const Fd& channel, std::vector<std::string> names, uint32_t repeat)
    : PlaySlotGeneric(timeslot, channel), repeat_(repeat), passBytes_(0), started_(false), released_(false),
      names_(std::move(names)), next_(0) {
  abort_.Bind(this, &PlaySlotFile::delayed_abort);
}

bool PlaySlotFile::IOnOutputStream() {
  if (!started_) {
    if (!Restart()) {
      abort_.Activate();
      return false;
    }
    started_ = true;
  }
  OnChangeOutputStream(true);
  return timeslot_ >= 0;
}

void PlaySlotFile::delayed_abort() {
  abort_.Deactivate();
  OnAbort(0);
}

bool PlaySlotFile::Restart() {
  next_ = 0;
  passBytes_ = 0;
  return NextPhrase();
}

bool PlaySlotFile::NextPhrase() {
  while (next_ < names_.size()) {
    Fd file = OpenPrompt(names_[next_++]);
    if (!file)
      continue;  // a missing prompt is skipped
    file_.reset(file.release());
    // A finished copy is replaced from within its own report, which is the
    // last thing it does.
    copy_ = std::make_unique<ASync::Copy>();
    copy_->Bind(&PlaySlotFile::OnCopy, this);
    copy_->set_bufsize(BufferSize);
    copy_->Start(file_, channel_);
    return true;
  }
  return false;
}

void PlaySlotFile::OnCopy(ASync::Copy::Status::Type status) {
  if (status != ASync::Copy::Status::Done) {
    Release();
    return;
  }
  passBytes_ += copy_->copied();
  if (NextPhrase())
    return;
  // The list is done: again for ever, again `repeat` - 1 times, or the end.
  // A list that played nothing would only start over at once, without end.
  if (passBytes_ == 0) {
    std::clog << ext::header(this) << "nothing to play in the list, play ended" << std::endl;
    Release();
    return;
  }
  if (repeat_ != 0 && repeat_-- == 1) {
    Release();
    return;
  }
  if (!Restart())
    Release();
}

void PlaySlotFile::Release() {
  if (released_)
    return;
  released_ = true;
  OnChangeOutputStream(false);
  copy_.reset();
  file_.close();
  OnAbort(0);
}

// ---- recorder

RecordSlot::RecordSlot(std::string peer, int timeslot, const Fd& channel)
    : timeslot_(timeslot), channel_(channel), peer_(std::move(peer)), state_(Created) {}

bool RecordSlot::IOnInputStream() {
  if (state_ == Connecting || state_ == Recording)
    return true;  // one recording at a time
  state_ = Connecting;
  connect_ = std::make_unique<ASync::Connect>();
  connect_->Bind(&RecordSlot::OnConnect, this);
  connect_->Start(peer_, PlaySlotNetwork::ConnectTimeoutMs);
  return true;
}

void RecordSlot::OnConnect(ASync::Connect::Status::Type status, Fd connection) {
  if (status != ASync::Connect::Status::Connected) {
    std::clog << ext::header(this) << "connection to " << peer_ << " fail." << std::endl;
    Stop(LGCP::StopRecordingCause::connectionFail);
    return;
  }
  std::clog << ext::header(this) << "connected to " << peer_ << "." << std::endl;
  state_ = Recording;
  connect_.reset();
  copy_ = std::make_unique<ASync::Copy>();
  copy_->Bind(&RecordSlot::OnCopy, this);
  copy_->set_events(RecordEvents());
  copy_->Start(channel_, connection);
}

void RecordSlot::OnCopy(ASync::Copy::Status::Type status) {
  if (status == ASync::Copy::Status::Done) {
    std::clog << ext::header(this) << "connection to " << peer_ << " closed." << std::endl;
    Stop(LGCP::StopRecordingCause::userRequest);
  } else {
    std::cerr << ext::header(this) << "record aborted" << std::endl;
    Stop(LGCP::StopRecordingCause::connectionAborted);
  }
}

void RecordSlot::Stop(int cause) {
  state_ = Stopped;
  copy_.reset();
  connect_.reset();
  LGCP::IoctlResponse stopped;
  stopped.select_stopRecording().setValue(cause);
  OnIoctlResponse(stopped);
}
