// DSP modem set-up as request traces on the simulated "/dev/mctl", the
// HDLC modem path on simulated interfaces, and the resource scan.
#include <gmock/gmock.h>

#include <linux/if.h>
#include <linux/sockios.h>

#include "tests/slots/modem_fixture.h"

using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;

namespace modem_test {

namespace {

// "bb16 0 5": the request number and the words of its argument; "!errno"
// after a failed one.
std::vector<std::string> trace(const SimBoard::Board& board, const std::string& device = "/dev/mctl") {
  std::vector<std::string> lines;
  for (const SimBoard::LoggedRequest& e : board.log().on(device)) {
    std::ostringstream line;
    line << std::hex << e.number << std::dec;
    for (size_t at = 0; at + 4 <= e.in.size(); at += 4)
      line << ' ' << static_cast<int32_t>(e.word(at));
    if (e.result < 0)
      line << " !" << e.error;
    lines.push_back(line.str());
  }
  return lines;
}

}  // namespace

TEST_F(ModemTest, DspSetUpRequestsAndPppdCommandLine) {
  program("/usr/local/sbin/pppd", "exec sleep 30\n");
  program("/usr/local/sbin/ppp2", "exec sleep 30\n");
  const std::string r = root.path();
  struct Case {
    std::function<void(TERM::ModemParams&)> fill;
    std::vector<std::string> requests;
    const char* program;
    std::vector<std::string> args;
  } cases[] = {
      {[](TERM::ModemParams&) {},
       {"bb0b", "bb15", "bb3a 0 -1", "bb03 0 -1"},
       "/usr/local/sbin/pppd",
       {r + "/usr/local/sbin/pppd", "file", r + "/usr/local/etc/ppp/aoptions", "/dev/mdm0", "remotenumber",
        "5551234"}},
      {[](TERM::ModemParams& p) {
         p.set_cid("");
         p.mutable_originate();
         for (auto mode : {TERM::DigitalDataModeEnum::ddmV110, TERM::DigitalDataModeEnum::ddm7BIT,
                           TERM::DigitalDataModeEnum::ddmV120})
           p.mutable_ddm().push_back(TERM::DigitalDataModeEnum(mode));
         TERM::DDModemParam param;
         param.set_offset(1);
         param.set_value(2);
         p.mutable_dmp().push_back(param);
         param.set_offset(7);
         param.set_value(-3);
         p.mutable_dmp().push_back(param);
       },
       {"bb0b", "bb15", "bb16 0 5", "bb3a 0 -1", "bb38 0 1 2", "bb38 0 7 -3", "bb04 0 -1"},
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
  };
  int seq = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(seq);
    board.log().clear();
    std::remove((r + c.program + ".args").c_str());
    createModem(seq, 3, c.fill);
    EXPECT_THAT(messages(6), ElementsAre("seq=" + std::to_string(seq) + " slot=3 success",
                                         "seq=" + std::to_string(seq + 100) + " slot=4 success",
                                         "slot=3 signal transmitter active 192", "slot=3 signal receiver active 192",
                                         "slot=4 signal receiver active 8200",
                                         "seq=" + std::to_string(seq + 200) + " slot=3 success"));
    EXPECT_THAT(argsOf(c.program), ElementsAreArray(c.args));
    EXPECT_THAT(trace(board), ElementsAreArray(c.requests));
    EXPECT_THAT(logs.log(), HasSubstr("03:dsp-modem: pppd executed cid=\"" + modemSlot(3)->params().get_cid().getValue() +
                                      "\" pid=" + std::to_string(modemSlot(3)->pid())));
    // A later stream request does nothing.
    EXPECT_TRUE(modemSlot(3)->IOnInputStream());
    EXPECT_EQ(trace(board).size(), c.requests.size());
    simple(seq + 300, 3, LGCP::Command::alt_destroy);
    simple(seq + 301, 4, LGCP::Command::alt_destroy);
    EXPECT_TRUE(received("seq=" + std::to_string(seq + 300) + " slot=3 success"));
    seq += 1000;
  }
}

TEST_F(ModemTest, SetUpFailures) {
  program("/usr/local/sbin/pppd", "exec sleep 30\n");
  using SimBoard::ModemControl;
  struct Case {
    std::function<void(SimBoard::ModemControl&)> fail;
    bool originate;
    const char* message;
    int abort;  // 0: the set-up goes on
  } cases[] = {
      {[](ModemControl& m) { m.fail_open(ENOENT); }, false, "fail to open device: No such file or directory", ENOENT},
      {[](ModemControl& m) { m.fail(ModemControl::Allocate, EAGAIN); }, false, "insufficient resources : ", EAGAIN},
      {[](ModemControl& m) { m.fail(ModemControl::Timeslot, EIO); }, false, "get timeslot fail : ", EIO},
      {[](ModemControl& m) { m.fail(ModemControl::SetDdm, EINVAL); }, false, "set DDM failed : ", EINVAL},
      {[](ModemControl& m) { m.fail(ModemControl::Answer, EBUSY); }, false, "answer failed : ", EBUSY},
      {[](ModemControl& m) { m.fail(ModemControl::Originate, EPERM); }, true, "originate failed : ", EPERM},
      {[](ModemControl& m) { m.fail(ModemControl::ResetDmp, EIO); }, false, "reset dmp parameters failed : ", 0},
      {[](ModemControl& m) { m.fail(ModemControl::SetDmp, EIO, 1); }, false,
       "set dmp parameter index=4 value=9 failed : Input/output error", 0},
  };
  int slot = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    c.fail(modemDev());
    logs.clear();
    createModem(slot, slot, [&](TERM::ModemParams& p) {
      p.mutable_ddm().push_back(TERM::DigitalDataModeEnum(TERM::DigitalDataModeEnum::ddm8BIT));
      TERM::DDModemParam param;
      param.set_offset(4);
      param.set_value(9);
      p.mutable_dmp().push_back(param);
      if (c.originate)
        p.mutable_originate();
    }, false);
    messages(1);
    modemSlot(slot)->IOnOutputStream();
    if (c.abort) {
      EXPECT_TRUE(received("slot=" + std::to_string(slot) + " signal abort " + std::to_string(c.abort)));
      EXPECT_EQ(modemSlot(slot)->pid(), -1);
    }
    else {
      EXPECT_EQ(messages(2).size(), 2u);  // both streams, then the PPP daemon runs
      EXPECT_GT(modemSlot(slot)->pid(), 0);
    }
    EXPECT_THAT(logs.err(), HasSubstr(c.message));
    simple(slot + 1, slot, LGCP::Command::alt_destroy);
    EXPECT_TRUE(received("seq=" + std::to_string(slot + 1) + " slot=" + std::to_string(slot) + " success"));
    modemDev().fail_open(0);
    modemDev().clear_failures();
    slot += 2;
  }
}

