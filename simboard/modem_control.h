#pragma once
// "/dev/mctl": the pool of DSP modems. An open may allocate one modem; the
// modem stays with that open file (and its duplicates) until it is closed.
// Every other request names the modem in the first word of its argument.
#include <cstdint>
#include <map>
#include <vector>

#include "simboard/device.h"

namespace SimBoard {

class ModemControl : public Device {
public:
  // Request numbers of "/dev/mctl"; they do not encode an argument size.
  static constexpr unsigned long Answer = 0xbb03;        // {modem, -1}
  static constexpr unsigned long Originate = 0xbb04;     // {modem, -1}
  static constexpr unsigned long Allocate = 0xbb0b;      // result: the modem number
  static constexpr unsigned long Enumerate = 0xbb0c;     // by value: previous index -> next
  static constexpr unsigned long Timeslot = 0xbb15;      // result: the allocated modem's time slot
  static constexpr unsigned long SetDdm = 0xbb16;        // {modem, mode bits}
  static constexpr unsigned long SetDmp = 0xbb38;        // {modem, offset, value}
  static constexpr unsigned long ResetDmp = 0xbb3a;      // {modem, -1}
  static constexpr unsigned long FaxOriginate = 0xbb40;  // {modem, -1}

  enum class Call { None, Answer, Originate, FaxOriginate };
  struct Modem {
    int timeslot = -1;
    const OpenFile* holder = nullptr;  // the open file it is allocated on
    uint32_t ddm = 0;
    std::map<int32_t, int32_t> params;  // DMP offset -> value since the last reset
    unsigned resets = 0;
    Call call = Call::None;
  };

  // Four modems on time slots 192 to 195.
  ModemControl();

  // A fresh pool of count modems on time slots from firstTimeslot up
  // (only while no modem is allocated).
  void set_modems(size_t count, int firstTimeslot);
  size_t modem_count() const { return modems_.size(); }
  const Modem& modem(size_t n) const { return modems_.at(n); }
  size_t allocated() const;
  // A driver whose enumeration never ends (never fails with ENODEV).
  void set_endless_enumeration(bool on) { endless_ = on; }

protected:
  void closed(OpenFile& file) override;

private:
  // The modem named by the request's first word, when the file holds it.
  Modem* held(Request& r);
  void onCall(unsigned long request, Call call);

  std::vector<Modem> modems_;
  bool endless_;
};

}  // namespace SimBoard
