#include "rtp/r2s_proto.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes packed(const r2s_proto& r, size_t size, int* result = nullptr) {
  Bytes out(size, 0xEE);
  int n = r2s_proto_pack(&r, out.data(), out.size());
  if (result)
    *result = n;
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

// Unpacks from a heap copy of exactly the input's length, so that the
// sanitizer catches a read past its end.
int unpack(r2s_proto& r, const Bytes& in, bool rx) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[in.size() + (in.empty() ? 1 : 0)]);
  if (!in.empty())
    std::memcpy(copy.get(), in.data(), in.size());
  std::memset(&r, 0, sizeof r);
  return rx ? r2s_proto_unpack_rx(&r, copy.get(), in.size()) : r2s_proto_unpack_tx(&r, copy.get(), in.size());
}

// An RX record with one feature of each kind and its bytes, worked out by hand.
r2s_proto rxRecord() {
  r2s_proto r;
  r2s_proto_init(&r, R2S_PROTO_TYPE_RX);
  r2s_proto_set_rx_header(&r, 2, 0, 5, 1, 0, 1);
  r2s_proto_add_rx_sqi(&r, 17, 2);
  r2s_proto_rx_additional_rrc shortRrc{{1, 0, 1, 0, 0, 0, 0, 1}, 0, {0, 0}, {0, 0}};
  r2s_proto_add_rx_rrc(&r, shortRrc);
  r2s_proto_rx_additional_rrc longRrc{{0, 1, 0, 0, 0, 0, 0, 0}, 1, {1, 1}, {0x12, 0x34}};
  r2s_proto_add_rx_rrc(&r, longRrc);
  r2s_proto_add_rx_mam(&r, r2s_proto_rx_additional_mam{1, 0x123456, 0, 0x7FFFFF, 0x0102, 0xA0B0, 0xFFFF});
  return r;
}
const Bytes rxBytes = {0x41, 0x69, 0x11, 0x8A, 0x31, 0xA1, 0x34, 0x40, 0xC0, 0x12, 0x34, 0x4C,
                       0x92, 0x34, 0x56, 0x7F, 0xFF, 0xFF, 0x01, 0x02, 0xA0, 0xB0, 0xFF, 0xFF};

r2s_proto txRecord() {
  r2s_proto r;
  r2s_proto_init(&r, R2S_PROTO_TYPE_TX);
  r2s_proto_set_tx_header(&r, 4, 63, 0, 1);
  r2s_proto_add_tx_time_delay(&r, r2s_proto_tx_additional_climax_time_delay{200});
  r2s_proto_add_tx_rrc(&r, r2s_proto_tx_additional_rrc{{0, 0, 0, 0, 0, 0, 1, 1}});
  r2s_proto_add_tx_rrm(&r, r2s_proto_tx_additional_rrm{0, 0x400001});
  return r;
}
const Bytes txBytes = {0x8F, 0xD1, 0x21, 0xC8, 0x31, 0x03, 0x43, 0x40, 0x00, 0x01};

// The header and the features in use, the part of a record that travels.
void expectSameContent(const r2s_proto& a, const r2s_proto& b) {
  EXPECT_EQ(a.type, b.type);
  size_t headerWords = a.type == R2S_PROTO_TYPE_RX ? 6 : 4;
  EXPECT_EQ(0, std::memcmp(&a.rx, &b.rx, headerWords * 4));
  ASSERT_EQ(a.additional_count, b.additional_count);
  for (uint32_t i = 0; i < a.additional_count; ++i)
    EXPECT_EQ(0, std::memcmp(&a.additionals[i], &b.additionals[i], sizeof a.additionals[i])) << "feature " << i;
}

