#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "foundation/device_io.h"
#include "simboard/board.h"
#include "simboard/dsp.h"
#include "simboard/dtmf.h"
#include "simboard/e1_cas.h"
#include "simboard/maintenance.h"
#include "tests/support/test_clock.h"

using namespace SimBoard;

namespace {

int request(int fd, unsigned long number, Bytes& arg) { return DevIo::ioctl(fd, number, arg.data()); }

Bytes read_record(int fd) {
  Bytes buf(64);
  ssize_t n = DevIo::read(fd, buf.data(), buf.size());
  buf.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return buf;
}

}  // namespace

TEST(SimMaintenance, StatusRecordTclkAndClockSource) {
  Board board;
  Maintenance& m = board.maintenance();
  m.status(2) = Maintenance::TrunkStatus{3, 7, 1, 2, 4, 5};
  int fd = DevIo::open("/dev/maintenance", O_RDWR | O_NONBLOCK);
  Bytes record(80, 0);
  record[3] = 2;
  ASSERT_EQ(request(fd, Maintenance::Status, record), 0);
  EXPECT_EQ(be32(&record[0]), 2u);
  EXPECT_EQ(record[4], Maintenance::Filler);
  EXPECT_EQ(record[75], Maintenance::Filler);
  EXPECT_EQ(be32(&record[36]), 7u);
  EXPECT_EQ(be32(&record[40]), 1u);
  EXPECT_EQ(be32(&record[44]), 2u);
  EXPECT_EQ(be32(&record[48]), 4u);
  EXPECT_EQ(be32(&record[52]), 5u);
  EXPECT_EQ(be32(&record[76]), 3u);
  record[3] = 4;
  EXPECT_EQ(request(fd, Maintenance::Status, record), -1);
  EXPECT_EQ(errno, EINVAL);

  EXPECT_EQ(DevIo::ioctl_value(fd, Maintenance::SetTclk, 0x8), 0);
  EXPECT_EQ(m.tclk_mask(), 0x8u);
  EXPECT_EQ(DevIo::ioctl(fd, Maintenance::SetTclk, &record[0]), -1);  // a pointer is refused
  EXPECT_EQ(errno, EFAULT);
  EXPECT_EQ(m.tclk_writes(), 1);
  EXPECT_EQ(m.clock_source(), -1);
  EXPECT_EQ(DevIo::ioctl_value(fd, Maintenance::SelectSource, 3), 0);
  EXPECT_EQ(m.clock_source(), 3);
  ::close(fd);
}

TEST(SimE1Cas, TrunksChannelsAndLineChanges) {
  Board board;
  E1Cas& cas = board.e1cas();
  int fd = DevIo::open("/dev/e1-cas", O_RDWR | O_NONBLOCK);
  Bytes control = RecordBuilder().u32(1).u32(5).u8(0).u8(9).zeros(2).u32(0);
  EXPECT_EQ(request(fd, E1Cas::Channel, control), -1);  // CAS not open on the trunk
  EXPECT_EQ(errno, ENXIO);
  EXPECT_EQ(DevIo::ioctl_value(fd, E1Cas::OpenTrunk, 4), -1);
  EXPECT_EQ(DevIo::ioctl_value(fd, E1Cas::OpenTrunk, 1), 0);
  EXPECT_TRUE(cas.trunk_open(1));
  ASSERT_EQ(request(fd, E1Cas::Channel, control), 0);
  EXPECT_TRUE(cas.slot(1, 5).enabled);
  EXPECT_EQ(cas.slot(1, 5).tx, 9);

  EXPECT_EQ(cas.line_change(1, 5, 0xd), 1u);
  EXPECT_EQ(as_hex(read_record(fd)), "00 00 00 01 00 00 00 05 0d 09 00 00");
  Bytes get = RecordBuilder().u32(1).u32(5).u8(0).u8(0).zeros(2);
  ASSERT_EQ(request(fd, E1Cas::ReadChannel, get), 0);
  EXPECT_EQ(get[8], 0xd);
  EXPECT_EQ(get[9], 9);

  Bytes disable = RecordBuilder().u32(1).u32(5).u8(0).u8(0).zeros(2).u32(1);
  ASSERT_EQ(request(fd, E1Cas::Channel, disable), 0);
  EXPECT_FALSE(cas.slot(1, 5).enabled);
  EXPECT_EQ(DevIo::ioctl_value(fd, E1Cas::CloseTrunk, 1), 0);
  EXPECT_EQ(DevIo::ioctl_value(fd, E1Cas::CloseTrunk, 1), -1);
  EXPECT_FALSE(cas.trunk_open(1));
  ::close(fd);
}

