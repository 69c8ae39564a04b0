import os
import unittest

import numpy as np
import onnx

import mediapipe_onnx
import tflite
import tflite_reference
from onnx_builder import same_pads
from sources import PACKAGES, package_dir
from support_for_tests import CACHE, photo, run_in_opencv

ROOT = os.path.join(package_dir(CACHE, PACKAGES[0]), "package")
FAST = os.path.join(ROOT, "selfie_segmentation_landscape.tflite")
BALANCED = os.path.join(ROOT, "selfie_segmentation.tflite")


class SamePadding(unittest.TestCase):
    def test_stride_two_puts_the_extra_pixel_after(self):
        self.assertEqual(same_pads(144, 3, 2), (0, 1))
        self.assertEqual(same_pads(256, 3, 2), (0, 1))
        self.assertEqual(same_pads(9, 5, 2), (2, 2))
        self.assertEqual(same_pads(18, 5, 1), (2, 2))
        self.assertEqual(same_pads(8, 3, 1, dilation=2), (2, 2))


class Reader(unittest.TestCase):
    def test_reads_graph_tensors_and_custom_ops(self):
        graph = tflite.read_model(FAST)
        self.assertEqual(graph.tensors[graph.inputs[0]].shape, [1, 144, 256, 3])
        self.assertEqual(graph.tensors[graph.outputs[0]].shape, [1, 144, 256, 1])
        kinds = [op.kind for op in graph.operators]
        self.assertEqual(kinds.count("Convolution2DTransposeBias"), 1)
        self.assertEqual(kinds.count("HARD_SWISH"), 11)
        weights = [t for t in graph.tensors if t.data is not None and t.dtype == np.float16]
        self.assertTrue(weights)

    def test_rejects_other_files(self):
        with self.assertRaises(ValueError):
            tflite.read_model(os.path.join(os.path.dirname(__file__), "sources.py"))


class Conversion(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.models = {name: mediapipe_onnx.convert(path, name)[0]
                      for name, path in (("fast", FAST), ("balanced", BALANCED))}

    def nodes(self, name, op):
        return [n for n in self.models[name].graph.node if n.op_type == op]

    @staticmethod
    def attr(node, key):
        return onnx.helper.get_attribute_value(next(a for a in node.attribute if a.name == key))

    def test_models_are_valid_onnx(self):
        for model in self.models.values():
            onnx.checker.check_model(model)

    def test_known_pitfalls_are_avoided(self):
        # Hard-swish stays one exact operator instead of a multiplication by a rounded 1/6.
        self.assertEqual(len(self.nodes("fast", "HardSwish")), 11)
        # Bilinear upsampling keeps TensorFlow's half-pixel centres.
        for node in self.nodes("fast", "Resize"):
            self.assertEqual(self.attr(node, "coordinate_transformation_mode"), b"half_pixel")
        # The stride-2 stem gets TensorFlow's asymmetric SAME padding.
        stem = self.nodes("fast", "Conv")[0]
        self.assertEqual(list(self.attr(stem, "pads")), [0, 0, 1, 1])
        # Depthwise filters become [C·M, 1, kh, kw] with one group per channel.
        depthwise = [n for n in self.nodes("fast", "Conv") if self.attr(n, "group") > 1][0]
        weights = next(i for i in self.models["fast"].graph.initializer if i.name == depthwise.input[1])
        self.assertEqual(list(weights.dims)[1], 1)
        self.assertEqual(list(weights.dims)[0], self.attr(depthwise, "group"))
        # The transposed convolution doubles the size without padding.
        up, = self.nodes("fast", "ConvTranspose")
        self.assertEqual(list(self.attr(up, "pads")), [0, 0, 0, 0])

    def test_opencv_reproduces_the_tflite_arithmetic_on_a_real_photo(self):
        picture = photo("astronaut")
        for name, path in (("fast", FAST), ("balanced", BALANCED)):
            graph = tflite.read_model(path)
            h, w = graph.tensors[graph.inputs[0]].shape[1:3]
            x = tflite_reference.resize_bilinear(picture[None], (h, w), False, True)
            with np.errstate(over="ignore"):
                expected = tflite_reference.run(graph, x)[0, :, :, 0]
            got = run_in_opencv(self.models[name], {"input": x.transpose(0, 3, 1, 2)}, ["mask"])["mask"][0, 0]
            self.assertLess(np.abs(got - expected).max(), 1e-3, name)
            # The photo has a person in it: the comparison is not between two empty masks.
            self.assertGreater((expected > 0.5).mean(), 0.2, name)


if __name__ == "__main__":
    unittest.main()
