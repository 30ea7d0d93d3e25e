// The channel slot kinds end to end: created by a controller in
// nodalsrv-sim, connected to a trunk time slot (seen in the simulated
// switch), carrying traffic where the kind carries any, and destroyed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "messages/TERM/TERM.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/sim_e2e.h"

using testing_support::exchange;
using testing_support::readFile;
using testing_support::SimDaemon;
using testing_support::TestController;
using transport_test::listener;
using transport_test::local_port;
using Lines = std::vector<std::string>;

namespace {

class SlotsE2E : public testing_support::SimE2E {
protected:
  // A trunk slot on E1 trunk 0, its answer and stream signals taken.
  void trunk(int seq, int slot, unsigned timeslot) {
    SimE2E::trunk(seq, slot, timeslot);
    ASSERT_EQ(exchange(ctl, 3).size(), 3u);
  }
  void mcc(int seq, int slot, LGCP::MccType::NamedNumber type) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::MccParams& m = p.select_mcc();
      m.set_type(type);
      m.set_mode(LGCP::MccMode::standard);
    });
  }
  // Messages until one is the line (that one last), trunk status left out.
  Lines until(const std::string& line) {
    Lines lines;
    for (int i = 0; i < testing_support::SimWait / 10 && (lines.empty() || lines.back() != line); ++i) {
      ctl.wait(1, 10);
      for (std::string& l : ctl.drain())
        if (l != "signal trunkStatus" && (lines.empty() || lines.back() != line))
          lines.push_back(l);
    }
    return lines;
  }
};

TEST_F(SlotsE2E, MapExtAndEcho) {
  trunk(1, 1, 5);
  create(2, 2, [](LGCP::CreateParams& p) {
    LGCP::MapParams& m = p.select_map();
    m.mutable_transmitter().set_bus(0);
    m.mutable_transmitter().set_channel(1);
    m.mutable_receiver().set_bus(0);
    m.mutable_receiver().set_channel(2);
  });
  EXPECT_EQ(exchange(ctl, 3), (Lines{"seq=2 slot=2 success", "slot=2 signal receiver active 8194",
                                     "slot=2 signal transmitter active 8193"}));
  connect(3, 1, 2);
  connect(4, 2, 1);
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=3 slot=1 success", "seq=4 slot=2 success"}));
  EXPECT_TRUE(switched("8194 connected 5"));
  EXPECT_TRUE(switched("5 connected 8193"));

  create(5, 3, [](LGCP::CreateParams& p) {
    LGCP::ExtParams& e = p.select_ext();
    e.set_transmitter(3);
    e.set_receiver(4);
  });
  ctl.command(6, 3, [](LGCP::Command& c) { c.select_activate().select_empty(); });
  connect(7, 1, 3);
  EXPECT_EQ(exchange(ctl, 5).back(), "seq=7 slot=1 success");
  EXPECT_TRUE(switched("8196 connected 5"));

  create(8, 4, [](LGCP::CreateParams& p) { p.select_echo().set_bus(0); });
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=8 slot=4 error insufficientResources"}));
  destroyAll(9, {2, 3});
  EXPECT_TRUE(switched("8194 disabled"));
  EXPECT_TRUE(switched("8196 disabled"));
}

// MCC channels carry frames to one another through the simulated switch.
TEST_F(SlotsE2E, MccData) {
  trunk(1, 1, 9);
  mcc(2, 2, LGCP::MccType::data);
  mcc(3, 3, LGCP::MccType::data);
  connect(4, 2, 1);
  connect(5, 2, 3);
  Lines connected = exchange(ctl, 6);
  ASSERT_EQ(connected.size(), 6u);
  std::string ts2 = connected[2].substr(connected[2].rfind(' ') + 1);
  std::string ts3 = connected[4].substr(connected[4].rfind(' ') + 1);
  EXPECT_TRUE(switched("9 connected " + ts2));
  EXPECT_TRUE(switched(ts3 + " connected " + ts2));
  userData(6, 2, {'h', 'i'});
  EXPECT_EQ(exchange(ctl, 2, true), (Lines{"seq=6 slot=2 success", "slot=3 signal userData hi"}));
  destroyAll(7, {2, 3});
}

