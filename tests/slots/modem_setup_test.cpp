// DSP modem set-up as request traces on the simulated "/dev/mctl", a
// failed set-up and the slot after it, the HDLC modem path on simulated
// interfaces, and the resource scan.
#include <gmock/gmock.h>

#include <linux/if.h>
#include <linux/sockios.h>

#include "tests/slots/modem_fixture.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;

namespace modem_test {

namespace {

// "bb16 0 5": the request number and the words of its argument; "!errno"
// after a failed one.
Lines trace(const SimBoard::Board& board) {
  Lines lines;
  for (const SimBoard::LoggedRequest& e : board.log().on("/dev/mctl")) {
    std::ostringstream line;
    line << std::hex << e.number << std::dec;
    for (size_t at = 0; at + 4 <= e.in.size(); at += 4)
      line << ' ' << static_cast<int32_t>(e.word(at));
    lines.push_back(line.str());
  }
  return lines;
}

void ddmAndDmp(TERM::ModemParams& p) {
  for (auto mode : {TERM::DigitalDataModeEnum::ddmV110, TERM::DigitalDataModeEnum::ddm7BIT,
                    TERM::DigitalDataModeEnum::ddmV120})
    p.mutable_ddm().push_back(TERM::DigitalDataModeEnum(mode));
  for (int i : {1, 7}) {
    TERM::DDModemParam param;
    param.set_offset(i);
    param.set_value(i - 4);
    p.mutable_dmp().push_back(param);
  }
}

// The program followed by the arguments "a0" up to "a<count - 1>".
Lines numbered(const std::string& program, int count) {
  Lines args{program};
  for (int i = 0; i < count; ++i)
    args.push_back("a" + std::to_string(i));
  return args;
}

}  // namespace

TEST_F(ModemTest, DspSetUpRequestsAndPppdCommandLine) {
  program("/usr/local/sbin/pppd", "exec sleep 30\n");
  program("/usr/local/sbin/ppp2", "exec sleep 30\n");
  const std::string r = root.path();
  struct Case {
    std::function<void(TERM::ModemParams&)> fill;
    Lines requests;
    const char* program;
    Lines args;
  } cases[] = {
      {[](TERM::ModemParams&) {},
       {"bb0b", "bb15", "bb3a 0 -1", "bb03 0 -1"},
       "/usr/local/sbin/pppd",
       {r + "/usr/local/sbin/pppd", "file", r + "/usr/local/etc/ppp/aoptions", "/dev/mdm0", "remotenumber",
        "5551234"}},
      {[](TERM::ModemParams& p) {
         p.set_cid("");
         p.mutable_originate();
         ddmAndDmp(p);
       },
       {"bb0b", "bb15", "bb16 0 5", "bb3a 0 -1", "bb38 0 1 -3", "bb38 0 7 3", "bb04 0 -1"},
       "/usr/local/sbin/pppd",
       {r + "/usr/local/sbin/pppd", "file", r + "/usr/local/etc/ppp/coptions", "/dev/mdm0"}},
      {[](TERM::ModemParams& p) {
         p.set_execfile("/usr/local/sbin/ppp2");
         p.mutable_execargs().push_back(ASN1::IA5String("nodetach"));
         p.mutable_execargs().push_back(ASN1::IA5String("debug"));
       },
       {"bb0b", "bb15", "bb3a 0 -1", "bb03 0 -1"},
       "/usr/local/sbin/ppp2",
       {r + "/usr/local/sbin/ppp2", "nodetach", "debug"}},
      // Of 63 arguments the first 62 reach the program.
      {[](TERM::ModemParams& p) {
         for (int i = 0; i < 63; ++i)
           p.mutable_execargs().push_back(ASN1::IA5String("a" + std::to_string(i)));
       },
       {"bb0b", "bb15", "bb3a 0 -1", "bb03 0 -1"},
       "/usr/local/sbin/pppd",
       numbered(r + "/usr/local/sbin/pppd", 62)},
  };
  int seq = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(seq);
    board.log().clear();
    std::remove((r + c.program + ".args").c_str());
    startModem(seq, 3, c.fill);
    EXPECT_THAT(messages(2), ElementsAre("slot=3 signal transmitter active 192", "slot=3 signal receiver active 192"));
    EXPECT_THAT(argsOf(c.program), ElementsAreArray(c.args));
    EXPECT_THAT(trace(board), ElementsAreArray(c.requests));
    // A later stream request does nothing.
    modemSlot(3)->IOnInputStream();
    EXPECT_EQ(trace(board).size(), c.requests.size());
    simple(seq + 1, 3, LGCP::Command::alt_destroy);
    EXPECT_TRUE(received("seq=" + std::to_string(seq + 1) + " slot=3 success"));
    seq += 10;
  }
}

