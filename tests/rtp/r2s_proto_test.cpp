// The ED-137 header-extension codec: the wire vectors, a round trip of
// every feature kind both ways, the room and type checks, and hostile
// input under the sanitizers.
#include "rtp/r2s_proto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The bytes packed into a buffer of `size`, or the error code alone.
Bytes packed(const r2s_proto& r, size_t size) {
  Bytes out(size, 0xEE);
  const int n = r2s_proto_pack(&r, out.data(), out.size());
  return n > 0 ? Bytes(out.begin(), out.begin() + n) : Bytes{static_cast<uint8_t>(n)};
}

// Unpacks from a heap copy of exactly the input's length, so that the
// sanitizer catches a read past its end.
int unpack(r2s_proto& r, const Bytes& in, bool rx) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[in.empty() ? 1 : in.size()]);
  std::copy(in.begin(), in.end(), copy.get());
  std::memset(&r, 0, sizeof r);
  return rx ? r2s_proto_unpack_rx(&r, copy.get(), in.size()) : r2s_proto_unpack_tx(&r, copy.get(), in.size());
}

// An RX record with one feature of each kind and its bytes, worked out by hand.
r2s_proto rxRecord() {
  r2s_proto r;
  r2s_proto_init(&r, R2S_PROTO_TYPE_RX);
  r2s_proto_set_rx_header(&r, 2, 0, 5, 1, 0, 1);
  r2s_proto_add_rx_sqi(&r, 17, 2);
  r2s_proto_add_rx_rrc(&r, r2s_proto_rx_additional_rrc{{1, 0, 1, 0, 0, 0, 0, 1}, 0, {0, 0}, {0, 0}});
  r2s_proto_add_rx_rrc(&r, r2s_proto_rx_additional_rrc{{0, 1, 0, 0, 0, 0, 0, 0}, 1, {1, 1}, {0x12, 0x34}});
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

TEST(R2sProto, Packs) {
  r2s_proto r;
  r2s_proto_init(&r, R2S_PROTO_TYPE_RX);
  r2s_proto_set_rx_header(&r, 1, 1, 63, 0, 0, 0);
  EXPECT_EQ(packed(r, 16), (Bytes{0x3F, 0xC0, 0x00, 0x00}));
  EXPECT_EQ(packed(r, 3), Bytes{uint8_t(R2S_PROTO_ESHORT)});  // no room for the two zero bytes
  r2s_proto_add_rx_sqi(&r, 3, 5);
  EXPECT_EQ(packed(r, 16), (Bytes{0x3F, 0xC1, 0x11, 0x1D}));
  // The room check counts an RX RRC as five bytes whatever its form.
  EXPECT_EQ(packed(rxRecord(), 26), Bytes{uint8_t(R2S_PROTO_ESHORT)});
  EXPECT_EQ(packed(rxRecord(), 27), rxBytes);
  // Fields wider than their place are cut to it, the PTT id to six bits.
  r2s_proto_init(&r, R2S_PROTO_TYPE_RX);
  r2s_proto_set_rx_header(&r, 9, 3, 0x41, 2, 2, 2);
  EXPECT_EQ(packed(r, 4), (Bytes{0x30, 0x40, 0x00, 0x00}));
  r2s_proto_set_rx_header(&r, 1, 0, 0x41, 0, 0, 0);
  EXPECT_EQ(packed(r, 4), (Bytes{0x20, 0x40, 0x00, 0x00}));
  r2s_proto_set_tx_header(&r, 0, 0xFF, 0, 0);
  EXPECT_EQ(packed(r, 4), (Bytes{0x0F, 0xC0, 0x00, 0x00}));
  // A kind the direction does not carry takes neither bytes nor room.
  r2s_proto tx = txRecord();
  r2s_proto_add_rx_sqi(&tx, 1, 1);
  EXPECT_EQ(packed(tx, txBytes.size()), txBytes);
  // The squelch and SCT places stay 0 in TX, whatever the record's unused words hold.
  tx = txRecord();
  tx.tx.unused[0] = tx.tx.unused[1] = 1;
  EXPECT_EQ(packed(tx, 64), txBytes);

  r2s_proto_init(&r, R2S_PROTO_TYPE_RX);
  r2s_proto_add_rx_rrc(&r, r2s_proto_rx_additional_rrc{});
  r.additionals[0].rx_rrc.form = 2;
  EXPECT_EQ(packed(r, 64), Bytes{uint8_t(R2S_PROTO_ETYPE)});
  r2s_proto_set_type(&r, 3);
  EXPECT_EQ(packed(r, 64), Bytes{uint8_t(R2S_PROTO_ETYPE)});
  uint8_t buf[4];
  EXPECT_EQ(r2s_proto_pack(nullptr, buf, 4), R2S_PROTO_ENULL);
  EXPECT_EQ(r2s_proto_pack_tx(&r, nullptr, 4), 0);
  // Sixteen features at most, also when the count says more.
  r2s_proto_init(&r, R2S_PROTO_TYPE_TX);
  for (int i = 0; i < 20; ++i)
    r2s_proto_add_tx_time_delay(&r, r2s_proto_tx_additional_climax_time_delay{uint32_t(i)});
  EXPECT_EQ(r.additional_count, 16u);
  r.additional_count = 1000;
  EXPECT_EQ(packed(r, 64).size(), 2u + 16 * 2);
}

TEST(R2sProto, UnpacksVectors) {
  const struct {
    Bytes in;
    int result;
    uint32_t pttType;
    std::vector<uint32_t> kinds;
  } cases[] = {
      {{0x20, 0x01, 0x21, 0x05}, 0, 1, {R2S_PROTO_TX_CLIMAX_TIME_DELAY}},
      // Type 2 of length 2 is no TX feature: skipped, the RRC after it kept.
      {{0x20, 0x01, 0x22, 0xAA, 0xBB, 0x31, 0x80}, 0, 1, {R2S_PROTO_TX_RRC}},
      {{0x20, 0x00, 0x21, 0x05}, 0, 1, {}},  // X clear: what follows is not read
      {{0x20, 0x01, 0x00, 0x00, 0x21, 0x07}, 0, 1, {R2S_PROTO_TX_CLIMAX_TIME_DELAY}},
      // Cut short: -9 with the header and the features before the cut kept.
      {{0x40, 0x01, 0x21, 0x05, 0x43, 0x00}, R2S_PROTO_ESHORT, 2, {R2S_PROTO_TX_CLIMAX_TIME_DELAY}},
      {{0x20}, R2S_PROTO_ESHORT, 0, {}},
  };
  for (const auto& c : cases) {
    r2s_proto r;
    EXPECT_EQ(unpack(r, c.in, false), c.result) << c.in.size();
    EXPECT_EQ(r.tx.ptt_type, c.pttType);
    ASSERT_EQ(r.additional_count, c.kinds.size());
    for (size_t i = 0; i < c.kinds.size(); ++i)
      EXPECT_EQ(r.additionals[i].kind, c.kinds[i]);
  }
  // The seventeenth feature is not read.
  Bytes many = {0x20, 0x01};
  for (uint8_t i = 0; i < 17; ++i)
    many.insert(many.end(), {0x21, i});
  r2s_proto r;
  EXPECT_EQ(unpack(r, many, false), 0);
  EXPECT_EQ(r.additional_count, 16u);
  EXPECT_EQ(r.additionals[15].tx_time_delay.value, 15u);
  // Padding and skipped features take none of the sixteen places.
  Bytes skipped = {0x20, 0x01, 0x00, 0x22, 0xAA, 0xBB, 0x00};
  skipped.insert(skipped.end(), many.begin() + 2, many.end());
  EXPECT_EQ(unpack(r, skipped, false), 0);
  ASSERT_EQ(r.additional_count, 16u);
  EXPECT_EQ(r.additionals[0].tx_time_delay.value, 0u);
  EXPECT_EQ(r.additionals[15].tx_time_delay.value, 15u);
  EXPECT_EQ(r2s_proto_unpack_tx(nullptr, many.data(), many.size()), R2S_PROTO_ENULL);
  EXPECT_EQ(r2s_proto_unpack_rx(&r, nullptr, 4), R2S_PROTO_ENULL);
}

// The header and every feature in use come back as they were packed.
TEST(R2sProto, EveryFeatureRoundTripsBothWays) {
  for (bool rx : {true, false}) {
    const r2s_proto original = rx ? rxRecord() : txRecord();
    const Bytes& bytes = rx ? rxBytes : txBytes;
    EXPECT_EQ(packed(original, 64), bytes);
    r2s_proto back;
    ASSERT_EQ(unpack(back, bytes, rx), 0);
    EXPECT_EQ(back.type, original.type);
    EXPECT_EQ(0, std::memcmp(&back.rx, &original.rx, (rx ? 6 : 4) * 4));
    ASSERT_EQ(back.additional_count, original.additional_count);
    for (uint32_t i = 0; i < back.additional_count; ++i)
      EXPECT_EQ(0, std::memcmp(&back.additionals[i], &original.additionals[i], sizeof back.additionals[i])) << i;
  }
}

// Every cut of the whole vectors keeps the header and the features that
// end before the cut; a cut inside a feature is too short.
TEST(R2sProto, CutsKeepTheWholeFeaturesBeforeThem) {
  const struct {
    bool rx;
    const Bytes& bytes;
    std::vector<size_t> ends;  // where each feature ends
    uint32_t pttId;
  } vectors[] = {{true, rxBytes, {4, 6, 11, 24}, 5}, {false, txBytes, {4, 6, 10}, 63}};
  for (const auto& v : vectors) {
    for (size_t n = 0; n < v.bytes.size(); ++n) {
      r2s_proto r;
      const int rc = unpack(r, Bytes(v.bytes.begin(), v.bytes.begin() + static_cast<long>(n)), v.rx);
      const size_t whole =
          static_cast<size_t>(std::count_if(v.ends.begin(), v.ends.end(), [&](size_t e) { return e <= n; }));
      const bool atEnd = n == 2 || std::count(v.ends.begin(), v.ends.end(), n) == 1;
      EXPECT_EQ(rc, atEnd ? 0 : R2S_PROTO_ESHORT) << n;
      EXPECT_EQ(r.additional_count, whole) << n;
      if (n >= 2) {
        EXPECT_EQ(v.rx ? r.rx.ptt_id : r.tx.ptt_id, v.pttId) << n;
      }
    }
  }
}

TEST(R2sProto, HostileInputStaysInsideTheBuffers) {
  std::mt19937 random(16);
  for (int i = 0; i < 20000; ++i) {
    Bytes in(static_cast<size_t>(i % 40));
    for (uint8_t& b : in)
      b = static_cast<uint8_t>(random());
    if (in.size() > 1 && i % 2)
      in[1] |= 1;  // features follow
    for (bool rx : {true, false}) {
      r2s_proto r;
      const int rc = unpack(r, in, rx);
      ASSERT_TRUE(rc == 0 || rc == R2S_PROTO_ESHORT) << rc;
      ASSERT_LE(r.additional_count, 16u);
      const size_t size = static_cast<size_t>(i % 64) + 1;
      std::unique_ptr<uint8_t[]> buf(new uint8_t[size]);
      ASSERT_LE(r2s_proto_pack(&r, buf.get(), size), static_cast<int>(size));
    }
  }
}

}  // namespace
