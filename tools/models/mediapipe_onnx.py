"""Converts the MediaPipe selfie segmentation models (.tflite) into ONNX for OpenCV.

The ONNX graph works in NCHW: input "input" is [1, 3, H, W] RGB scaled to 0…1, output
"mask" is [1, 1, H, W] with the person near 1.
"""

import struct

import numpy as np

from onnx_builder import OnnxBuilder, same_pads
import tflite

ACTIVATIONS = {0: None, 1: "Relu", 3: "Relu6"}


def nchw(shape):
    return [shape[0], shape[3], shape[1], shape[2]] if len(shape) == 4 else list(shape)


class Converter:
    def __init__(self, graph, name):
        self.g = graph
        self.b = OnnxBuilder(name)
        self.values = {}     # tensor index -> ONNX value name
        self.constants = {}  # tensor index -> numpy array

    def constant(self, index):
        return self.constants[index] if index in self.constants else self.g.tensors[index].data

    def value(self, index):
        return self.values[index]

    def activation(self, x, code):
        kind = ACTIVATIONS.get(code, "unsupported")
        if kind is None:
            return x
        if kind == "Relu":
            return self.b.node("Relu", [x])
        if kind == "Relu6":
            return self.b.clip(x, 0, 6)
        raise ValueError("unsupported fused activation %d" % code)

    def conv_pads(self, op, kernel, strides, dilations, padding):
        if padding == 1:  # VALID
            return [0, 0, 0, 0]
        shape = self.g.tensors[op.inputs[0]].shape
        top, bottom = same_pads(shape[1], kernel[0], strides[0], dilations[0])
        left, right = same_pads(shape[2], kernel[1], strides[1], dilations[1])
        return [top, left, bottom, right]

    def conv(self, op, depthwise):
        o = op.options
        x = self.value(op.inputs[0])
        w = self.constant(op.inputs[1]).astype(np.float32)
        bias = self.constant(op.inputs[2]).astype(np.float32)
        strides = [o.scalar(2, "i", 1), o.scalar(1, "i", 1)]
        if depthwise:
            dilations = [o.scalar(6, "i", 1), o.scalar(5, "i", 1)]
            fused = o.scalar(4, "b")
            channels = self.g.tensors[op.inputs[0]].shape[3]
            kh, kw, out = w.shape[1], w.shape[2], w.shape[3]
            weights = w.reshape(kh, kw, out).transpose(2, 0, 1)[:, None, :, :]
            group = channels
        else:
            dilations = [o.scalar(5, "i", 1), o.scalar(4, "i", 1)]
            fused = o.scalar(3, "b")
            weights = w.transpose(0, 3, 1, 2)
            kh, kw = w.shape[1], w.shape[2]
            group = 1
        pads = self.conv_pads(op, (kh, kw), strides, dilations, o.scalar(0, "b"))
        y = self.b.node("Conv", [x, self.b.const(weights, "w"), self.b.const(bias, "b")],
                        kernel_shape=[kh, kw], strides=strides, dilations=dilations,
                        pads=pads, group=group)
        return self.activation(y, fused)

    def transpose_conv_bias(self, op):
        # MediaPipe's custom op: options are (padding, stride_w, stride_h) as int32.
        padding, stride_w, stride_h = struct.unpack("<3i", op.custom_options[:12])
        w = self.constant(op.inputs[1]).astype(np.float32)  # [O, kh, kw, I]
        bias = self.constant(op.inputs[2]).astype(np.float32)
        in_shape = self.g.tensors[op.inputs[0]].shape
        out_shape = self.g.tensors[op.outputs[0]].shape
        pads = []
        for axis, (stride, k) in enumerate(((stride_h, w.shape[1]), (stride_w, w.shape[2]))):
            total = (in_shape[1 + axis] - 1) * stride + k - out_shape[1 + axis]
            if total < 0 or padding not in (1, 2):
                raise ValueError("unexpected transposed convolution geometry")
            pads.append((total // 2, total - total // 2))
        return self.b.node("ConvTranspose",
                           [self.value(op.inputs[0]), self.b.const(w.transpose(3, 0, 1, 2), "w"),
                            self.b.const(bias, "b")],
                           kernel_shape=[w.shape[1], w.shape[2]], strides=[stride_h, stride_w],
                           pads=[pads[0][0], pads[1][0], pads[0][1], pads[1][1]])

    def binary(self, op, kind):
        fused = op.options.scalar(0, "b") if op.options else 0
        ins = []
        for i in op.inputs:
            if i in self.values:
                ins.append(self.values[i])
            else:
                c = self.constant(i).astype(np.float32)
                ins.append(self.b.const(c.transpose(0, 3, 1, 2) if c.ndim == 4 else c))
        return self.activation(self.b.node(kind, ins), fused)

    def mean(self, op):
        axes = sorted(int(a) for a in self.constant(op.inputs[1]))
        if axes != [1, 2] or not op.options.scalar(0, "b"):
            raise ValueError("only spatial means with kept dimensions are supported")
        return self.b.node("GlobalAveragePool", [self.value(op.inputs[0])])

    def average_pool(self, op):
        o = op.options
        shape = self.g.tensors[op.inputs[0]].shape
        kh, kw = o.scalar(4, "i"), o.scalar(3, "i")
        if (kh, kw) == (shape[1], shape[2]):
            return self.b.node("GlobalAveragePool", [self.value(op.inputs[0])])
        raise ValueError("only global average pooling is supported")

    def resize(self, op):
        o = op.options
        if o.scalar(2, "b"):
            mode = "align_corners"
        elif o.scalar(3, "b"):
            mode = "half_pixel"
        else:
            mode = "asymmetric"
        size = [int(v) for v in self.constant(op.inputs[1])]
        in_shape = self.g.tensors[op.inputs[0]].shape
        scales = np.array([1, 1, size[0] / in_shape[1], size[1] / in_shape[2]], np.float32)
        return self.b.node("Resize", [self.value(op.inputs[0]), self.b.const(np.zeros(0, np.float32), "roi"),
                                      self.b.const(scales, "scales")],
                           mode="linear", coordinate_transformation_mode=mode)

    def convert(self):
        input_index, = self.g.inputs
        output_index, = self.g.outputs
        in_shape = self.g.tensors[input_index].shape
        self.values[input_index] = "input"
        simple = {"RELU": "Relu", "LOGISTIC": "Sigmoid", "HARD_SWISH": "HardSwish", "TANH": "Tanh"}
        for op in self.g.operators:
            out = op.outputs[0]
            if op.kind == "DEQUANTIZE":
                self.constants[out] = self.constant(op.inputs[0]).astype(np.float32)
                continue
            if op.kind == "CONV_2D":
                y = self.conv(op, depthwise=False)
            elif op.kind == "DEPTHWISE_CONV_2D":
                y = self.conv(op, depthwise=True)
            elif op.kind == "Convolution2DTransposeBias":
                y = self.transpose_conv_bias(op)
            elif op.kind in simple:
                y = self.b.node(simple[op.kind], [self.value(op.inputs[0])])
            elif op.kind == "RELU6":
                y = self.b.clip(self.value(op.inputs[0]), 0, 6)
            elif op.kind in ("ADD", "MUL"):
                y = self.binary(op, op.kind.capitalize())
            elif op.kind == "MEAN":
                y = self.mean(op)
            elif op.kind == "AVERAGE_POOL_2D":
                y = self.average_pool(op)
            elif op.kind == "RESIZE_BILINEAR":
                y = self.resize(op)
            else:
                raise ValueError("unsupported operator %s" % op.kind)
            self.values[out] = y
        self.b.rename(self.values[output_index], "mask")
        out_shape = self.g.tensors[output_index].shape
        # Opset 14 is the first with HardSwish.
        return self.b.model([("input", nchw(in_shape))], [("mask", nchw(out_shape))], opset=14)


def convert(tflite_path, name):
    """The ONNX model and its input size (width, height)."""
    graph = tflite.read_model(tflite_path)
    shape = graph.tensors[graph.inputs[0]].shape
    return Converter(graph, name).convert(), (shape[2], shape[1])
