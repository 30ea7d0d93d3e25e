// Info records of the test types, laid down by hand the way generated modules lay
// them down; vectors/TestTypes.asn holds the same types in ASN.1.
#pragma once

#include <functional>

#include "asn1/asn1.h"

namespace TestTypes {

using ASN1::AbstractData;
typedef const AbstractData::InfoType* Rec;
inline Rec const Nul = &ASN1::Null::theInfo;

inline const ASN1::INTEGER::InfoType IntRange256 = {{&ASN1::INTEGER::create, 2}, ASN1::FixedConstraint, 0, 256};
inline const ASN1::INTEGER::InfoType IntRange65536 = {{&ASN1::INTEGER::create, 2}, ASN1::FixedConstraint, 0, 65536};
inline const ASN1::INTEGER::InfoType IntExt = {{&ASN1::INTEGER::create, 2}, ASN1::ExtendableConstraint, 0, 7};
typedef ASN1::Constrained_INTEGER<2, 0, 1u> IntRange1;
typedef ASN1::Constrained_INTEGER<2, 0, 7u> IntRange7;
typedef ASN1::Constrained_INTEGER<2, 0, 255u> IntRange255;
typedef ASN1::Constrained_INTEGER<2, 0, 1023u> IntRange1023;
typedef ASN1::Constrained_INTEGER<2, 0, 65535u> IntRange65535;
typedef ASN1::Constrained_INTEGER<2, 0, 4294967295u> IntRangeMax;
typedef ASN1::Constrained_INTEGER<2, -128, 127u> IntSigned;
typedef ASN1::Constrained_INTEGER<2, 112000, 399975u> IntOffset;
typedef ASN1::Constrained_INTEGER<2, 1, 3u> IntFrom1;

inline const char* const ColorNames[] = {"red", "green", "blue"};
inline const ASN1::ENUMERATED::InfoType Color = {{&ASN1::ENUMERATED::create, 10}, false, 2, ColorNames, 3};
inline const ASN1::ENUMERATED::InfoType ColorExt = {{&ASN1::ENUMERATED::create, 10}, true, 2, ColorNames, 3};
// Explicit values with a gap, a repeat and a negative value.
inline const char* const GappedNames[] = {"not-use=-1", "zero", "cs1=8", "nine", "again=8"};
inline const ASN1::ENUMERATED::InfoType Gapped = {{&ASN1::ENUMERATED::create, 10}, false, 9, GappedNames, 5};

inline const ASN1::AbstractString::InfoType ShortText = {
    {{&ASN1::AbstractString::create, 22}, ASN1::FixedConstraint, 1, 64}, ASN1::IA5StringSet, 128, 7, 7, 8};
inline const ASN1::AbstractString::InfoType PairText = {
    {{&ASN1::AbstractString::create, 22}, ASN1::FixedConstraint, 0, 2}, ASN1::IA5StringSet, 128, 7, 7, 8};

typedef ASN1::SEQUENCE_OF<ASN1::INTEGER> Ints;
inline const ASN1::SEQUENCE_OF_Base::InfoType Colors = {
    {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::Unconstrained, 0, 0xffffffffu}, &Color};

// Empty ::= SEQUENCE { }
inline const ASN1::SEQUENCE::InfoType Empty = {
    {&ASN1::SEQUENCE::create, 16}, false, nullptr, nullptr, 0, 0, 0, nullptr, nullptr, nullptr};

// Alt15 ::= CHOICE { a0 .. a14, ... } with a3 Empty and the rest NULL.
inline Rec const Alt15Infos[] = {Nul, Nul, Nul, &Empty, Nul, Nul, Nul, Nul, Nul, Nul, Nul, Nul, Nul, Nul, Nul};
inline const char* const Alt15Names[] = {"a0", "a1", "a2",  "a3",  "a4",  "a5",  "a6", "a7",
                                         "a8", "a9", "a10", "a11", "a12", "a13", "a14"};
inline const ASN1::CHOICE::InfoType Alt15 = {{&ASN1::CHOICE::create, 0}, true, Alt15Infos, 15, 15, nullptr,
                                             Alt15Names};

// Worked ::= SEQUENCE { a INTEGER OPTIONAL, b BOOLEAN OPTIONAL, c Alt15 }
inline Rec const WorkedInfos[] = {&ASN1::INTEGER::theInfo, &ASN1::BOOLEAN::theInfo, &Alt15};
inline const int WorkedIds[] = {0, 1, -1};
inline const char* const WorkedNames[] = {"a", "b", "c"};
inline const ASN1::SEQUENCE::InfoType Worked = {
    {&ASN1::SEQUENCE::create, 16}, false, WorkedInfos, WorkedIds, 3, 0, 2, nullptr, nullptr, WorkedNames};

// Single ::= CHOICE { only IntRange7 }
inline Rec const SingleInfos[] = {&IntRange7::theInfo};
inline const char* const SingleNames[] = {"only"};
inline const ASN1::CHOICE::InfoType Single = {{&ASN1::CHOICE::create, 0}, false, SingleInfos, 1, 1, nullptr,
                                              SingleNames};

// Ext ::= SEQUENCE { id IntRange255, note IA5String OPTIONAL, ..., flag BOOLEAN OPTIONAL, extra NULL OPTIONAL }
inline Rec const ExtInfos[] = {&IntRange255::theInfo, &ASN1::IA5String::theInfo, &ASN1::BOOLEAN::theInfo,
                               &ASN1::Null::theInfo};
inline const int ExtIds[] = {-1, 0, 0, 0};
inline const char* const ExtNames[] = {"id", "note", "flag", "extra"};
inline const ASN1::SEQUENCE::InfoType Ext = {
    {&ASN1::SEQUENCE::create, 16}, true, ExtInfos, ExtIds, 2, 2, 1, nullptr, nullptr, ExtNames};
// The same type as a peer that knows no extension additions sees it.
inline const ASN1::SEQUENCE::InfoType ExtRootOnly = {
    {&ASN1::SEQUENCE::create, 16}, true, ExtInfos, ExtIds, 2, 0, 1, nullptr, nullptr, ExtNames};

// ChoiceExt ::= CHOICE { num INTEGER, text IA5String, ..., flag BOOLEAN, none NULL }
inline Rec const ChoiceExtInfos[] = {&ASN1::INTEGER::theInfo, &ASN1::IA5String::theInfo, &ASN1::BOOLEAN::theInfo,
                                     &ASN1::Null::theInfo};
inline const char* const ChoiceExtNames[] = {"num", "text", "flag", "none"};
inline const ASN1::CHOICE::InfoType ChoiceExt = {{&ASN1::CHOICE::create, 0}, true, ChoiceExtInfos, 2, 4, nullptr,
                                                 ChoiceExtNames};
inline const ASN1::CHOICE::InfoType ChoiceExtRootOnly = {{&ASN1::CHOICE::create, 0}, true, ChoiceExtInfos, 2, 2,
                                                         nullptr, ChoiceExtNames};

// The cut-down controller message.
inline const char* const ErrorCauseNames[] = {"e0", "e1", "e2", "e3", "unexpectedMsgType",
                                              "e5", "e6", "e7", "e8", "e9"};
inline const ASN1::ENUMERATED::InfoType ErrorCause = {{&ASN1::ENUMERATED::create, 10}, true, 9, ErrorCauseNames, 10};

inline Rec const ResponseInfos[] = {Nul, &ErrorCause};
inline const char* const ResponseNames[] = {"success", "error"};
inline const ASN1::CHOICE::InfoType Response = {{&ASN1::CHOICE::create, 0}, false, ResponseInfos, 2, 2, nullptr,
                                                ResponseNames};

inline Rec const TrunkInfos[] = {&ASN1::INTEGER::theInfo, &ASN1::INTEGER::theInfo};
inline const int TrunkIds[] = {-1, -1};
inline const char* const TrunkNames[] = {"trunk", "timeslot"};
inline const ASN1::SEQUENCE::InfoType Trunk = {
    {&ASN1::SEQUENCE::create, 16}, false, TrunkInfos, TrunkIds, 2, 0, 0, nullptr, nullptr, TrunkNames};

inline Rec const CreateParamsInfos[] = {Nul, &Trunk, Nul, Nul, Nul, Nul, Nul, Nul, Nul, Nul,
                                        Nul, Nul,    Nul, Nul, Nul, Nul, Nul, Nul, Nul, Nul};
inline const char* const CreateParamsNames[] = {"p0",  "trunk", "p2",  "p3",  "p4",  "p5",  "p6",
                                                "p7",  "p8",    "p9",  "p10", "p11", "p12", "p13",
                                                "p14", "p15",   "p16", "p17", "p18", "p19"};
inline const ASN1::CHOICE::InfoType CreateParams = {{&ASN1::CHOICE::create, 0}, true, CreateParamsInfos, 20, 20,
                                                    nullptr, CreateParamsNames};

enum { CommandQuery = 0, CommandCreate = 1, CommandUserData = 11, CommandPing = 12 };
inline Rec const CommandInfos[] = {Nul, &CreateParams, Nul, Nul, Nul, Nul, Nul, Nul,
                                   Nul, Nul, Nul, &ASN1::OCTET_STRING::theInfo, Nul, Nul, Nul};
inline const char* const CommandNames[] = {"query", "create", "c2", "c3",       "c4",   "c5",  "c6", "c7",
                                           "c8",    "c9",     "c10", "userData", "ping", "c13", "c14"};
inline const ASN1::CHOICE::InfoType Command = {{&ASN1::CHOICE::create, 0}, true, CommandInfos, 15, 15, nullptr,
                                               CommandNames};

enum { PduCommand = 0, PduResponse = 1, PduSignal = 2 };
inline Rec const PduInfos[] = {&Command, &Response, Nul};
inline const char* const PduNames[] = {"command", "response", "signal"};
inline const ASN1::CHOICE::InfoType Pdu = {{&ASN1::CHOICE::create, 0}, false, PduInfos, 3, 3, nullptr, PduNames};

enum { MessageSeq = 0, MessageSlot = 1, MessagePdu = 2 };
inline Rec const MessageInfos[] = {&ASN1::INTEGER::theInfo, &IntRange1023::theInfo, &Pdu};
inline const int MessageIds[] = {0, 1, -1};
inline const char* const MessageNames[] = {"seq", "slot", "pdu"};
inline const ASN1::SEQUENCE::InfoType Message = {
    {&ASN1::SEQUENCE::create, 16}, false, MessageInfos, MessageIds, 3, 0, 2, nullptr, nullptr, MessageNames};

// Entry and Report: a larger message.
typedef ASN1::SEQUENCE_OF<IntRange255> Codes;
inline Rec const EntryInfos[] = {&ASN1::IA5String::theInfo, &Color,   &IntRange65535::theInfo,
                                 &ASN1::INTEGER::theInfo,   &Codes::theInfo, &ASN1::OCTET_STRING::theInfo};
inline const int EntryIds[] = {-1, -1, -1, -1, -1, 0};
inline const char* const EntryNames[] = {"name", "kind", "count", "total", "codes", "label"};
inline const ASN1::SEQUENCE::InfoType Entry = {
    {&ASN1::SEQUENCE::create, 16}, false, EntryInfos, EntryIds, 6, 0, 1, nullptr, nullptr, EntryNames};
inline const ASN1::SEQUENCE_OF_Base::InfoType Entries = {
    {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::Unconstrained, 0, 0xffffffffu}, &Entry};

inline Rec const ReportInfos[] = {&IntRangeMax::theInfo, &Entries};
inline const int ReportIds[] = {-1, -1};
inline const char* const ReportNames[] = {"serial", "entries"};
inline const ASN1::SEQUENCE::InfoType Report = {
    {&ASN1::SEQUENCE::create, 16}, true, ReportInfos, ReportIds, 2, 0, 0, nullptr, nullptr, ReportNames};

// Inner ::= CHOICE { x [0] INTEGER, y [1] NULL }, Outer ::= CHOICE { inner Inner,
// z [5] BOOLEAN }, Tagged ::= SEQUENCE { d Outer, n [3] INTEGER }: tags tables,
// with 0 for the untagged CHOICEs.
inline Rec const InnerInfos[] = {&ASN1::INTEGER::theInfo, Nul};
inline const unsigned InnerTags[] = {0x800000, 0x800001};
inline const char* const InnerNames[] = {"x", "y"};
inline const ASN1::CHOICE::InfoType Inner = {{&ASN1::CHOICE::create, 0}, false, InnerInfos, 2, 2, InnerTags,
                                             InnerNames};
inline Rec const OuterInfos[] = {&Inner, &ASN1::BOOLEAN::theInfo};
inline const unsigned OuterTags[] = {0, 0x800005};
inline const char* const OuterNames[] = {"inner", "z"};
inline const ASN1::CHOICE::InfoType Outer = {{&ASN1::CHOICE::create, 0}, false, OuterInfos, 2, 2, OuterTags,
                                             OuterNames};
inline Rec const TaggedInfos[] = {&Outer, &ASN1::INTEGER::theInfo};
inline const int TaggedIds[] = {-1, -1};
inline const unsigned TaggedTags[] = {0, 0x800003};
inline const char* const TaggedNames[] = {"d", "n"};
inline const ASN1::SEQUENCE::InfoType Tagged = {
    {&ASN1::SEQUENCE::create, 16}, false, TaggedInfos, TaggedIds, 2, 0, 0, nullptr, TaggedTags, TaggedNames};

// Makes a new value of record `info` (a SEQUENCE, CHOICE or list), filled by `fill`.
typedef std::function<AbstractData*()> Builder;
template <class T, class F>
Builder made(const typename T::InfoType& info, F fill) {
  return [&info, fill] {
    auto* v = new T(&info);
    fill(*v);
    return v;
  };
}

// Typed access to a field object, for building values in tests.
template <class T>
T& field(ASN1::SEQUENCE& seq, unsigned index) {
  return *static_cast<T*>(seq.ensureField(index));
}
template <class T>
T& optional(ASN1::SEQUENCE& seq, unsigned presenceIndex) {
  seq.includeOptionalField(presenceIndex);
  return *static_cast<T*>(seq.getField(static_cast<unsigned>(seq.fieldIndexOf(presenceIndex))));
}
template <class T>
T& select(ASN1::CHOICE& choice, int id) {
  choice.setSelection(id, nullptr);
  choice.createSelection();
  return *static_cast<T*>(choice.getSelection());
}

// The Message with optional seq and slot (negative: absent) around a command.
inline ASN1::CHOICE& messageCommand(ASN1::SEQUENCE& message, int seq, int slot) {
  if (seq >= 0) optional<ASN1::INTEGER>(message, MessageSeq).setValue(seq);
  if (slot >= 0) optional<ASN1::INTEGER>(message, MessageSlot).setValue(slot);
  return select<ASN1::CHOICE>(field<ASN1::CHOICE>(message, MessagePdu), PduCommand);
}

// Message seq 7, slot 33, command create trunk { trunk 1, timeslot 1 }.
inline void createTrunk(ASN1::SEQUENCE& message) {
  ASN1::CHOICE& create = select<ASN1::CHOICE>(messageCommand(message, 7, 33), CommandCreate);
  ASN1::SEQUENCE& trunk = select<ASN1::SEQUENCE>(create, 1);
  field<ASN1::INTEGER>(trunk, 0).setValue(1);
  field<ASN1::INTEGER>(trunk, 1).setValue(1);
}

// The i-th entry of the report the vector script builds.
inline void fillEntry(ASN1::SEQUENCE& entry, int i) {
  field<ASN1::AbstractString>(entry, 0) = "port-" + std::to_string(i);
  field<ASN1::ENUMERATED>(entry, 1).setValue(i % 3);
  field<ASN1::INTEGER>(entry, 2).setValue(i * 100);
  field<ASN1::INTEGER>(entry, 3).setValue(-i * 7);
  ASN1::SEQUENCE_OF_Base& codes = field<ASN1::SEQUENCE_OF_Base>(entry, 4);
  codes.resize(3);
  const int values[] = {i, i + 1, 255};
  for (int k = 0; k < 3; ++k) static_cast<ASN1::INTEGER&>(codes.element(k)).setValue(values[k]);
  if (i % 2 == 0) optional<ASN1::OCTET_STRING>(entry, 0) = ASN1::OCTET_STRING::Octets{char(i), 1, 2};
}

inline void fillReport(ASN1::SEQUENCE& report, int entries) {
  field<IntRangeMax>(report, 0) = 3000000000u;
  ASN1::SEQUENCE_OF_Base& list = field<ASN1::SEQUENCE_OF_Base>(report, 1);
  list.resize(static_cast<std::size_t>(entries));
  for (int i = 1; i <= entries; ++i) fillEntry(static_cast<ASN1::SEQUENCE&>(list.element(i - 1)), i);
}

}  // namespace TestTypes