TEST(R2sProto, Packs) {
  r2s_proto r;
  r2s_proto_init(&r, R2S_PROTO_TYPE_RX);
  r2s_proto_set_rx_header(&r, 1, 1, 63, 0, 0, 0);
  EXPECT_EQ(packed(r, 16), (Bytes{0x3F, 0xC0, 0x00, 0x00}));
  r2s_proto_add_rx_sqi(&r, 3, 5);
  EXPECT_EQ(packed(r, 16), (Bytes{0x3F, 0xC1, 0x11, 0x1D}));
  EXPECT_EQ(packed(rxRecord(), 64), rxBytes);
  EXPECT_EQ(packed(txRecord(), 64), txBytes);
  // A kind the direction does not carry takes neither bytes nor room.
  r2s_proto tx = txRecord();
  r2s_proto_add_rx_sqi(&tx, 1, 1);
  EXPECT_EQ(packed(tx, txBytes.size()), txBytes);

  // The room check counts an RX RRC as five bytes whatever its form.
  int result = 0;
  packed(rxRecord(), 26, &result);
  EXPECT_EQ(result, R2S_PROTO_ESHORT);
  EXPECT_EQ(packed(rxRecord(), 27), rxBytes);
  r2s_proto_init(&r, R2S_PROTO_TYPE_RX);
  r2s_proto_add_rx_rrc(&r, r2s_proto_rx_additional_rrc{});
  r.additionals[0].rx_rrc.form = 2;
  packed(r, 64, &result);
  EXPECT_EQ(result, R2S_PROTO_ETYPE);
  uint8_t buf[4];
  r2s_proto_init(&r, R2S_PROTO_TYPE_RX);
  EXPECT_EQ(r2s_proto_pack(&r, buf, 3), R2S_PROTO_ESHORT);  // no room for the two zero bytes
  EXPECT_EQ(r2s_proto_pack(nullptr, buf, 4), R2S_PROTO_ENULL);
  EXPECT_EQ(r2s_proto_pack_tx(&r, nullptr, 4), 0);
  r2s_proto_set_type(&r, 3);
  EXPECT_EQ(r2s_proto_pack(&r, buf, 4), R2S_PROTO_ETYPE);
  // Sixteen features at most, also when the count says more.
  r2s_proto_init(&r, R2S_PROTO_TYPE_TX);
  for (int i = 0; i < 20; ++i)
    r2s_proto_add_tx_time_delay(&r, r2s_proto_tx_additional_climax_time_delay{uint32_t(i)});
  EXPECT_EQ(r.additional_count, 16u);
  r.additional_count = 1000;
  EXPECT_EQ(packed(r, 64).size(), 2u + 16 * 2);
}

