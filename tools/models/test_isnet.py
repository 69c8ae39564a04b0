import unittest

import numpy as np
from onnx import TensorProto

import isnet_onnx
import onnx_reference
from convert import SUBJECT_RESOURCE, SUBJECT_SIZE
from sources import PACKAGES, package_dir
from support_for_tests import CACHE, photo, run_in_opencv


def network_input(size):
    """A portrait as the network takes it: squashed to a square, RGB as value / 255 − 0.5."""
    picture = photo("grace_hopper").transpose(2, 0, 1)[None]
    return onnx_reference.resize_linear(picture, size, size).astype(np.float32) - 0.5


class ReferenceOps(unittest.TestCase):
    def test_ceil_mode_pooling_keeps_the_last_odd_row_and_column(self):
        x = np.arange(9, dtype=np.float32).reshape(1, 1, 3, 3)
        np.testing.assert_array_equal(onnx_reference.max_pool(x, [2, 2], [2, 2], 1)[0, 0], [[4, 5], [7, 8]])

    def test_half_pixel_linear_upsampling(self):
        x = np.array([[[[0, 4]]]], np.float32)
        np.testing.assert_allclose(onnx_reference.resize_linear(x, 1, 4)[0, 0, 0], [0, 1, 3, 4])


class Conversion(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.source = isnet_onnx.read_package_model(package_dir(CACHE, PACKAGES[2]), SUBJECT_RESOURCE)
        # The source at its own size, evaluated in numpy: about 90 s on two cores.
        cls.full_input = network_input(isnet_onnx.SOURCE_SIZE)
        cls.expected = onnx_reference.run(cls.source, {"input": cls.full_input}, "output")

    def test_opencv_runs_the_conversion_at_full_size_as_the_source(self):
        model = isnet_onnx.convert(self.source, isnet_onnx.SOURCE_SIZE)
        got = run_in_opencv(model, {"input": self.full_input}, ["output"])["output"]
        self.assertEqual(got.shape, self.expected.shape)
        # The source rounds to half precision between its casts; the conversion does not.
        self.assertLess(np.abs(got - self.expected).max(), 0.002)
        self.assertGreater((self.expected > 0.5).mean(), 0.3)

    def test_the_installed_size_finds_the_same_subject(self):
        model = isnet_onnx.convert(self.source, SUBJECT_SIZE)
        got = run_in_opencv(model, {"input": network_input(SUBJECT_SIZE)}, ["output"])["output"]
        self.assertEqual(got.shape, (1, 1, SUBJECT_SIZE, SUBJECT_SIZE))
        size = isnet_onnx.SOURCE_SIZE
        mask = onnx_reference.resize_linear(got, size, size) > 0.5
        full = self.expected > 0.5
        self.assertGreater((mask & full).sum() / (mask | full).sum(), 0.95)

    def test_the_conversion_is_float32_without_casts(self):
        model = isnet_onnx.convert(self.source, SUBJECT_SIZE)
        self.assertFalse([n for n in model.graph.node if n.op_type == "Cast"])
        self.assertTrue(all(t.data_type == TensorProto.FLOAT for t in model.graph.initializer))
        self.assertEqual([o.name for o in model.graph.output], ["output"])
        with self.assertRaises(ValueError):
            isnet_onnx.convert(self.source, 300)


if __name__ == "__main__":
    unittest.main()
