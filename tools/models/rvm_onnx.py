"""Converts Robust Video Matting from its TensorFlow.js graph into ONNX at a fixed size.

The graph is evaluated once with the input size fixed: everything that depends only on
constants and shapes is computed with numpy (tf_reference), the rest is written as ONNX
in NCHW. Inputs: "src" [1, 3, H, W] RGB in 0…1 and the recurrent states "r1i"…"r4i";
outputs: the alpha matte "pha" [1, 1, H, W] and the next states "r1o"…"r4o".
"""

import numpy as np

from onnx_builder import OnnxBuilder, same_pads
import tf_reference
import tfjs

NCHW_AXIS = {0: 0, 1: 2, 2: 3, 3: 1}
FLT_MAX = 3.4028234663852886e38
STATES = ("r1", "r2", "r3", "r4")


class Sym:
    """A value computed at run time: its ONNX name and its TensorFlow (NHWC) shape.

    pad holds a zero padding (top, bottom, left, right) not yet written, so that it can
    become part of the convolution that follows.
    """

    def __init__(self, name, shape, pad=(0, 0, 0, 0)):
        self.name, self.shape, self.pad = name, list(shape), tuple(pad)


class SpaceToBatch:
    """A SpaceToBatchND waiting for its convolution: the pair is a dilated convolution."""

    def __init__(self, source, block, paddings):
        self.source, self.block, self.paddings = source, block, paddings


class DilatedResult:
    """A dilated convolution's full output, waiting for BatchToSpaceND's crop."""

    def __init__(self, sym):
        self.sym = sym


class StatePlaceholder:
    def __init__(self, name):
        self.name = name


def is_runtime(v):
    return isinstance(v, (Sym, SpaceToBatch, DilatedResult, StatePlaceholder))


def nchw(shape):
    return [shape[0], shape[3], shape[1], shape[2]]


