// Every value class of the ASN.1 runtime.
#pragma once

#include "asn1/abstract_data.h"
#include "asn1/character_string.h"
#include "asn1/choice.h"
#include "asn1/constrained_object.h"
#include "asn1/enumerated.h"
#include "asn1/generalized_time.h"
#include "asn1/integer.h"
#include "asn1/null_boolean.h"
#include "asn1/object_identifier.h"
#include "asn1/octet_string.h"
#include "asn1/open_data.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/visitor.h"