// Players and a recorder, with an MCC data slot as the far end of their
// channels and TCP servers of the test as their peers.
TEST_F(SlotsE2E, VoicePlayersAndRecorder) {
  std::ofstream(d.root + "/usr/local/voice/hello") << "hello";
  Fd recordServer = listener(), playServer = listener();
  trunk(1, 1, 11);
  mcc(2, 2, LGCP::MccType::transparent);
  create(3, 3, [](LGCP::CreateParams& p) {
    LGCP::PlayerParams_file& f = p.select_voice().select_player().select_file();
    f.mutable_name().push_back(ASN1::IA5String("hello"));
    f.set_repeat(2);
  });
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=2 slot=2 success", "seq=3 slot=3 success"}));

  // The file, twice, into the MCC slot's channel (the first time before
  // the switch connects them, so only the second arrives); then the player
  // ends.
  connect(4, 3, 2);
  Lines played = exchange(ctl, 6, true);
  for (const char* line : {"slot=2 signal userData hello", "slot=3 signal abort 0"})
    EXPECT_NE(std::find(played.begin(), played.end(), line), played.end()) << line;

  // What the MCC slot sends reaches the recorder's server.
  create(5, 4, [&](LGCP::CreateParams& p) {
    TERM::HostAddress& h = p.select_voice().select_record();
    h.set_iaddr("127.0.0.1");
    h.set_port(local_port(recordServer.get()));
  });
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=5 slot=4 success", "slot=4 signal receiver active 258"}));
  connect(6, 2, 4);
  EXPECT_EQ(exchange(ctl, 2).back(), "seq=6 slot=2 success");
  Fd recording(accept(recordServer.get(), nullptr, nullptr));
  userData(7, 2, {'r', 'e', 'c'});
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=7 slot=2 success"}));
  EXPECT_EQ(transport_test::read_n(recording.get(), 3), "rec");

  // The recorder moves to the trunk.
  connect(8, 1, 4);
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=8 slot=1 success"}));
  EXPECT_TRUE(switched("258 connected 11"));

  // A network player on the trunk, and from its server into the MCC slot.
  create(9, 5, [&](LGCP::CreateParams& p) {
    LGCP::PlayerParams_network& n = p.select_voice().select_player().select_network();
    n.mutable_host().set_iaddr("127.0.0.1");
    n.mutable_host().set_port(local_port(playServer.get()));
    n.set_id(7);
  });
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=9 slot=5 success"}));
  connect(10, 5, 1);
  Fd playing(accept(playServer.get(), nullptr, nullptr));
  EXPECT_EQ(transport_test::read_n(playing.get(), 4), std::string("\0\0\0\7", 4));
  EXPECT_EQ(exchange(ctl, 3, true), (Lines{"slot=5 signal transmitter active 259", "seq=10 slot=5 success",
                                           "slot=5 signal ioctl startPlaying"}));
  EXPECT_TRUE(switched("11 connected 259"));
  connect(11, 5, 2);
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=11 slot=5 success"}));
  transport_test::send_all(playing.get(), "net");
  EXPECT_EQ(exchange(ctl, 1, true), (Lines{"slot=2 signal userData net"}));
  destroyAll(12, {3, 4, 5, 2});
}

// The T.38 program's stand-in notes its command line and keeps what its
// channel brings; an MCC data slot feeds the channel through the switch.
TEST_F(SlotsE2E, T38) {
  trunk(1, 1, 13);
  create(2, 2, [](LGCP::CreateParams& p) {
    LGCP::T38Soft& t = p.select_t38soft();
    t.mutable_dhost().set_iaddr("10.0.0.1");
    t.mutable_dhost().set_port(4000);
    t.mutable_shost().set_port(5000);
    t.set_rx_packet_size(160);
    t.mutable_args().push_back(ASN1::IA5String("--fax"));
  });
  Lines created = exchange(ctl, 3);
  ASSERT_EQ(created.size(), 3u);
  std::string ts = created[1].substr(created[1].rfind(' ') + 1);
  EXPECT_TRUE(d.eventually("/sim/programs", "t38 --child --remote 10.0.0.1/4000/5000 --fax\n"));
  connect(3, 2, 1);
  mcc(4, 3, LGCP::MccType::transparent);
  connect(5, 3, 2);
  EXPECT_EQ(exchange(ctl, 4).back(), "seq=5 slot=3 success");
  EXPECT_TRUE(switched("13 connected " + ts));
  userData(6, 3, {'f', 'a', 'x'});
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=6 slot=3 success"}));
  EXPECT_TRUE(d.eventually("/sim/t38.in", "fax"));
  destroyAll(7, {2, 3});
}

TEST_F(SlotsE2E, ConferenceMixer) {
  auto mixerIn = [&](LGCP::CreateParams& p) {
    LGCP::MixerInParams& in = p.select_mixerIn();
    in.set_unit(1);
    in.mutable_channel().select_tdm().setValue(3);
    in.mutable_summator().select_tdm().setValue(5);
  };
  create(1, 1, mixerIn);  // no unit is known before a resources query
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=1 slot=1 error insufficientResources"}));
  ctl.command(2, -1, [](LGCP::Command& c) { c.select_query(); });
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=2 success", "signal query"}));

  trunk(3, 3, 7);
  create(4, 1, mixerIn);
  create(5, 2, [](LGCP::CreateParams& p) {
    LGCP::MixerOutParams& out = p.select_mixerOut();
    out.set_unit(1);
    out.mutable_channel().select_tdm().setValue(5);
  });
  connect(6, 3, 1);
  connect(7, 2, 3);
  EXPECT_EQ(exchange(ctl, 6), (Lines{"seq=4 slot=1 success", "seq=5 slot=2 success",
                                     "slot=1 signal receiver active 1155", "seq=6 slot=3 success",
                                     "slot=2 signal transmitter active 1157", "seq=7 slot=2 success"}));
  EXPECT_TRUE(switched("1155 connected 7"));
  EXPECT_TRUE(switched("7 connected 1157"));
  destroyAll(8, {1, 2});
  EXPECT_TRUE(switched("1155 disabled"));
  EXPECT_TRUE(switched("1157 disabled"));
}

