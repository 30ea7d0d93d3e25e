// Packed payloads read back by tshark's ED-137 dissector: each goes out as
// the header extension (profile 0x0167) of an RTP packet.
#include "rtp/r2s_proto.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/external_tools.h"

namespace {

using namespace testing_support;

std::string rtpPacket(const r2s_proto& r) {
  uint8_t ext[64];
  int n = r2s_proto_pack(&r, ext, sizeof ext);
  EXPECT_GT(n, 0);
  size_t words = (static_cast<size_t>(n) + 3) / 4;
  std::string p = {'\x90', '\x08', 0, 1, 0, 0, 0, '\xA0', '\x11', '\x22', '\x33', '\x44', 0x01, 0x67, 0,
                   static_cast<char>(words)};
  p.append(reinterpret_cast<const char*>(ext), static_cast<size_t>(n));
  p.append(words * 4 - static_cast<size_t>(n), '\0');
  return p + std::string(160, '\xD5');
}

TEST(R2sProtoPeers, TsharkReadsWhatWasPacked) {
  if (!have_program("tshark") || !have_program("text2pcap"))
    GTEST_SKIP() << "tshark or text2pcap is not installed";
  std::vector<r2s_proto> records(6);
  r2s_proto_init(&records[0], R2S_PROTO_TYPE_RX);  // the first keep-alive: every field 0
  r2s_proto_set_rx_header(&records[1], 1, 1, 63, 0, 1, 1);
  r2s_proto_add_rx_sqi(&records[1], 17, 2);  // quality index 17 measured by C/N
  r2s_proto_init(&records[2], R2S_PROTO_TYPE_TX);
  r2s_proto_set_tx_header(&records[2], 3, 9, 1, 0);
  r2s_proto_add_tx_time_delay(&records[2], r2s_proto_tx_additional_climax_time_delay{5});
  r2s_proto_init(&records[3], R2S_PROTO_TYPE_TX);
  r2s_proto_set_tx_header(&records[3], 1, 0, 0, 0);
  r2s_proto_add_tx_rrc(&records[3], r2s_proto_tx_additional_rrc{{1, 0, 1, 0, 0, 1, 0, 1}});
  r2s_proto_init(&records[4], R2S_PROTO_TYPE_TX);
  r2s_proto_add_tx_rrm(&records[4], r2s_proto_tx_additional_rrm{1, 0x400001});
  r2s_proto_init(&records[5], R2S_PROTO_TYPE_RX);
  r2s_proto_add_rx_mam(&records[5], r2s_proto_rx_additional_mam{1, 0x123456, 0, 0x7FFFFF, 258, 41136, 65535});

  ScratchDir dir("r2s");
  std::string text;
  for (const r2s_proto& r : records) {
    std::string packet = rtpPacket(r);
    text += text2pcap_input(packet, packet.size());
  }
  std::ofstream(dir.path() + "/in.txt") << text;
  const char* fields[] = {"ed137a.ptt_type", "ed137a.squ", "ed137a.ptt_id", "ed137a.pm", "ed137a.ptts",
                          "ed137a.sct", "ed137a.x", "ed137a.ft.type", "ed137a.ft.sqi.qidx",
                          "ed137a.ft.sqi.qidx-ml", "ed137a.ft.climax_delay.relative_value",
                          "ed137b.ft.rrc.mstxf1", "ed137b.ft.rrc.msrxf1", "ed137b.ft.rrc.mstxf2",
                          "ed137b.ft.rrc.msrxf2", "ed137b.ft.rrc.seltxf1", "ed137b.ft.rrc.seltxf2",
                          "ed137b.ft.rrc.murxf1", "ed137b.ft.rrc.murxf2", "ed137b.ft.climax_ddc.rmm_tqv",
                          "ed137b.ft.climax_ddc.rmm_t1", "ed137b.ft.climax_ddc.mam_tqg",
                          "ed137b.ft.climax_ddc.mam_t1", "ed137b.ft.climax_ddc.mam_nmr",
                          "ed137b.ft.climax_ddc.mam_t2", "ed137b.ft.climax_ddc.mam_tsd",
                          "ed137b.ft.climax_ddc.mam_tj1", "ed137b.ft.climax_ddc.mam_tid", nullptr};
  std::string command = "text2pcap -q -u 40000,40002 " + dir.path() + "/in.txt " + dir.path() +
                        "/out.pcap >/dev/null 2>&1 && tshark -r " + dir.path() +
                        "/out.pcap -d udp.port==40002,rtp -T fields -E separator='|'";
  for (const char** f = fields; *f; ++f)
    command += std::string(" -e rtp.ext.") + *f;
  const std::string seen = command_output(command + " -e _ws.malformed 2>/dev/null");
  EXPECT_EQ(seen,
            // type|squ|id|mute|sum|sct|x|feature|qidx|method|delay|eight RRC flags|RRM|MAM|malformed
            "0|0|0|0|0|0|0||||||||||||||||||||||\n"
            "1|1|63|0|1|1|1|0x01|17|2|||||||||||||||||||\n"
            "3|0|9|1|0|0|1|0x02|||5||||||||||||||||||\n"
            "1|0|0|0|0|0|1|0x03||||1|0|1|0|0|1|0|1||||||||||\n"
            "0|0|0|0|0|0|1|0x04||||||||||||1|4194305||||||||\n"
            "0|0|0|0|0|0|1|0x04||||||||||||||1|1193046|0|8388607|258|41136|65535|\n");
}

}  // namespace