class Converter(tf_reference.Graph):
    def __init__(self, nodes, weights, width, height):
        feeds = {"downsample_ratio": np.array(1.0, np.float32)}
        super().__init__(nodes, weights, feeds)
        self.b = OnnxBuilder("rvm")
        self.inputs = [("src", [1, 3, height, width])]
        self.feeds["src"] = Sym("src", [1, height, width, 3])
        for state in STATES:
            self.feeds[state + "i"] = StatePlaceholder(state + "i")

    # Values that exist only at run time are written as ONNX; the rest is plain numpy.
    def apply(self, node, inputs):
        if not any(is_runtime(v) for v in inputs):
            return tf_reference.evaluate(node, inputs)
        handler = getattr(self, "op_" + node.op, None)
        if handler is None:
            raise ValueError("cannot convert %s (%s) on run-time values" % (node.op, node.name))
        out = handler(node, *inputs)
        return out if isinstance(out, list) else [out]

    def materialize(self, v):
        """A Sym with any pending padding written out."""
        if not isinstance(v, Sym):
            raise ValueError("unexpected run-time value %r" % type(v).__name__)
        if v.pad == (0, 0, 0, 0):
            return v
        t, b, l, r = v.pad
        pads = self.b.const(np.array([0, 0, t, l, 0, 0, b, r], np.int64), "pads")
        name = self.b.node("Pad", [v.name, pads], mode="constant")
        return Sym(name, [v.shape[0], v.shape[1] + t + b, v.shape[2] + l + r, v.shape[3]])

    def const_nchw(self, c):
        c = np.asarray(c, np.float32)
        if c.ndim == 0:
            return self.b.const(c, "k")
        c = c.reshape((1,) * (4 - c.ndim) + c.shape).transpose(0, 3, 1, 2)
        return self.b.const(c, "k")

    def binary(self, kind, a, b):
        if isinstance(a, Sym) and isinstance(b, Sym):
            a, b = self.materialize(a), self.materialize(b)
            shape = list(np.broadcast_shapes(tuple(a.shape), tuple(b.shape)))
            # Keep the full-size operand first: OpenCV broadcasts the second one.
            if a.shape != shape:
                if kind in ("Sub", "Div"):
                    raise ValueError("cannot reorder %s" % kind)
                a, b = b, a
            return Sym(self.b.node(kind, [a.name, b.name]), shape)
        if isinstance(a, Sym):
            a = self.materialize(a)
            return Sym(self.b.node(kind, [a.name, self.const_nchw(b)]), a.shape)
        b = self.materialize(b)
        if kind == "Sub":  # c − x as (−1)·x + c
            negated = self.b.node("Mul", [b.name, self.b.const(np.float32(-1), "k")])
            return Sym(self.b.node("Add", [negated, self.const_nchw(a)]), b.shape)
        if kind in ("Add", "Mul"):
            return Sym(self.b.node(kind, [b.name, self.const_nchw(a)]), b.shape)
        raise ValueError("constant on the left of %s" % kind)

    def op_Mul(self, node, a, b):
        return self.binary("Mul", a, b)

    def op_AddV2(self, node, a, b):
        return self.binary("Add", a, b)

    op_Add = op_AddV2

    def op_Sub(self, node, a, b):
        return self.binary("Sub", a, b)

    def op_RealDiv(self, node, a, b):
        return self.binary("Div", a, b)

    def op_Square(self, node, x):
        return self.binary("Mul", x, x)

    def clip(self, x, low, high):
        x = self.materialize(x)
        return Sym(self.b.clip(x.name, low, high), x.shape)

    def op_Minimum(self, node, x, c):
        return self.clip(x, -FLT_MAX, float(np.asarray(c)))

    def op_Maximum(self, node, x, c):
        return self.clip(x, float(np.asarray(c)), FLT_MAX)

    def op_Relu6(self, node, x):
        return self.clip(x, 0, 6)

    def unary(self, kind, x):
        x = self.materialize(x)
        return Sym(self.b.node(kind, [x.name]), x.shape)

    def op_Relu(self, node, x):
        return self.unary("Relu", x)

    def op_Sigmoid(self, node, x):
        return self.unary("Sigmoid", x)

    def op_Tanh(self, node, x):
        return self.unary("Tanh", x)

    def op_Identity(self, node, x):
        return x

    def op_Shape(self, node, x):
        return np.array(x.shape, np.int32)

    def op_Pad(self, node, x, paddings):
        p = np.asarray(paddings)
        if p[0].any() or p[3].any():
            raise ValueError("padding outside the picture's plane")
        t, b, l, r = x.pad
        return Sym(x.name, x.shape, (t + p[1][0], b + p[1][1], l + p[2][0], r + p[2][1]))

    def op_SpaceToBatchND(self, node, x, block, paddings):
        return SpaceToBatch(x, [int(v) for v in block], np.asarray(paddings))

    def op_BatchToSpaceND(self, node, x, block, crops):
        sym = x.sym
        c = np.asarray(crops)
        if not c.any():
            return sym
        n, h, w, ch = sym.shape
        starts = self.b.const(np.array([c[0][0], c[1][0]], np.int64), "starts")
        ends = self.b.const(np.array([h - c[0][1], w - c[1][1]], np.int64), "ends")
        axes = self.b.const(np.array([2, 3], np.int64), "axes")
        name = self.b.node("Slice", [sym.name, starts, ends, axes])
        return Sym(name, [n, h - c[0][0] - c[0][1], w - c[1][0] - c[1][1], ch])

    def convolution(self, node, x, w, bias, depthwise):
        dilation = [1, 1]
        extra = (0, 0, 0, 0)
        wrapped = isinstance(x, SpaceToBatch)
        if wrapped:
            dilation = x.block
            p = x.paddings
            extra = (p[0][0], p[0][1], p[1][0], p[1][1])
            x = x.source
        strides = node.ints("strides")[1:3]
        dilation = [a * b for a, b in zip(dilation, node.ints("dilations")[1:3] or [1, 1])]
        if depthwise:
            kh, kw, c, m = w.shape
            weights = w.reshape(kh, kw, c * m).transpose(2, 0, 1)[:, None, :, :]
            group, out_channels = c, c * m
        else:
            kh, kw, _, out_channels = w.shape
            weights = w.transpose(3, 2, 0, 1)
            group = 1
        t, b_, l, r = [a + e for a, e in zip(x.pad, extra)]
        n, h, wd, _ = x.shape
        h, wd = h + t + b_, wd + l + r
        padding = node.string("padding")
        if padding == "SAME":
            st, sb = same_pads(h, kh, strides[0], dilation[0])
            sl, sr = same_pads(wd, kw, strides[1], dilation[1])
            t, b_, l, r = t + st, b_ + sb, l + sl, r + sr
            h, wd = h + st + sb, wd + sl + sr
        elif padding != "VALID":
            raise ValueError("unsupported padding %s" % padding)
        if bias is None:
            bias = np.zeros(out_channels, np.float32)
        name = self.b.node("Conv", [x.name, self.b.const(weights.astype(np.float32), "w"),
                                    self.b.const(bias.astype(np.float32), "b")],
                           kernel_shape=[kh, kw], strides=strides, dilations=dilation,
                           pads=[t, l, b_, r], group=group)
        oh = (h - (kh - 1) * dilation[0] - 1) // strides[0] + 1
        ow = (wd - (kw - 1) * dilation[1] - 1) // strides[1] + 1
        y = Sym(name, [n, oh, ow, out_channels])
        for fused in node.strings("fused_ops")[1:]:
            y = self.clip(y, 0, 6) if fused == "Relu6" else self.unary("Relu", y)
        return DilatedResult(y) if wrapped else y

    def op__FusedConv2D(self, node, x, w, bias):
        return self.convolution(node, x, w, bias, False)

    def op_Conv2D(self, node, x, w):
        return self.convolution(node, x, w, None, False)

    def op_FusedDepthwiseConv2dNative(self, node, x, w, bias):
        return self.convolution(node, x, w, bias, True)

    def op_DepthwiseConv2dNative(self, node, x, w):
        return self.convolution(node, x, w, None, True)

    def op_Mean(self, node, x, axes):
        if sorted(int(a) % 4 for a in np.atleast_1d(axes)) != [1, 2] or not node.bool("keep_dims"):
            raise ValueError("only spatial means with kept dimensions are supported")
        x = self.materialize(x)
        return Sym(self.b.node("GlobalAveragePool", [x.name]), [x.shape[0], 1, 1, x.shape[3]])

    def op_AvgPool(self, node, x):
        x = self.materialize(x)
        kh, kw = node.ints("ksize")[1:3]
        sh, sw = node.ints("strides")[1:3]
        n, h, w, c = x.shape
        pads = [0, 0, 0, 0]
        if node.string("padding") == "SAME":
            t, b = same_pads(h, kh, sh)
            l, r = same_pads(w, kw, sw)
            pads = [t, l, b, r]
        name = self.b.node("AveragePool", [x.name], kernel_shape=[kh, kw], strides=[sh, sw],
                           pads=pads, count_include_pad=0)
        oh = (h + pads[0] + pads[2] - kh) // sh + 1
        ow = (w + pads[1] + pads[3] - kw) // sw + 1
        return Sym(name, [n, oh, ow, c])

    def op_ResizeBilinear(self, node, x, size):
        x = self.materialize(x)
        if node.bool("align_corners"):
            mode = "align_corners"
        elif node.bool("half_pixel_centers"):
            mode = "half_pixel"
        else:
            mode = "asymmetric"
        oh, ow = int(size[0]), int(size[1])
        scales = np.array([1, 1, oh / x.shape[1], ow / x.shape[2]], np.float32)
        name = self.b.node("Resize", [x.name, self.b.const(np.zeros(0, np.float32), "roi"),
                                      self.b.const(scales, "scales")],
                           mode="linear", coordinate_transformation_mode=mode)
        return Sym(name, [x.shape[0], oh, ow, x.shape[3]])

    def op_ConcatV2(self, *args):
        node, values, axis = args[0], args[1:-1], int(args[-1]) % 4
        syms = [self.materialize(v) for v in values]
        shape = list(syms[0].shape)
        shape[axis] = sum(s.shape[axis] for s in syms)
        return Sym(self.b.node("Concat", [s.name for s in syms], axis=NCHW_AXIS[axis]), shape)

    def split(self, x, sizes, axis):
        x = self.materialize(x)
        axis = int(axis) % 4
        names = self.b.node("Split", [x.name], outputs=len(sizes), axis=NCHW_AXIS[axis],
                            split=[int(s) for s in sizes])
        names = names if isinstance(names, list) else [names]
        out = []
        for name, size in zip(names, sizes):
            shape = list(x.shape)
            shape[axis] = int(size)
            out.append(Sym(name, shape))
        return out

    def op_Split(self, node, axis, x):
        n = node.int("num_split")
        return self.split(x, [x.shape[int(axis) % 4] // n] * n, axis)

    def op_SplitV(self, node, x, sizes, axis):
        return self.split(x, list(np.asarray(sizes)), axis)

    def slice(self, x, begins, ends):
        x = self.materialize(x)
        axes, starts, stops, shape = [], [], [], list(x.shape)
        for axis, (b, e) in enumerate(zip(begins, ends)):
            if (b, e) != (0, x.shape[axis]):
                axes.append(NCHW_AXIS[axis])
                starts.append(b)
                stops.append(e)
                shape[axis] = e - b
        if not axes:
            return x
        name = self.b.node("Slice", [x.name, self.b.const(np.array(starts, np.int64), "starts"),
                                     self.b.const(np.array(stops, np.int64), "ends"),
                                     self.b.const(np.array(axes, np.int64), "axes")])
        return Sym(name, shape)

    def op_Slice(self, node, x, begin, size):
        begins = [int(b) for b in begin]
        ends = [x.shape[i] if int(s) == -1 else b + int(s) for i, (b, s) in enumerate(zip(begins, size))]
        return self.slice(x, begins, ends)

    def op_StridedSlice(self, node, x, begin, end, strides):
        if any(int(s) != 1 for s in strides) or node.int("shrink_axis_mask") or node.int("ellipsis_mask") \
                or node.int("new_axis_mask"):
            raise ValueError("only plain slices of run-time values are supported")
        begins, ends = [], []
        for i in range(4):
            b = 0 if node.int("begin_mask") & (1 << i) or i >= len(begin) else int(begin[i]) % (x.shape[i] + 1)
            e = x.shape[i] if node.int("end_mask") & (1 << i) or i >= len(end) else int(end[i])
            e = e if e >= 0 else x.shape[i] + e
            begins.append(b)
            ends.append(min(e, x.shape[i]))
        return self.slice(x, begins, ends)

    def op_BroadcastTo(self, node, x, shape):
        shape = [int(v) for v in shape]
        if isinstance(x, StatePlaceholder):
            self.inputs.append((x.name, nchw(shape)))
            return Sym(x.name, shape)
        raise ValueError("BroadcastTo of a run-time value")

    def convert(self, outputs):
        model_outputs = []
        for public, ref in outputs:
            value = self.materialize(self.output(ref))
            self.b.rename(value.name, public)
            model_outputs.append((public, nchw(value.shape)))
        # Opset 11: Resize's coordinate modes. Clip is written with attributes (see
        # OnnxBuilder.clip), the form OpenCV 4.6 reads.
        return self.b.model(self.inputs, model_outputs, opset=11)


def convert(json_path, width, height):
    nodes, weights, outs = tfjs.read_model(json_path)
    wanted = [("pha", outs["pha"])] + [(s + "o", outs[s + "o"]) for s in STATES]
    return Converter(nodes, weights, width, height).convert(wanted)