// In place of the stand-in: a PPP daemon that asks the relay to
// authenticate "alice" for its modem (session -1 on an interface), keeps
// the records it gets back in "pppd.records" and ends when hung up, or
// when the relay closes before the records have come.
void writeTestPppd(const std::string& root) {
  const std::string path = root + "/usr/local/sbin/pppd";
  std::ofstream(path) << "#!/usr/bin/env python3\n"
                         "import os, signal, socket, struct, sys\n"
                         "signal.signal(signal.SIGHUP, lambda *a: sys.exit(0))\n"
                         "tty = sys.argv[3]\n"
                         "modem = int(tty[8:]) if tty.startswith('/dev/mdm') else 0xffffffff\n"
                         "s = socket.create_connection(('127.0.0.1', int(os.environ['NODALSRV_SIM_AUTH_PORT'])))\n"
                         "s.sendall(struct.pack('=III64s64s', 140, 1, modem, b'alice', b'secret'))\n"
                         "data = b''\n"
                         "while len(data) < 52:\n"
                         "    more = s.recv(64)\n"
                         "    if not more:\n"
                         "        sys.exit(1)\n"
                         "    data += more\n"
                         "open(sys.argv[0] + '.records', 'wb').write(data)\n"
                         "while True:\n"
                         "    signal.pause()\n";
  chmod(path.c_str(), 0755);
}

TEST_F(SlotsE2E, ModemsWithTheAuthenticationRelay) {
  writeTestPppd(d.root);
  trunk(2, 21, 1);
  create(1, 20, [](LGCP::CreateParams& p) { p.select_modem().set_cid("5551234"); });
  connect(3, 20, 21);
  // Modem 0 on time slot 192 answers; its PPP daemon asks for alice.
  Lines lines = until("slot=20 signal modemProceeding");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "slot=20 signal transmitter active 192"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "seq=3 slot=20 success"), lines.end());
  EXPECT_TRUE(switched("1 connected 192"));
  ctl.command(4, 20, [](LGCP::Command& c) {
    TERM::ModemUserParameters& m = c.select_activate().select_modem();
    m.set_remoteAddr("10.0.0.2");
    m.set_netmask("255.255.255.255");
    m.set_gateway("10.0.0.1");
    m.set_dns("10.0.0.53");
    m.set_mtu(1500);
  });
  EXPECT_EQ(until("seq=4 slot=20 success").back(), "seq=4 slot=20 success");
  ASSERT_TRUE(d.eventually("/usr/local/sbin/pppd.records", std::string("\x10\0\0\0\x02\0\0\0", 8)));
  std::string records = readFile(d.root + "/usr/local/sbin/pppd.records");
  ASSERT_EQ(records.size(), 52u);
  uint32_t w[13];
  memcpy(w, records.data(), sizeof w);
  EXPECT_EQ(std::vector<uint32_t>(w, w + 13),
            (std::vector<uint32_t>{16, 2, 0, 1, 36, 3, 0, 0, inet_addr("10.0.0.2"), inet_addr("255.255.255.255"),
                                   inet_addr("10.0.0.1"), inet_addr("10.0.0.53"), 1500}));
  destroy(5, 20);
  EXPECT_EQ(until("seq=5 slot=20 success").back(), "seq=5 slot=20 success");
  EXPECT_TRUE(d.eventually(".err", "20:dsp-modem: pppd terminated with code 0\n"));

  // A digital modem takes hdlc0 and runs the PPP daemon on it.
  create(6, 22, [](LGCP::CreateParams& p) {
    p.select_modem().mutable_ddm().push_back(TERM::DigitalDataModeEnum(TERM::DigitalDataModeEnum::ddm8BIT));
  });
  connect(7, 22, 21);
  lines = until("slot=22 signal modemProceeding");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "seq=7 slot=22 success"), lines.end());
  EXPECT_TRUE(d.eventually(".err", "22:digital-modem: pppd executed cid=\"\" pid="));
  destroy(8, 22);
  EXPECT_EQ(until("seq=8 slot=22 success").back(), "seq=8 slot=22 success");
}

}  // namespace
