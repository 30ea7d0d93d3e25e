// Basic declarations shared by every part of the ASN.1 runtime.
#pragma once

#include <cstddef>

namespace ASN1 {

class AbstractData;
class Null;
class BOOLEAN;
class ConstrainedObject;
class INTEGER;
class IntegerWithNamedNumber;
class ENUMERATED;
class OBJECT_IDENTIFIER;
class BIT_STRING;
class OCTET_STRING;
class AbstractString;
class BMPString;
class GeneralizedTime;
class CHOICE;
class SEQUENCE;
class SEQUENCE_OF_Base;
class OpenData;
class TypeConstrainedOpenData;
class Visitor;
class ConstVisitor;
class CoderEnv;
class Module;

// Makes a default value of the type whose info record is passed; the caller owns it.
typedef AbstractData* (*CreateFun)(const void* info);

enum ConstraintType {
  Unconstrained = 0,
  PartiallyConstrained = 1,  // lower bound only
  FixedConstraint = 2,       // lowerLimit..upperLimit
  ExtendableConstraint = 3   // lowerLimit..upperLimit with an extension marker
};

// Limits the decoders read at each use.
extern unsigned MaximumArraySize;   // elements of a SEQUENCE OF, extension presence bits
extern unsigned MaximumStringSize;  // characters, octets or bits of a decoded string

// Bits needed to code the values 0..n-1 (0 stands for 2^32 and gives 32).
inline unsigned CountBits(unsigned n) {
  if (n <= 1) return n == 0 ? 32 : 0;
  return 32 - static_cast<unsigned>(__builtin_clz(n - 1));
}

// Unsigned byte-wise comparison; a proper prefix is the smaller.
int lexicographic_compare_bytes(const char* first1, const char* last1, const char* first2, const char* last2);

}  // namespace ASN1
