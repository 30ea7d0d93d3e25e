#include "core/slot_connect.h"

#include <algorithm>
#include <iostream>

#include "core/slot.h"
#include "hardware/hw_mux.h"

bool Slot::IHwConnectTransmitter(Slot& receiver) { return MuxConnect(*this, receiver); }
bool Slot::IHwConnectReceiver(Slot& source) { return MuxConnect(source, *this); }
bool Slot::IHwDisconnectTransmitter(Slot& receiver) { return MuxDisconnect(receiver); }
bool Slot::IHwDisconnectReceiver(Slot&) { return MuxDisconnect(*this); }

void Slot::LogicalConnect(Slot& source) {
  source_ = &source;
  std::vector<Slot*>& list = source.receivers_;
  auto at = std::lower_bound(list.begin(), list.end(), this);
  if (at == list.end() || *at != this)
    list.insert(at, this);
}

void Slot::LogicalDisconnect() {
  if (!source_)
    return;
  std::vector<Slot*>& list = source_->receivers_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  source_ = nullptr;
}

void Slot::OnChangeInputStream(bool active) {
  if (inputActive_ == active)
    return;
  LGCP::Signal sig;
  if (active) {
    inputActive_ = true;
    sig.select_receiver().select_active().setValue(IGetReceiveChannel());
  } else {
    Disconnect(*this);
    inputActive_ = false;
    sig.select_receiver().select_inactive();
  }
  SendSignal(sig);
}

void Slot::OnChangeOutputStream(bool active) {
  if (outputActive_ == active)
    return;
  LGCP::Signal sig;
  if (active) {
    sig.select_transmitter().select_active().setValue(IGetTransmitChannel());
  } else {
    for (size_t n = receivers_.size(); n > 0; --n) {
      if (receivers_.empty()) {
        std::cerr << "mux: internal error: expected slots not exists." << std::endl;
        break;
      }
      Disconnect(*receivers_.front());
    }
    sig.select_transmitter().select_inactive();
  }
  outputActive_ = active;
  SendSignal(sig);
}

bool Connect(Slot& source, Slot& receiver) {
  if (receiver.source() == &source)
    return true;
  if (source.receivers().empty()) {
    if (!source.IOnOutputStream()) {
      std::cerr << "slot " << source << " don't have output stream to " << receiver << std::endl;
      return false;
    }
    source.OnChangeOutputStream(true);
  }
  Slot* old = receiver.source();
  if (!old) {
    if (!receiver.IOnInputStream()) {
      std::cerr << "slot " << receiver << " don't have input stream from " << source << std::endl;
      return false;
    }
    receiver.OnChangeInputStream(true);
  } else {
    llDisconnect(receiver);  // the old path goes before the new one is made
  }

  if (!llConnect(source, receiver)) {
    // The old hardware path is gone: so is the link to the old source.
    if (old) {
      receiver.LogicalDisconnect();
      if (old->receivers().empty())
        old->IOnOutputRelease();
    }
    receiver.IOnInputRelease();
    if (source.receivers().empty())
      source.IOnOutputRelease();
    return false;
  }

  if (old) {
    receiver.LogicalDisconnect();
    if (old->receivers().empty())
      old->IOnOutputRelease();
  }
  receiver.LogicalConnect(source);
  return true;
}

bool Disconnect(Slot& receiver) {
  Slot* source = receiver.source();
  if (!source)
    return true;
  bool done = llDisconnect(receiver);
  receiver.LogicalDisconnect();
  receiver.IOnInputRelease();
  if (source->receivers().empty())
    source->IOnOutputRelease();
  return done;
}

bool llConnect(Slot& source, Slot& receiver) {
  if (source.GetConnectionPriority() > receiver.GetConnectionPriority())
    return source.IHwConnectTransmitter(receiver);
  return receiver.IHwConnectReceiver(source);
}

bool llDisconnect(Slot& receiver) {
  Slot* source = receiver.source();
  if (!source)
    return false;
  if (receiver.GetConnectionPriority() > source->GetConnectionPriority())
    return receiver.IHwDisconnectReceiver(*source);
  return source->IHwDisconnectTransmitter(receiver);
}

bool MuxConnect(Slot& source, Slot& receiver) {
  int tx = source.IGetTransmitChannel();
  int rx = receiver.IGetReceiveChannel();
  if (!HwMux::instance()->Connect(tx, rx))
    return false;
  std::clog << "mux: slot " << source << " [" << tx << "] -> " << receiver << " [" << rx << "]" << std::endl;
  return true;
}

bool MuxDisconnect(Slot& receiver) {
  int rx = receiver.IGetReceiveChannel();
  if (!HwMux::instance()->Disconnect(rx))
    return false;
  std::clog << "mux: disconnect slot " << receiver << " [" << rx << "]" << std::endl;
  return true;
}
