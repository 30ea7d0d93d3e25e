#pragma once
// Voice slots: audio moved unchanged between a transparent channel of the
// multi-channel controller and a file or a network peer. A player sends a
// list of prompt files, or a stream fetched from a TCP server, into the
// channel; a recorder sends what the channel receives to a TCP server.
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/slot.h"
#include "foundation/async.h"
#include "foundation/dpc.h"
#include "foundation/fd.h"

class VoiceSlot : public Slot {};

class PlaySlotGeneric : public VoiceSlot {
public:
  PlaySlotGeneric(int timeslot, const Fd& channel) : timeslot_(timeslot), channel_(channel) {}

  int IGetTransmitChannel() override { return timeslot_; }
  char const* GetName() const override { return "player"; }
  void PutHeader(std::ostream& out) const { out << GetName() << "[" << timeslot_ << "]: "; }

protected:
  int timeslot_;
  Fd channel_;  // the write side
};

// Plays what a TCP server sends after it has been told the stream's id.
class PlaySlotNetwork : public PlaySlotGeneric {
public:
  enum State { Idle, Connecting, Playing, Released };
  static constexpr unsigned ConnectTimeoutMs = 5000;

  PlaySlotNetwork(int timeslot, const Fd& channel, std::string peer, uint32_t id);

  // The first request connects to the server.
  bool IOnOutputStream() override;
  State state() const { return state_; }

private:
  void OnConnect(ASync::Connect::Status::Type status, Fd connection);
  void OnCopy(ASync::Copy::Status::Type status);
  // Ends playing: the stream inactive, then abort 0.
  void Release();

  std::string peer_;
  uint32_t id_;
  State state_;
  std::unique_ptr<ASync::Copy> copy_;
  std::unique_ptr<ASync::Connect> connect_;
};

// Plays a list of prompt files, `repeat` times (0: without end). A pass
// through the list that plays nothing (every prompt empty) ends the play.
class PlaySlotFile : public PlaySlotGeneric {
public:
  static constexpr unsigned BufferSize = 8192;

  PlaySlotFile(int timeslot, const Fd& channel, std::vector<std::string> names, uint32_t repeat);

  // The first request starts the list; a list without a file to play is
  // refused, and abort 0 follows from the next loop turn.
  bool IOnOutputStream() override;

private:
  bool Restart();
  // Starts the next prompt of the list that opens; false at the list's end.
  bool NextPhrase();
  void OnCopy(ASync::Copy::Status::Type status);
  void Release();
  void delayed_abort();

  std::unique_ptr<ASync::Copy> copy_;
  Fd file_;
  uint32_t repeat_;
  uint64_t passBytes_;  // played since the list last started
  bool started_;
  bool released_;
  Dpc abort_;
  std::vector<std::string> names_;
  size_t next_;
};

// Sends what the channel receives to a TCP server, from the first source
// connected until the server or the channel ends.
class RecordSlot : public VoiceSlot {
public:
  enum State { Created, Connecting, Recording, Stopped };

  RecordSlot(std::string peer, int timeslot, const Fd& channel);

  void IAfterCreate() override { OnChangeInputStream(true); }
  // Connects to the server unless connecting or recording already.
  bool IOnInputStream() override;
  int IGetReceiveChannel() override { return timeslot_; }
  char const* GetName() const override { return "recorder"; }
  void PutHeader(std::ostream& out) const { out << GetName() << "[" << timeslot_ << "]: "; }

  State state() const { return state_; }

private:
  void OnConnect(ASync::Connect::Status::Type status, Fd connection);
  void OnCopy(ASync::Copy::Status::Type status);
  // Ends recording with `stopRecording` and the cause.
  void Stop(int cause);

  int timeslot_;
  Fd channel_;  // the read side
  std::string peer_;
  State state_;
  std::unique_ptr<ASync::Copy> copy_;
  std::unique_ptr<ASync::Connect> connect_;
};

// Opens a prompt below the voice directory, read-only and non-blocking; an
// invalid Fd for a name that is empty, climbs out through "..", or does not
// name a regular file.
Fd OpenPrompt(const std::string& name);