TEST_F(ModemTest, SetUpFailures) {
  program("/usr/local/sbin/pppd", "exec sleep 30\n");
  using SimBoard::ModemControl;
  struct Case {
    std::function<void(SimBoard::ModemControl&)> fail;
    bool originate;
    int abort;  // 0: the set-up goes on
  } cases[] = {
      {[](ModemControl& m) { m.fail_open(ENOENT); }, false, ENOENT},
      {[](ModemControl& m) { m.fail(ModemControl::Allocate, EAGAIN); }, false, EAGAIN},
      {[](ModemControl& m) { m.fail(ModemControl::Timeslot, EIO); }, false, EIO},
      {[](ModemControl& m) { m.fail(ModemControl::SetDdm, EINVAL); }, false, EINVAL},
      {[](ModemControl& m) { m.fail(ModemControl::Answer, EBUSY); }, false, EBUSY},
      {[](ModemControl& m) { m.fail(ModemControl::Originate, EPERM); }, true, EPERM},
      {[](ModemControl& m) { m.fail(ModemControl::ResetDmp, EIO); }, false, 0},
      {[](ModemControl& m) { m.fail(ModemControl::SetDmp, EIO, 1); }, false, 0},
  };
  int slot = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(slot);
    c.fail(modemDev());
    startModem(slot, slot, [&](TERM::ModemParams& p) {
      ddmAndDmp(p);
      if (c.originate)
        p.mutable_originate();
    });
    if (c.abort) {
      EXPECT_TRUE(received("slot=" + std::to_string(slot) + " signal abort " + std::to_string(c.abort)));
    }
    EXPECT_EQ(modemSlot(slot)->pid() > 0, c.abort == 0);
    simple(slot + 1, slot, LGCP::Command::alt_destroy);
    EXPECT_TRUE(received("seq=" + std::to_string(slot + 1) + " slot=" + std::to_string(slot) + " success"));
    modemDev().fail_open(0);
    modemDev().clear_failures();
    slot += 2;
  }
}

// A set-up that fails after the modem was allocated gives the modem back
// and keeps no modem number: the next slot gets that modem, and the
// session's records reach the next slot, not the failed one.
TEST_F(ModemTest, AFailedSetUpLeavesItsModemAndSessionToTheNextSlot) {
  program("/usr/local/sbin/pppd", "exec sleep 30\n");
  using SimBoard::ModemControl;
  struct Case {
    unsigned long request;
    int err;
  } const cases[] = {{ModemControl::Timeslot, EIO}, {ModemControl::SetDdm, EINVAL}};
  int slot = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(slot);
    const std::string failed = std::to_string(slot), next = std::to_string(slot + 1);
    modemDev().fail(c.request, c.err, 1);
    startModem(slot, slot, ddmAndDmp);
    EXPECT_TRUE(received("slot=" + failed + " signal abort " + std::to_string(c.err)));
    EXPECT_EQ(modemSlot(slot)->modem_id(), -1);
    EXPECT_EQ(modemDev().allocated(), 0u);

    startModem(slot + 1, slot + 1, ddmAndDmp);
    EXPECT_THAT(messages(2), ElementsAre("slot=" + next + " signal transmitter active 192",
                                         "slot=" + next + " signal receiver active 192"));
    EXPECT_EQ(modemSlot(slot + 1)->modem_id(), 0);
    Fd peer = client();
    transport_test::send_all(peer.get(), authRequest(0, "u", "p"));
    EXPECT_THAT(messages(1), ElementsAre("slot=" + next + " signal modemProceeding auth u/p"));

    simple(slot, slot, LGCP::Command::alt_destroy);
    simple(slot + 1, slot + 1, LGCP::Command::alt_destroy);
    EXPECT_TRUE(received("seq=" + next + " slot=" + next + " success"));
    slot += 2;
  }
}

