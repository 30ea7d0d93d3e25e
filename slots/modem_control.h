#pragma once
// Requests of the modem control device ("/dev/mctl") and their argument
// records. The request numbers carry no argument size; the records are
// words in the board's byte order.
#include "hardware/board_order.h"

namespace ModemCtl {

constexpr unsigned long Answer = 0xbb03;        // ModemArg {modem, -1}
constexpr unsigned long Originate = 0xbb04;     // ModemArg {modem, -1}
constexpr unsigned long Allocate = 0xbb0b;      // result: the allocated modem number
constexpr unsigned long Enumerate = 0xbb0c;     // by value: the previous index (-1 first) -> the next
constexpr unsigned long Timeslot = 0xbb15;      // result: the time slot of the modem allocated here
constexpr unsigned long SetDdm = 0xbb16;        // ModemArg {modem, mode bits}
constexpr unsigned long SetDmp = 0xbb38;        // ParamArg {modem, offset, value}
constexpr unsigned long ResetDmp = 0xbb3a;      // ModemArg {modem, -1}
constexpr unsigned long FaxOriginate = 0xbb40;  // ModemArg {modem, -1}

// Digital data mode bits of SetDdm.
constexpr int DdmV110 = 1;
constexpr int Ddm8Bit = 2;
constexpr int Ddm7Bit = 4;

struct ModemArg {
  Hardware::be_i32 modem;
  Hardware::be_i32 value;
};
struct ParamArg {
  Hardware::be_i32 modem;
  Hardware::be_i32 offset;
  Hardware::be_i32 value;
};
static_assert(sizeof(ModemArg) == 8 && sizeof(ParamArg) == 12, "modem control records");

}  // namespace ModemCtl
