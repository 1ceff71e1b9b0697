// Makes rules 0 (value notation) and 1 (BER) of every coder environment work: a program that
// wants them links this library and calls installCodecs() once before coding.
#pragma once

namespace ASN1 {

struct CodecTable;

// The table of this library's coders.
const CodecTable& codecTable();
// Hands the table to the coder environment; returns the table that was installed before.
const CodecTable* installCodecs();

}  // namespace ASN1
