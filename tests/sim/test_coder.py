import random
import unittest
from collections import Counter

import simtest  # noqa: F401  (puts the simulator on the path)
import coder


class CoderVectors(unittest.TestCase):
    # message, body from a coder with a fresh work buffer
    VECTORS = [
        (b"abc", "02616263"),
        (b"    ", "1e0004000395f2"),
        (b"\x02" * 5, "1e000500039406 94".replace(" ", "")),
        (b"A" * 300, "1e012c000695f9d2e8b8"),
    ]

    def test_compress_vectors(self):
        for msg, body in self.VECTORS:
            with self.subTest(msg=msg[:8]):
                self.assertEqual(coder.Coder(on=True).compress(msg).hex(),
                                 body)

    def test_decompress_vectors(self):
        for msg, body in self.VECTORS:
            with self.subTest(msg=msg[:8]):
                self.assertEqual(
                    coder.Coder().decompress(bytes.fromhex(body)), msg)

    def test_run_length_data_of_long_run(self):
        self.assertEqual(coder.rle_encode(b"A" * 300, 300).hex(),
                         "02ff41022d41")

    def test_compression_off_sends_raw(self):
        c = coder.Coder(on=False)
        self.assertEqual(c.compress(b"hello world"), b"\0hello world")

    def test_warm_work_buffer_keeps_run_length_pass(self):
        # after a long message the larger work buffer lets the pass finish,
        # so abc takes the Huffman form instead of the raw one
        c = coder.Coder(on=True)
        c.compress(b"x" * 100)
        body = c.compress(b"abc")
        self.assertEqual(body[0], 0x1E)
        self.assertEqual(coder.Coder().decompress(body), b"abc")

    def test_bad_flag_bytes(self):
        for flag in (0x0C, 0x24):
            with self.subTest(flag=flag):
                self.assertEqual(coder.Coder().decompress(
                    bytes((flag, 0, 4, 0, 3, 0x95, 0xF2))), coder.ERR_FLAG)

    def test_run_length_length_mismatch(self):
        for announced in (3, 5):
            with self.subTest(announced=announced):
                body = bytes((0x16, 0, announced, 0x02, 0x04, 0x20))
                self.assertEqual(coder.Coder().decompress(body),
                                 coder.ERR_EXPAND)

    def test_code_table_is_complete_prefix_code(self):
        self.assertEqual(sum(2.0 ** -n for n, _ in coder.CODES), 1.0)
        counts = Counter(n for n, _ in coder.CODES)
        self.assertEqual(dict(counts), {3: 1, 5: 17, 6: 11, 7: 12, 8: 11,
                                        9: 5, 10: 10, 11: 18, 12: 13, 13: 7,
                                        14: 6, 15: 15, 16: 130})
        self.assertEqual(coder.CODES[0x20], (3, 0b010))
        self.assertEqual(coder.CODES[0x6C], (10, 0))

    def test_round_trips(self):
        rnd = random.Random(7)
        sender, receiver = coder.Coder(on=True), coder.Coder()
        for _ in range(300):
            n = rnd.choice((0, 1, 2, 5, 40, 300, 3000))
            alphabet = rnd.choice((b"\x02", b"ab ", bytes(range(256))))
            msg = bytes(rnd.choice(alphabet) for _ in range(n))
            body = sender.compress(msg)
            self.assertEqual(receiver.decompress(body), msg)

    def test_leader_bit_and_follow(self):
        host = coder.Coder(on=False, leader=True)
        body = host.compress(b"xyz")
        self.assertEqual(body, b"\x01xyz")
        ws = coder.Coder(on=True)
        self.assertEqual(ws.decompress(body), b"xyz")
        self.assertTrue(ws.follow)
        self.assertFalse(ws.on)

    def test_room_too_small(self):
        self.assertEqual(coder.Coder(on=True).compress(b"abc", room=3),
                         coder.ERR_ROOM)


if __name__ == "__main__":
    unittest.main()