TEST_F(ModemTest, DigitalModemsOnHdlcInterfaces) {
  program("/usr/local/sbin/pppd", kRunsOn, kEndsOnHangUp);
  SimBoard::HdlcInterface& hdlc0 = board.interfaces().add("hdlc0", 96);
  board.interfaces().add("hdlc1", 97);
  board.interfaces().add("hdlc2", 98).set_flags(IFF_LOOPBACK | IFF_POINTOPOINT);
  auto digital = [](TERM::ModemParams& p) {
    p.mutable_ddm().push_back(TERM::DigitalDataModeEnum(TERM::DigitalDataModeEnum::ddmV110));
  };
  LGCP::Resources resources;
  modems().Query(resources);
  EXPECT_EQ(resources.get_digital_modems().getValue(), 2);

  startModem(1, 3, digital);
  EXPECT_EQ(modemSlot(3)->IGetTransmitChannel(), 96);
  EXPECT_THAT(argsOf("/usr/local/sbin/pppd"),
              ElementsAre(root.path() + "/usr/local/sbin/pppd", "file", root.path() + "/usr/local/etc/ppp/ioptions",
                          "hdlc0", "remotenumber", "5551234"));
  EXPECT_EQ(hdlc0.protocol(), unsigned(IF_PROTO_PPP));

  // A resources query while hdlc0 is held does not free it again.
  modems().Query(resources);
  EXPECT_EQ(resources.get_digital_modems().getValue(), 1);
  createModem(2, 5, digital);
  createModem(3, 7, digital);
  EXPECT_EQ(messages(2).size(), 2u);
  EXPECT_EQ(static_cast<HdlcModemSlot*>(modemSlot(5))->interface_name(), "hdlc1");
  EXPECT_EQ(std::string(modemSlot(7)->GetName()), "dsp-modem");

  // Destroyed, the interface goes down and back to raw HDLC, and is free.
  hdlc0.set_flags(static_cast<short>(hdlc0.flags() | IFF_UP));
  simple(5, 3, LGCP::Command::alt_destroy);
  EXPECT_TRUE(received("seq=5 slot=3 success"));
  EXPECT_EQ(hdlc0.flags() & IFF_UP, 0);
  EXPECT_EQ(hdlc0.protocol(), unsigned(IF_PROTO_HDLC));
  // With the driver's default encoding and parity.
  EXPECT_EQ(std::vector<int>({hdlc0.encoding(), hdlc0.parity()}), std::vector<int>({0, 0}));
  EXPECT_THAT(modems().free_interfaces(), ElementsAre("hdlc0"));

  // A failing interface request stops the set-up without an abort.
  board.interfaces().find("hdlc1")->fail(SIOCWANDEV, EIO);
  modemSlot(5)->IOnOutputStream();
  EXPECT_EQ(modemSlot(5)->pid(), -1);
  EXPECT_THAT(messages(0), testing::IsEmpty());
}

// Each digital data mode sets its own bit of the DDM request, alone and
// with the others; a mode outside the three sets none, and so does a list
// that is present but empty.
TEST_F(ModemTest, EachDigitalDataModeSetsItsOwnBit) {
  program("/usr/local/sbin/pppd", "exec sleep 30\n");
  using M = TERM::DigitalDataModeEnum;
  struct Case {
    std::vector<M::NamedNumber> modes;
    const char* request;
  } const cases[] = {
      {{M::ddmV110}, "bb16 0 1"},
      {{M::ddm8BIT}, "bb16 0 2"},
      {{M::ddm7BIT}, "bb16 0 4"},
      {{M::ddmV110, M::ddm8BIT}, "bb16 0 3"},
      {{M::ddm8BIT, M::ddm7BIT}, "bb16 0 6"},
      {{M::ddm7BIT, M::ddm8BIT, M::ddmV110}, "bb16 0 7"},
      {{M::ddm8BIT, M::ddm8BIT}, "bb16 0 2"},
      {{M::ddmV120}, "bb16 0 0"},
      {{}, "bb16 0 0"},
  };
  int slot = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(slot);
    board.log().clear();
    startModem(slot, slot, [&](TERM::ModemParams& p) {
      p.mutable_ddm();
      for (M::NamedNumber mode : c.modes)
        p.mutable_ddm().push_back(M(mode));
    });
    EXPECT_EQ(std::string(modemSlot(slot)->GetName()), "dsp-modem");
    Lines requests = trace(board);
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[2], c.request);
    simple(slot + 1, slot, LGCP::Command::alt_destroy);
    EXPECT_TRUE(received("seq=" + std::to_string(slot + 1) + " slot=" + std::to_string(slot) + " success"));
    slot += 2;
  }
}

