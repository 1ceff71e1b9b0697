#!/usr/bin/env python3
"""The generator accepts the message modules and refuses broken copies of them."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

TOOLS, ASN = sys.argv[1], sys.argv[2]
sys.path.insert(0, TOOLS)

import asn1model  # noqa: E402
import checks  # noqa: E402
import cpp  # noqa: E402
import strict  # noqa: E402


class Broken(unittest.TestCase):
    """Each case edits one module and expects the named complaint."""

    def run_with(self, module, old, new, count=1):
        with tempfile.TemporaryDirectory() as d:
            for f in os.listdir(ASN):
                shutil.copy(os.path.join(ASN, f), d)
            path = os.path.join(d, module + '.asn')
            with open(path) as f:
                text = f.read()
            self.assertIn(old, text)
            with open(path, 'w') as f:
                f.write(text.replace(old, new, count))
            r = subprocess.run([sys.executable, os.path.join(TOOLS, 'asn1gen.py'), 'check', d],
                               capture_output=True, text=True)
            return r.returncode, r.stderr

    def expect_failure(self, module, old, new, complaint, count=1):
        rc, err = self.run_with(module, old, new, count)
        self.assertEqual(rc, 1, err)
        self.assertIn(complaint, err)

    def test_missing_type_changes_module_count(self):
        self.expect_failure('MON', 'IniName ::= SEQUENCE {', 'IniName2 ::= SEQUENCE {',
                            'refers to unknown type IniName')
        self.expect_failure('LGCP', 'LoadAverage ::= SEQUENCE {\n',
                            'LoadAverage ::= SEQUENCE {\n    x LoadAverage2,\n', 'unknown type')

    def test_extra_type_changes_counts(self):
        rc, err = self.run_with('BASE', '\nEND', '\nExtra ::= SEQUENCE { a INTEGER }\n\nEND')
        self.assertEqual(rc, 1)
        self.assertIn('BASE info records: 4, expected 3', err)
        self.assertIn('SEQUENCE records: 283, expected 282', err)

    def test_range_change(self):
        self.expect_failure('LGCP', 'INTEGER (1..21)', 'INTEGER (1..22)',
                            'constrained INTEGER ranges: extra [(1, 22)], missing [(1, 21)]')

    def test_extension_field_must_be_optional(self):
        self.expect_failure('TERM', 'screeningInd ISDN_NumberType_screeningInd OPTIONAL',
                            'screeningInd ISDN_NumberType_screeningInd',
                            'TERM::ISDN_NumberType.screeningInd: extension field not OPTIONAL')

    def test_optional_bit_indexes(self):
        self.expect_failure('LGCP', 'seq INTEGER OPTIONAL', 'seq INTEGER',
                            'LGCP::Message optional-bit indexes')

    def test_root_count(self):
        self.expect_failure('LGCP', '    selcal SelcalEvent,\n    ...', '    ...,\n    selcal SelcalEvent',
                            'LGCP::Signal root/total: (22, 23), expected (23, 23)')

    def test_enumerated_maximum(self):
        self.expect_failure('HSP', 'active(16)', 'active(32)', 'HSP::StandbyState maximum: 32')

    def test_sequence_of_records(self):
        self.expect_failure('LGCP', 'activateTonec SET OF TonecMask',
                            'activateTonec SEQUENCE OF TonecMask', 'SET OF records')

    def test_unused_import(self):
        self.expect_failure('MEDIA', '    TermError\n        FROM TERM',
                            '    TermError,\n    TermPDU\n        FROM TERM', 'imports unused types')

    def test_duplicate_name(self):
        self.expect_failure('ACP', 'id IA5String,\n    slc INTEGER', 'id IA5String,\n    id INTEGER',
                            'ACP::SS7LinkParams: member names collide')


class Model(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.mods = asn1model.load(ASN)
        cls.by_q = {t.qname: t for m in cls.mods.values() for t in m.types}

    def test_modules_pass(self):
        self.assertEqual(checks.run(self.mods), [])

    def test_name_tables(self):
        t = self.by_q['LEMZGW::ProtoLemzPacketP1ClientCommand']
        self.assertEqual(t.name_table()[:3], ['p1-any-packet', 'p1-cln-load-start=4097', 'p1-cln-file-start'])
        self.assertEqual(self.by_q['TERM::IpQoSDSCP'].name_table()[-2:], ['cs7=56', 'count=23'])
        self.assertEqual(self.by_q['TERM::ED137CallPriority'].name_table()[0], 'emergency=1')

    def test_repeated_values_print_first_name(self):
        t = self.by_q['LEMZGW::ProtoLemzCountersNSizes']
        self.assertEqual(sum(1 for _, v in t.names if v == 2), 4)
        self.assertEqual(t.first_name_of(2), 'ggsChannelsCount')
        self.assertEqual(self.by_q['LEMZGW::ProtoLemzMsgID'].first_name_of(4097), 'gw-get-id')

    def test_names_kept_as_written(self):
        create = self.by_q['LGCP::CreateParams']
        self.assertEqual([m.name for m in create.members][8], 'trunk_bri')
        self.assertEqual([m.name for m in create.members][18], 'ats-qsig-b')
        self.assertEqual(self.by_q['TERM::TransferParams'].members[0].name, 'addres')

    def test_rtp_params_dname_is_size_constrained(self):
        dname = [m for m in self.by_q['TERM::RtpParams'].members if m.name == 'dname'][0]
        self.assertEqual((dname.ref.kind, dname.ref.lower, dname.ref.upper), ('IA5String', 1, 64))

    def test_strict_form(self):
        ren = strict.renames(self.mods)
        self.assertEqual(ren['LGCP']['MixerResources_subtype'], 'MixerResources-subtype')
        text = strict.write_module(self.mods['LEMZGW'], self.mods, ren)
        self.assertIn('ProtoLemzMsgID ::= INTEGER (0..13056, ...)', text)
        self.assertIn('ProtoLemzProtocol ::= ENUMERATED { protocol-v1(0), protocol-v2(1), ... }', text)
        self.assertIn('ProtoLemzGgsError ::= INTEGER (0..128, ...)', text)
        lgcp = strict.write_module(self.mods['LGCP'], self.mods, ren)
        self.assertIn('trunk-bri TrunkParams', lgcp)
        self.assertIn('mixer SEQUENCE OF MixerResources-subtype', lgcp)
        self.assertNotIn('_', re.sub(r'--.*', '', lgcp))
        term = strict.write_module(self.mods['TERM'], self.mods, ren)
        self.assertIn('RadioStandby ::= INTEGER (0..1)', term)
        self.assertIn('ISDN-NumberType ::= SEQUENCE', term)


class Emitted(unittest.TestCase):
    """What the C++ emitter makes of names and records."""

    @classmethod
    def setUpClass(cls):
        cls.mods = asn1model.load(ASN)
        cls.em = cpp.Emitter(cls.mods)

    def test_member_and_nested_names(self):
        self.assertEqual(cpp.member_name('dtmf-params'), 'dtmf_params')
        self.assertEqual(cpp.nested_name('ats-qsig-b', 'CreateParams'), 'ats_qsig_b')
        self.assertEqual(cpp.nested_name('delete', 'X'), 'delete_')
        self.assertEqual(cpp.nested_name('create', 'X'), 'create_')
        self.assertEqual(cpp.nested_name('X', 'X'), 'X_')

    def test_header_accessors(self):
        h = self.em.header(self.mods['LGCP'])
        self.assertIn('#include "protocol/TERM.h"', h)
        self.assertIn('void set_slot(unsigned int v) { MessageAccess::Include<ASN1::Constrained_INTEGER'
                      '<ASN1::FixedConstraint, 0, 1023u>>(*this, 1, 1) = v; }', h)
        self.assertIn('bool ats_qsig_b_isSelected() const', h)
        self.assertIn('Signal(deactivated::Id, ::LGCP::DeactivateCause::NamedNumber v)', h)
        # Classes come after the classes their accessors use.
        self.assertLess(h.index('class PDU '), h.index('class Message '))
        self.assertLess(h.index('class Command '), h.index('class PDU '))

    def test_records(self):
        src = self.em.source(self.mods['LGCP'])
        self.assertIn('constinit const int Message::fieldIds[] = {0, 1, -1};', src)
        self.assertIn('{&create_as<Message>, 16}, false, fieldInfos, fieldIds, 3, 0, 2, nullptr, '
                      'nullptr, fieldNames};', src)
        self.assertIn('{&create_as<TonecCode>, 0}, true, selectionInfos, 6, 7, nullptr, selectionNames};',
                      src)
        hsp = self.em.source(self.mods['HSP'])
        self.assertIn('"speak=4", "standby=8", "active=16"', hsp)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1])
