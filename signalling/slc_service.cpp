// SS7 link control in service: the basic error correction method.
// Acknowledgements release the retransmission buffer (RTB), a negative one
// moves what it holds back to the front of the transmission buffer (TB),
// and the TB pump sends while fewer than 127 MSUs are unacknowledged.
#include <iostream>

#include "foundation/ext.h"
#include "signalling/slc.h"

namespace SS7 {

void SLC::enter_service() {
  if (!tb_.empty()) {
    std::cerr << ext::header(this) << "discard " << tb_.count() << " msu in TB" << std::endl;
    tb_.clear();
  }
  reset();
  fisu();
  process_tb();
  on_activate();
}

void SLC::take_expected() {
  expectedBSN = BSNT;
  expectedBIB = static_cast<unsigned char>(BIBT);
  expectedFIB = static_cast<unsigned char>(FIBT);
}

void SLC::log_fields(const char* text) const {
  std::clog << ext::header(this) << text << " BSN=" << unsigned(BSNR) << " BIB=" << BIBR << " FSN=" << unsigned(FSNR)
            << " FIB=" << FIBR << std::endl;
}

void SLC::service_fisu() {
  take_expected();
  if (FIBR == expectedBIB) {
    nackPending_ = badFIB_ = false;
    if (process_bsnr() && FSNR != expectedBSN)
      nack();
    return;
  }
  unexpected_fib();
}

void SLC::service_msu(Packet& msu) {
  take_expected();
  if (FSNR == expectedBSN) {
    if (log_.msu_processing)
      std::clog << ext::header(this) << "discard msu due to 5.2.2/i Q.702" << " fsnr=" << unsigned(FSNR)
                << " fsnx=" << unsigned(expectedBSN) << std::endl;
    return;
  }
  if (FIBR != expectedBIB) {
    unexpected_fib();
    return;
  }
  nackPending_ = badFIB_ = false;
  if (!process_bsnr())
    return;
  if (FSNR != expectedBSN + Seq128(1)) {
    if (log_.msu_processing)
      std::clog << ext::header(this) << "discard msu due to 5.2.2/ii Q.702" << " fsnr=" << unsigned(FSNR)
                << " fsnx=" << unsigned(expectedBSN) << std::endl;
    nack();
    return;
  }
  BSNT = FSNR;
  if (log_.msu_processing)
    std::clog << ext::header(this) << "ack!" << std::endl;
  fisu();
  if (log_.mtp_receive)
    std::clog << ext::header(this) << " mtp rx " << ext::OutBufInHex(msu.data(), msu.length()) << std::endl;
  on_message(msu);
}

// A FISU or MSU whose FIB is not the BIB we sent: while our negative
// acknowledgement waits for its retransmission only the BSN counts; else
// the first one is let pass and the second fails the link.
bool SLC::unexpected_fib() {
  if (nackPending_)
    return process_bsnr();
  if (badFIB_) {
    if (log_.msu_processing)
      log_fields("bad start of a retransmission: ");
    to_idle();
    return false;
  }
  badFIB_ = true;
  return true;
}

// False when the link failed.
bool SLC::process_bsnr() {
  Seq128 last = rtbFirst_ - Seq128(1);  // the last FSN acknowledged
  if (Seq128(BSNR - last) > Seq128(rtbLast_ - last)) {
    if (!badBSN_) {
      badBSN_ = true;
      return true;
    }
    if (log_.msu_processing)
      log_fields("bad su acknowledgement received: ");
    to_idle();
    return false;
  }
  badBSN_ = false;
  bool acknowledged = BSNR + Seq128(1) != rtbFirst_;
  if (acknowledged)
    start(T7, nullptr);
  while (rtbFirst_ != BSNR + Seq128(1)) {
    rtb_[rtbFirst_] = Packet();
    --rtbCount_;
    ++rtbFirst_;
  }
  if (rtbCount_ == 0)
    stop_timer();
  if (BIBR != expectedFIB)
    retransmit();
  else if (acknowledged && !tb_.empty())
    process_tb();  // the window has opened
  return true;
}

void SLC::nack() {
  BIBT ^= 1;
  nackPending_ = true;
  fisu();
  ++stats_.nacks;
  if (log_.msu_processing)
    std::clog << ext::header(this) << "nack!" << std::endl;
}

void SLC::retransmit() {
  if (log_.msu_processing)
    std::clog << ext::header(this) << "retransmit" << " rtb=" << rtbCount_ << std::endl;
  ++stats_.retransmissions;
  FSNT = rtbFirst_ - Seq128(1);
  FIBT = BIBR;
  for (; rtbCount_ > 0; --rtbCount_, --rtbLast_) {
    tb_.append(rtb_[rtbLast_]);
    rtb_[rtbLast_] = Packet();
  }
  rtbLast_ = rtbFirst_ - Seq128(1);
  process_tb();
}

void SLC::put_to_tb(Packet& msu) {
  if (tb_.count() >= TBLimit) {
    ++stats_.overflows;
    std::cerr << ext::header(this) << "no space in TB buffer," << " TB=" << tb_.count() << " RTB=" << rtbCount_
              << " ignoring msu: " << msu.text() << std::endl;
  } else {
    tb_.put(msu);
  }
  process_tb();
}

void SLC::process_tb() {
  if (tb_.empty()) {
    fisu();
    return;
  }
  Packet msu;
  while (rtbCount_ <= 126 && tb_.preview(&msu)) {
    FSNT = rtbLast_ + Seq128(1);
    if (!send(msu)) {
      // Not sent: FISUs go on carrying the FSN of the last MSU that was.
      FSNT = rtbLast_;
      return;
    }
    tb_.get(nullptr);
    rtbLast_ = FSNT;
    rtb_[rtbLast_] = msu;
    if (++rtbCount_ == 1)
      start(T7, nullptr);
  }
}

}  // namespace SS7
