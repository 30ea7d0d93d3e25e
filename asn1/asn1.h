// The ASN.1 runtime: value classes, visitors, the aligned PER and BER codecs,
// the coder entry, the value-notation printer and parser, and validity checks.
#pragma once

#include "asn1/abstract_data.h"
#include "asn1/ber_decoder.h"
#include "asn1/ber_encoder.h"
#include "asn1/char_strings.h"
#include "asn1/choice.h"
#include "asn1/coder_env.h"
#include "asn1/generalized_time.h"
#include "asn1/io_wrapper.h"
#include "asn1/object_identifier.h"
#include "asn1/octet_strings.h"
#include "asn1/open_data.h"
#include "asn1/parser.h"
#include "asn1/printer.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/simple_values.h"
#include "asn1/types.h"
#include "asn1/validity.h"
#include "asn1/visitor.h"
