import struct
import unittest

import simtest  # noqa: F401
import fmtlib
import zenbuf

LIBRARY = r'''
# a small library
format menu1
  cursor 2 7
  stamp 2024-05-17 13:45:30
  row "Name:" field alnum 10 " Age:" field num 3 prot
  row blank 5 "Pick" field alnumup 1 init="X" fill 3 - color=2 prot
  help sys=SYSH screen=SCRH keys=1,2,3
  fieldhelp 1 6 NAMEHELP
end

format WIDE
  row field alnum 200 nodata
  row [ "ab" ]*2 areaa 30 sys date 8 repeat=1
end
'''


class Compiler(unittest.TestCase):
    def setUp(self):
        self.lib = fmtlib.Library().load_text(LIBRARY)

    def test_header(self):
        data = self.lib.get("MENU1").compile()
        self.assertEqual(struct.unpack(">H", data[0:2])[0], 20)  # 12 + 4 + 4
        self.assertEqual(struct.unpack(">H", data[4:6])[0], 20)
        self.assertEqual(struct.unpack(">H", data[6:8])[0], 16)  # less prot
        self.assertEqual((data[8], data[9]), (2, 23))            # rows, cols
        self.assertEqual(struct.unpack(">H", data[10:12])[0], 3)
        self.assertEqual(data[12:28], b"ZEN$Y$  MENU1   ")
        self.assertEqual((data[31], data[32], data[33]), (1, 2, 7))
        self.assertEqual(struct.unpack(">H", data[34:36])[0], 20)
        stamp = struct.unpack("<II", data[40:48])
        self.assertEqual(stamp[0] & 0xFF, 54)
        self.assertEqual((stamp[0] >> 8 & 0xF, stamp[0] >> 16 & 0x1F,
                          stamp[0] >> 24 & 0x1F), (5, 17, 13))
        self.assertEqual((stamp[1] & 0x3F, stamp[1] >> 8 & 0x3F), (45, 30))

    def test_item_stream(self):
        data = self.lib.get("MENU1").compile()
        n = struct.unpack(">H", data[38:40])[0]
        stream = data[48:48 + n]
        expected = (
            b"\x05\x93\x00Name:"          # protected literal
            b"\x0a\x02\x00"               # alphanumeric field of 10
            b"\x05\x93\x00 Age:"
            b"\x03\x89\x00"               # numeric kind 9, protected
            b"\x00\x14\x00"               # end of row
            b"\xc5"                       # 5 blanks
            b"\x04\x93\x00Pick"
            b"\x01\x01\x40X"              # initial value follows
            b"\x83\x80\x02-"              # protected fill run of 3 '-'
            b"\x00\x14\x00")
        self.assertEqual(stream, expected)
        help_table = data[48 + n:]
        self.assertEqual(help_table[0:1], b"J")
        self.assertEqual(tuple(help_table[2:5]), (1, 2, 3))
        self.assertEqual(help_table[8:16], b"SYSH\0\0\0\0")
        self.assertEqual(help_table[38:40], b"\x00\x01")
        self.assertEqual(help_table[40:], b"\x01\x06NAMEHELP")

    def test_long_field_repeats_and_system_items(self):
        f = self.lib.get("wide")
        data = f.compile()
        n = struct.unpack(">H", data[38:40])[0]
        stream = data[48:48 + n]
        # 200 = continuation of 127 + a field of 73 taking no message data
        self.assertTrue(stream.startswith(b"\x7f\x03\x00\x49\x02\x20"))
        row2 = stream[9:]
        self.assertEqual(row2[:5], b"\x02\x93\x00ab")
        self.assertEqual(row2[5:8], b"\x02\x15\x05")   # group 5 bytes back
        self.assertEqual(row2[8:11], b"\x1e\x12\x00")  # 30 bytes of area A
        self.assertEqual(row2[11:14], b"\x08\x96\x00")  # date of 8
        self.assertEqual(row2[14:17], b"\x01\x14\x00")  # row walked once more
        self.assertEqual(f.info["rows"], 3)
        self.assertEqual(struct.unpack(">H", data[36:38])[0], 30)
        self.assertEqual(struct.unpack(">H", data[4:6])[0], 0)  # no data

    def test_format_reply(self):
        reply = zenbuf.ZenBuf.unpack(self.lib.reply(b"menu1   ").pack())
        self.assertEqual(reply.func, 199)
        self.assertEqual(reply.number(2), len(reply.string(3)))
        self.assertEqual(reply.string(3)[20:28], b"MENU1   ")

    def test_unknown_format_has_length_zero(self):
        reply = self.lib.reply("NOSUCH")
        self.assertEqual(reply.params, [(1, 0), (1, 0), (3, b"")])

    def test_errors_name_the_line(self):
        for text in ("format A\n row field alnum\nend\n",
                     "format A\n row bogus 3\nend\n",
                     "row \"x\"\n", "format A\n row \"x\"\n"):
            with self.subTest(text=text):
                with self.assertRaises(fmtlib.FormatError):
                    fmtlib.Library().load_text(text)


if __name__ == "__main__":
    unittest.main()
