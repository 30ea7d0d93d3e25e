#pragma once
// Connections between slots: the output of a source to the input of a
// receiver. A receiver has at most one source, a source any number of
// receivers. Each connection has a logical half (the links in the slots,
// with the stream announcements) and a hardware half, taken by the side
// with the higher connection priority; by default a path through the TDM
// switch from the source's transmit channel to the receiver's receive channel.
class Slot;

// Joins the two; true at once when they already are.
bool Connect(Slot& source, Slot& receiver);
// Parts a receiver from its source; true when it had none. The logical link
// goes even when the hardware step fails.
bool Disconnect(Slot& receiver);

// The hardware halves, taken by the side with the higher priority: on a tie
// the receiver connects and the source disconnects.
bool llConnect(Slot& source, Slot& receiver);
bool llDisconnect(Slot& receiver);

// The default hardware steps through the TDM switch.
bool MuxConnect(Slot& source, Slot& receiver);
bool MuxDisconnect(Slot& receiver);
