import struct
import unittest

import simtest  # noqa: F401
import zenbuf
from zenbuf import ZenBuf


class Packing(unittest.TestCase):
    def test_header_only_buffer_is_24_bytes(self):
        data = ZenBuf(203).pack()
        self.assertEqual(len(data), 24)
        self.assertEqual(struct.unpack(">iiiihhhh", data),
                         (0, 0, 0, 0, 203, 0, 0, 0))

    def test_nul_terminated_string_counts_its_nul(self):
        data = ZenBuf(21).add_string("ab", nul=True).pack()
        self.assertEqual(data[20:24], b"\0\x01\0\x07")   # Prm 1, len 7
        self.assertEqual(data[24:], b"\0\x03\0\x03ab\0")

    def test_round_trip_of_every_type(self):
        buf = ZenBuf(22, 3, pri=-1, p=2, q=3, seg=4096 * 5)
        buf.add_char("Z").add_short(-2).add_int(-70000).add_string(b"x" * 300)
        back = ZenBuf.unpack(buf.pack())
        self.assertEqual((back.pri, back.p, back.q, back.seg, back.func,
                          back.sub), (-1, 2, 3, 4096 * 5, 22, 3))
        self.assertEqual(back.params, [(0, 0x5A), (1, -2), (2, -70000),
                                       (3, b"x" * 300)])

    def test_short_fffe_reads_as_minus_two(self):
        data = ZenBuf(21).add_short(0xFFFE).pack()
        self.assertEqual(ZenBuf.unpack(data).number(1), -2)

    def test_negative_len_means_no_parameters(self):
        data = bytearray(ZenBuf(21).add_int(5).pack())
        data[22:24] = b"\xff\xff"
        self.assertEqual(ZenBuf.unpack(bytes(data)).params, [])

    def test_bad_type_and_truncation_are_refused(self):
        good = ZenBuf(21).add_string("hello").pack()
        bad_type = good[:26] + b"\x00\x07" + good[28:]
        for data in (bad_type, good[:-1], good[:20]):
            with self.subTest(data=data.hex()):
                with self.assertRaises(ValueError):
                    ZenBuf.unpack(data)

    def test_function_names(self):
        self.assertEqual(zenbuf.function_name(21), "dFmsgo    ")
        self.assertEqual(zenbuf.function_name(-21), "DFMSGO    ")
        self.assertEqual(zenbuf.function_name(203), "dF#203    ")
        self.assertEqual(zenbuf.function_name(0), "dF#0      ")
        self.assertEqual(zenbuf.function_name(120), "dFdoneCleanUp")
        self.assertEqual(zenbuf.parse_func("DFFMTREQ"), 200)
        self.assertEqual(len(zenbuf.FUNC_NAMES), 155)


if __name__ == "__main__":
    unittest.main()