TEST(SimDsp, FeaturesVersionAndEventRecords) {
  Board board;
  Dsp& dsp = board.dsp();
  int fd = DevIo::open("/dev/dsp", O_RDWR | O_NONBLOCK);
  dsp.set_version(2);
  EXPECT_EQ(DevIo::ioctl(fd, Dsp::Version, nullptr), 2);
  Bytes enable = words({40, 7, Dsp::Vad | Dsp::Bss});
  ASSERT_EQ(request(fd, Dsp::Enable, enable), 0);
  EXPECT_EQ(dsp.features(40), uint32_t(Dsp::Vad | Dsp::Bss));
  EXPECT_EQ(dsp.last_id(40), 7u);
  Bytes disable = words({40, 0, Dsp::Bss});
  ASSERT_EQ(request(fd, Dsp::Disable, disable), 0);
  EXPECT_EQ(dsp.features(40), uint32_t(Dsp::Vad));
  Bytes configure = RecordBuilder().u32(40).u32(Dsp::Vad | Dsp::Sd).zeros(12);
  EXPECT_EQ(request(fd, Dsp::Configure, configure), -1);

  EXPECT_EQ(dsp.vad(40, 7, 2, 5, -1), 1u);
  EXPECT_EQ(as_hex(read_record(fd)), "00 00 00 28 00 00 00 07 00 00 00 01 00 00 00 02 00 00 00 05 ff ff ff ff");
  dsp.bss(40, 7, 1.5f);
  EXPECT_EQ(as_hex(read_record(fd)), "00 00 00 28 00 00 00 07 00 00 00 10 3f c0 00 00 00 00 00 00 00 00 00 00");
  dsp.flags(40, 7, 0x11, 0x33);
  EXPECT_EQ(as_hex(read_record(fd)), "00 00 00 28 00 00 00 07 00 00 02 00 00 00 00 11 00 00 00 33 00 00 00 00");
  ::close(fd);
}

TEST(SimDtmf, GeneratorHistoryDetectorsAndEvents) {
  Board board;
  testing_support::TestClock clock(5000);
  Dtmf& dtmf = board.dtmf();
  int fd = DevIo::open("/dev/dtmf", O_RDONLY | O_NONBLOCK);
  Bytes dial = RecordBuilder().u32(9).u16(1425).u16(0).u16(2048).u16(2048);
  ASSERT_EQ(request(fd, Dtmf::Dial, dial), 0);
  clock.advance(70);
  Bytes off = RecordBuilder().u32(9).zeros(8);
  ASSERT_EQ(request(fd, Dtmf::Dial, off), 0);
  const auto& tones = dtmf.channel(9).tones;
  ASSERT_EQ(tones.size(), 2u);
  EXPECT_EQ(tones[0].freq1, 1425);
  EXPECT_EQ(tones[0].amp2, 2048);
  EXPECT_EQ(tones[1].at - tones[0].at, 70u);
  EXPECT_TRUE(tones[1].off());

  Bytes enable = words({9, 3});
  ASSERT_EQ(request(fd, Dtmf::EnableDetector, enable), 0);
  EXPECT_TRUE(dtmf.channel(9).dtmf);
  EXPECT_EQ(dtmf.channel(9).id, 3u);
  EXPECT_EQ(DevIo::ioctl_value(fd, Dtmf::DisableDetector, 9), 0);
  EXPECT_FALSE(dtmf.channel(9).dtmf);
  EXPECT_EQ(DevIo::ioctl_value(fd, Dtmf::IvaOn, 9), 0);
  EXPECT_EQ(DevIo::ioctl_value(fd, Dtmf::LmsOn, 9), 0);
  EXPECT_TRUE(dtmf.channel(9).iva);
  EXPECT_TRUE(dtmf.channel(9).lms);
  EXPECT_FALSE(dtmf.channel(9).reject);
  Bytes selcal = RecordBuilder().u32(9).u16(12000).text("ABCD").zeros(2);
  ASSERT_EQ(request(fd, Dtmf::SelcalDial, selcal), 0);
  EXPECT_EQ(dtmf.channel(9).selcals, std::vector<std::string>{"ABCD"});

  EXPECT_EQ(dtmf.event(5, 9, 1234, 3), 1u);
  EXPECT_EQ(as_hex(read_record(fd)), "00 00 00 05 00 00 00 09 00 00 04 d2 00 00 00 03");
  ::close(fd);
}