TEST_F(ModemTest, DigitalModemsOnHdlcInterfaces) {
  program("/usr/local/sbin/pppd", "trap 'exit 0' HUP\nwhile :; do sleep 1 & wait $!; done\n");
  SimBoard::HdlcInterface& hdlc0 = board.hdlc().add("hdlc0", 96);
  board.hdlc().add("hdlc1", 97);
  board.hdlc().add("hdlc2", 98).set_flags(IFF_LOOPBACK | IFF_POINTOPOINT);
  auto digital = [](TERM::ModemParams& p) {
    p.mutable_ddm().push_back(TERM::DigitalDataModeEnum(TERM::DigitalDataModeEnum::ddmV110));
  };
  LGCP::Resources resources;
  modems().Query(resources);
  EXPECT_EQ(resources.get_digital_modems().getValue(), 2);
  EXPECT_THAT(logs.log(), HasSubstr("modem[2,0]: found point-o-point devices: hdlc0 hdlc1\n"));

  createModem(1, 3, digital, false);
  messages(1);
  board.log().clear();
  ASSERT_TRUE(modemSlot(3)->IOnOutputStream());
  EXPECT_EQ(modemSlot(3)->IGetTransmitChannel(), 96);
  EXPECT_EQ(std::string(modemSlot(3)->GetName()), "digital-modem");
  EXPECT_THAT(argsOf("/usr/local/sbin/pppd"),
              ElementsAre(root.path() + "/usr/local/sbin/pppd", "file", root.path() + "/usr/local/etc/ppp/ioptions",
                          "hdlc0", "remotenumber", "5551234"));
  EXPECT_EQ(hdlc0.protocol(), unsigned(IF_PROTO_PPP));

  // A resources query while hdlc0 is held does not free it again.
  modems().Query(resources);
  EXPECT_EQ(resources.get_digital_modems().getValue(), 1);
  EXPECT_THAT(modems().free_interfaces(), ElementsAre("hdlc1"));
  createModem(2, 5, digital, false);
  createModem(3, 7, digital, false);
  EXPECT_EQ(messages(2).size(), 2u);
  EXPECT_EQ(static_cast<HdlcModemSlot*>(modemSlot(5))->interface_name(), "hdlc1");
  EXPECT_EQ(std::string(modemSlot(7)->GetName()), "dsp-modem");

  // Its records go to session -1.
  ctl.command(4, 3, [](LGCP::Command& c) { c.select_activate().select_modem(); });
  EXPECT_THAT(messages(1), ElementsAre("seq=4 slot=3 success"));
  EXPECT_THAT(logs.log(), HasSubstr("send error: unknown auth -1 session."));

  // Destroyed, the interface goes down and back to raw HDLC, and is free.
  hdlc0.set_flags(static_cast<short>(hdlc0.flags() | IFF_UP));
  simple(5, 3, LGCP::Command::alt_destroy);
  EXPECT_TRUE(received("seq=5 slot=3 success"));
  EXPECT_EQ(hdlc0.flags() & IFF_UP, 0);
  EXPECT_EQ(hdlc0.protocol(), unsigned(IF_PROTO_HDLC));
  std::vector<SimBoard::LoggedRequest> last = board.log().on("hdlc0");
  ASSERT_FALSE(last.empty());
  EXPECT_EQ(last.back().value, unsigned(IF_PROTO_HDLC));
  EXPECT_EQ(last.back().in, (SimBoard::Bytes{0, 0, 0, 0}));
  EXPECT_THAT(modems().free_interfaces(), ElementsAre("hdlc0"));

  // A failing interface request stops the set-up without an abort.
  board.hdlc().find("hdlc1")->fail(SIOCWANDEV, EIO);
  EXPECT_TRUE(modemSlot(5)->IOnOutputStream());
  EXPECT_THAT(logs.err(), HasSubstr("05:digital-modem: SIOCWANDEV/IF_GET_IFACE fail!"));
  EXPECT_EQ(modemSlot(5)->pid(), -1);
  simple(6, 5, LGCP::Command::alt_destroy);
  EXPECT_TRUE(received("seq=6 slot=5 success"));
  EXPECT_THAT(logs.err(), HasSubstr("05:digital-modem: SIOCWANDEV/IF_PROTO_HDLC fail!"));
}

TEST_F(ModemTest, ModemScan) {
  LGCP::Resources resources;
  modems().Query(resources);
  EXPECT_EQ(resources.get_modem().getValue(), 2);
  modemDev().set_endless_enumeration(true);
  modems().Query(resources);
  EXPECT_EQ(modems().modem_count(), 1024u);
  modemDev().fail(SimBoard::ModemControl::Enumerate, EIO, 1);
  modems().Query(resources);
  EXPECT_EQ(resources.get_modem().getValue(), 0);
  EXPECT_THAT(logs.err(), HasSubstr("modem[0,0]: enum fail: Input/output error"));
  modemDev().fail_open(EACCES);
  modems().Query(resources);
  EXPECT_THAT(logs.err(), HasSubstr("fail to open \"/dev/mctl\" : Permission denied"));
}

}  // namespace modem_test
