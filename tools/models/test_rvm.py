import json
import os
import tempfile
import unittest

import numpy as np

import rvm_onnx
import tf_reference
import tfjs
import tflite_reference
from sources import PACKAGES, package_dir
from support_for_tests import CACHE, photo, run_in_opencv

GRAPH = os.path.join(package_dir(CACHE, PACKAGES[1]), "package", "models", "rvm.json")
STATES = {"r1i": (2, 16), "r2i": (4, 20), "r3i": (8, 40), "r4i": (16, 64)}


class Node:
    """A stand-in graph node with the attributes the reference reads."""

    def __init__(self, **attrs):
        self.attrs = attrs

    def int(self, key, default=0):
        return self.attrs.get(key, default)


class ReferenceOps(unittest.TestCase):
    def test_quantized_weights_are_scaled_back(self):
        with tempfile.TemporaryDirectory() as tmp:
            np.array([0, 1, 255], np.uint8).tofile(os.path.join(tmp, "w.bin"))
            manifest = [{"paths": ["w.bin"], "weights": [
                {"name": "k", "shape": [3], "dtype": "float32",
                 "quantization": {"dtype": "uint8", "scale": 0.5, "min": -1.0}}]}]
            weights = tfjs.read_weights(manifest, tmp)
        np.testing.assert_array_equal(weights["k"], np.array([-1.0, -0.5, 126.5], np.float32))

    def test_space_to_batch_conv_batch_to_space_is_a_dilated_convolution(self):
        rng = np.random.default_rng(3)
        x = rng.random((1, 10, 12, 3), np.float32)
        w = rng.random((1, 3, 3, 3), np.float32)
        b = np.zeros(3, np.float32)
        padded = np.pad(x, ((0, 0), (2, 2), (2, 2), (0, 0)))
        direct = tflite_reference.conv2d(padded, w, b, (1, 1), "VALID", (2, 2), depthwise=True)
        batched = tf_reference.space_to_batch(padded, [2, 2], [[0, 0], [0, 0]])
        convolved = tflite_reference.conv2d(batched, w, b, (1, 1), "VALID", (1, 1), depthwise=True)
        back = tf_reference.batch_to_space(convolved, [2, 2], [[0, 0], [0, 0]])
        np.testing.assert_allclose(back, direct, rtol=1e-6)

    def test_same_average_pooling_leaves_padding_out(self):
        x = np.arange(9, dtype=np.float32).reshape(1, 3, 3, 1)
        y = tf_reference.avg_pool(x, (2, 2), (2, 2), "SAME")
        np.testing.assert_allclose(y[0, :, :, 0], [[2.0, 3.5], [6.5, 8.0]])

    def test_strided_slice_masks(self):
        x = np.arange(10)
        node = Node(begin_mask=0, end_mask=1, shrink_axis_mask=0)
        np.testing.assert_array_equal(tf_reference.strided_slice(x, node, [3], [0], [1]), np.arange(3, 10))
        node = Node(shrink_axis_mask=1)
        self.assertEqual(tf_reference.strided_slice(x, node, [4], [5], [1]), 4)


class Conversion(unittest.TestCase):
    def compare(self, width, height, states):
        nodes, weights, outs = tfjs.read_model(GRAPH)
        picture = tflite_reference.resize_bilinear(photo("grace_hopper")[None], (height, width), False, True)
        feeds = {"src": picture, "downsample_ratio": np.array(1.0, np.float32)}
        feeds.update(states)
        expected = tf_reference.Graph(nodes, weights, feeds)
        model = rvm_onnx.convert(GRAPH, width, height)
        inputs = {"src": picture.transpose(0, 3, 1, 2)}
        for name, (scale, channels) in STATES.items():
            value = states[name]
            if value.shape != (1, height // scale, width // scale, channels):
                value = np.broadcast_to(value, (1, height // scale, width // scale, channels))
            inputs[name] = value.transpose(0, 3, 1, 2)
        names = ["pha", "r1o", "r2o", "r3o", "r4o"]
        got = run_in_opencv(model, inputs, names)
        for name in names:
            want = expected.output(outs[name]).transpose(0, 3, 1, 2)
            self.assertEqual(got[name].shape, want.shape, name)
            self.assertLess(np.abs(got[name] - want).max(), 1e-4, name)
        return got

    def test_opencv_reproduces_the_graph_from_zero_states(self):
        zeros = {name: np.zeros((1, 1, 1, 1), np.float32) for name in STATES}
        got = self.compare(256, 144, zeros)
        # A person fills a good part of the photo: the matte is not empty.
        self.assertGreater((got["pha"] > 0.5).mean(), 0.2)

    def test_carried_states_and_a_portrait_size(self):
        rng = np.random.default_rng(7)
        width, height = 144, 256
        states = {name: rng.normal(0, 0.3, (1, height // s, width // s, c)).astype(np.float32)
                  for name, (s, c) in STATES.items()}
        self.compare(width, height, states)

    def test_clip_is_written_with_attribute_bounds(self):
        model = rvm_onnx.convert(GRAPH, 256, 144)
        clips = [n for n in model.graph.node if n.op_type == "Clip"]
        self.assertTrue(clips)
        for node in clips:
            self.assertEqual(len(node.input), 1)
            self.assertEqual(sorted(a.name for a in node.attribute), ["max", "min"])


if __name__ == "__main__":
    unittest.main()