// A create becomes a digital modem only with at least one data mode and
// an interface free; the interface is then held until the slot goes.
TEST_F(ModemTest, ADigitalModemTakesAModeAndAFreeInterface) {
  board.interfaces().add("hdlc0", 96);
  LGCP::Resources resources;
  modems().Query(resources);
  auto mode = [](TERM::ModemParams& p) {
    p.mutable_ddm().push_back(TERM::DigitalDataModeEnum(TERM::DigitalDataModeEnum::ddm8BIT));
  };
  struct Case {
    const char* name;
    std::function<void(TERM::ModemParams&)> fill;
    bool interfaceFree;
    const char* kind;
  } const cases[] = {
      {"no modes", [](TERM::ModemParams&) {}, true, "dsp-modem"},
      {"an empty list of modes", [](TERM::ModemParams& p) { p.mutable_ddm(); }, true, "dsp-modem"},
      {"one mode", mode, true, "digital-modem"},
      {"one mode, no interface free", mode, false, "dsp-modem"},
  };
  int seq = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.interfaceFree) {
      board.interfaces().remove("hdlc0");
      modems().Query(resources);
    }
    createModem(seq, 3, c.fill);
    EXPECT_THAT(messages(1), ElementsAre("seq=" + std::to_string(seq) + " slot=3 success"));
    EXPECT_EQ(std::string(modemSlot(3)->GetName()), c.kind);
    const bool digital = std::string(c.kind) == "digital-modem";
    EXPECT_EQ(modems().free_interfaces().size(), c.interfaceFree && !digital ? 1u : 0u);
    simple(seq + 1, 3, LGCP::Command::alt_destroy);
    EXPECT_TRUE(received("seq=" + std::to_string(seq + 1) + " slot=3 success"));
    EXPECT_EQ(modems().free_interfaces().size(), c.interfaceFree ? 1u : 0u);
    seq += 2;
  }
}

// The scan takes the point-to-point interfaces that are not loopbacks, in
// name order, and stops at the first name that does not exist.
TEST_F(ModemTest, InterfaceScanStopsAtTheFirstMissingName) {
  struct Interface {
    const char* name;
    short flags;
  } const interfaces[] = {
      {"hdlc0", IFF_POINTOPOINT}, {"hdlc1", 0}, {"hdlc2", IFF_POINTOPOINT | IFF_LOOPBACK},
      {"hdlc3", IFF_POINTOPOINT | IFF_UP}, {"hdlc5", IFF_POINTOPOINT},
  };
  for (const Interface& i : interfaces)
    board.interfaces().add(i.name, 96).set_flags(i.flags);
  LGCP::Resources resources;
  modems().Query(resources);
  EXPECT_THAT(modems().free_interfaces(), ElementsAre("hdlc0", "hdlc3"));
  EXPECT_EQ(resources.get_digital_modems().getValue(), 2);
  EXPECT_THAT(logs.log(), HasSubstr("found point-o-point devices: hdlc0 hdlc3\n"));
  for (const Interface& i : interfaces)
    board.interfaces().remove(i.name);
}

TEST_F(ModemTest, ModemScan) {
  LGCP::Resources resources;
  modems().Query(resources);
  EXPECT_EQ(resources.get_modem().getValue(), 2);
  modemDev().set_endless_enumeration(true);
  modems().Query(resources);
  EXPECT_EQ(resources.get_modem().getValue(), 1024);
  modemDev().fail(SimBoard::ModemControl::Enumerate, EIO, 1);
  modems().Query(resources);
  EXPECT_EQ(resources.get_modem().getValue(), 0);
  EXPECT_THAT(logs.err(), HasSubstr("modem[0,0]: enum fail: Input/output error"));
}

}  // namespace modem_test