TEST(R2sProto, UnpacksVectors) {
  struct Case {
    Bytes in;
    int result;
    uint32_t pttType;
    std::vector<uint32_t> kinds;
  } cases[] = {
      {{0x20, 0x01, 0x21, 0x05}, 0, 1, {R2S_PROTO_TX_CLIMAX_TIME_DELAY}},
      // Type 2 of length 2 is no TX feature: skipped, the RRC after it kept.
      {{0x20, 0x01, 0x22, 0xAA, 0xBB, 0x31, 0x80}, 0, 1, {R2S_PROTO_TX_RRC}},
      {{0x20, 0x01}, 0, 1, {}},
      {{0x20, 0x00, 0x21, 0x05}, 0, 1, {}},  // X clear: what follows is not read
      {{0x20, 0x01, 0x00, 0x00, 0x21, 0x07}, 0, 1, {R2S_PROTO_TX_CLIMAX_TIME_DELAY}},
      {{0x40, 0x01, 0x21}, R2S_PROTO_ESHORT, 2, {}},
      {{0x40, 0x01, 0x21, 0x05, 0x43, 0x00}, R2S_PROTO_ESHORT, 2, {R2S_PROTO_TX_CLIMAX_TIME_DELAY}},
      {{0x20}, R2S_PROTO_ESHORT, 0, {}},
  };
  for (const Case& c : cases) {
    r2s_proto r;
    EXPECT_EQ(unpack(r, c.in, false), c.result) << c.in.size();
    EXPECT_EQ(r.tx.ptt_type, c.pttType);
    ASSERT_EQ(r.additional_count, c.kinds.size());
    for (size_t i = 0; i < c.kinds.size(); ++i)
      EXPECT_EQ(r.additionals[i].kind, c.kinds[i]);
  }
  r2s_proto r;
  unpack(r, {0x20, 0x01, 0x21, 0x05}, false);
  EXPECT_EQ(r.type, R2S_PROTO_TYPE_TX);
  EXPECT_EQ(r.additionals[0].tx_time_delay.value, 5u);
  unpack(r, {0x20, 0x01, 0x22, 0xAA, 0xBB, 0x31, 0x80}, false);
  EXPECT_EQ(r.additionals[0].tx_rrc.flags[0], 1u);

  // The seventeenth feature is not read.
  Bytes many = {0x20, 0x01};
  for (uint8_t i = 0; i < 17; ++i)
    many.insert(many.end(), {0x21, i});
  EXPECT_EQ(unpack(r, many, false), 0);
  EXPECT_EQ(r.additional_count, 16u);
  EXPECT_EQ(r.additionals[15].tx_time_delay.value, 15u);

  EXPECT_EQ(r2s_proto_unpack_tx(nullptr, many.data(), many.size()), R2S_PROTO_ENULL);
  EXPECT_EQ(r2s_proto_unpack_rx(&r, nullptr, 4), R2S_PROTO_ENULL);
}

TEST(R2sProto, EveryFeatureRoundTripsBothWays) {
  for (bool rx : {true, false}) {
    const r2s_proto original = rx ? rxRecord() : txRecord();
    const Bytes bytes = rx ? rxBytes : txBytes;
    r2s_proto back;
    ASSERT_EQ(unpack(back, bytes, rx), 0);
    expectSameContent(original, back);
    EXPECT_EQ(packed(back, 64), bytes);
  }
}

TEST(R2sProto, SourceCompare) {
  r2s_proto a, b;
  r2s_proto_init(&a, R2S_PROTO_TYPE_TX);
  a.source_ssrc = 7;
  a.source_addr = 100;
  b = a;
  r2s_proto_set_tx_header(&b, 3, 3, 1, 1);  // the content does not count
  EXPECT_EQ(cmp_r2s_proto_source(&a, &b), 0);
  b.source_addr = 101;
  EXPECT_EQ(cmp_r2s_proto_source(&a, &b), 1);
  b.source_ssrc = 5;
  EXPECT_EQ(cmp_r2s_proto_source(&a, &b), -2);
  r2s_proto_set_type(&b, R2S_PROTO_TYPE_RX);
  EXPECT_EQ(cmp_r2s_proto_source(&a, &b), 1);
  EXPECT_EQ(cmp_r2s_proto_source(&a, nullptr), -1);
}

TEST(R2sProto, HostileInputStaysInsideTheBuffers) {
  std::mt19937 random(16);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 20000; ++i) {
    Bytes in(static_cast<size_t>(i % 40));
    for (uint8_t& b : in)
      b = static_cast<uint8_t>(byte(random));
    if (in.size() > 1 && i % 2)
      in[1] |= 1;  // features follow
    for (bool rx : {true, false}) {
      r2s_proto r;
      int rc = unpack(r, in, rx);
      ASSERT_TRUE(rc == 0 || rc == R2S_PROTO_ESHORT) << rc;
      ASSERT_LE(r.additional_count, 16u);
      Bytes out(static_cast<size_t>(i % 64) + 1);
      std::unique_ptr<uint8_t[]> buf(new uint8_t[out.size()]);
      int n = r2s_proto_pack(&r, buf.get(), out.size());
      ASSERT_LE(n, static_cast<int>(out.size()));
    }
  }
}

}  // namespace
