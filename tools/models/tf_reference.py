"""Evaluates a TensorFlow graph (as stored in a TensorFlow.js model) with numpy, NHWC.

Follows TensorFlow's definitions of each operation, including the Switch/Merge control
flow of conditionals: an untaken branch carries a "dead" value that Merge skips.
"""

import numpy as np

import tflite_reference as ops

DEAD = object()  # the value on an untaken branch


def strided_slice(x, node, begin, end, strides):
    """TensorFlow's StridedSlice with its masks."""
    begin_mask, end_mask = node.int("begin_mask"), node.int("end_mask")
    ellipsis_mask, new_axis_mask = node.int("ellipsis_mask"), node.int("new_axis_mask")
    shrink_mask = node.int("shrink_axis_mask")
    if ellipsis_mask or new_axis_mask:
        raise ValueError("StridedSlice with ellipsis or new axes is not supported")
    index = []
    for i in range(len(begin)):
        if shrink_mask & (1 << i):
            index.append(int(begin[i]))
            continue
        b = None if begin_mask & (1 << i) else int(begin[i])
        e = None if end_mask & (1 << i) else int(end[i])
        index.append(slice(b, e, int(strides[i])))
    return x[tuple(index)]


def avg_pool(x, k, s, padding):
    """Average pooling; with SAME, padded cells are left out of the average."""
    kh, kw = k
    sh, sw = s
    if padding == "SAME":
        ones = np.ones(x.shape[:3] + (1,), np.float32)
        xp = ops.pad_same(x, kh, kw, sh, sw)
        op = ops.pad_same(ones, kh, kw, sh, sw)
    else:
        xp, op = x, np.ones(x.shape[:3] + (1,), np.float32)
    total = ops.patches(xp, kh, kw, sh, sw, 1, 1).astype(np.float64).sum(axis=(3, 4))
    count = ops.patches(op, kh, kw, sh, sw, 1, 1).astype(np.float64).sum(axis=(3, 4))
    return (total / count).astype(np.float32)


def space_to_batch(x, block, paddings):
    n, h, w, c = x.shape
    x = np.pad(x, ((0, 0), tuple(paddings[0]), tuple(paddings[1]), (0, 0)))
    bh, bw = block
    hp, wp = x.shape[1] // bh, x.shape[2] // bw
    x = x.reshape(n, hp, bh, wp, bw, c).transpose(2, 4, 0, 1, 3, 5)
    return x.reshape(bh * bw * n, hp, wp, c)


def batch_to_space(x, block, crops):
    bh, bw = block
    nb, h, w, c = x.shape
    n = nb // (bh * bw)
    x = x.reshape(bh, bw, n, h, w, c).transpose(2, 3, 0, 4, 1, 5).reshape(n, h * bh, w * bw, c)
    return x[:, crops[0][0]:x.shape[1] - crops[0][1], crops[1][0]:x.shape[2] - crops[1][1], :]


def conv(node, x, w, bias=None, depthwise=False):
    strides = node.ints("strides")[1:3]
    dilations = node.ints("dilations")[1:3] or [1, 1]
    padding = node.string("padding")
    if padding == "EXPLICIT":
        p = node.ints("explicit_paddings")
        x = np.pad(x, ((0, 0), (p[2], p[3]), (p[4], p[5]), (0, 0)))
        padding = "VALID"
    if depthwise:
        kh, kw, c, m = w.shape
        filt = w.reshape(1, kh, kw, c * m)
    else:
        filt = w.transpose(3, 0, 1, 2)
    b = bias if bias is not None else np.zeros(filt.shape[0] if not depthwise else filt.shape[3], np.float32)
    y = ops.conv2d(x, filt, b, strides, padding, dilations, depthwise)
    for fused in node.strings("fused_ops")[1:]:
        if fused == "Relu":
            y = np.maximum(y, 0)
        elif fused == "Relu6":
            y = np.clip(y, 0, 6)
        else:
            raise ValueError("unsupported fused op %s" % fused)
    return y


CAST = {1: np.float32, 3: np.int32, 10: np.bool_, "DT_FLOAT": np.float32, "DT_INT32": np.int32, "DT_BOOL": np.bool_}


def evaluate(node, x):
    """The outputs (a list) of one node from its input values (numpy arrays)."""
    op = node.op
    binary = {"Mul": np.multiply, "AddV2": np.add, "Add": np.add, "Sub": np.subtract,
              "RealDiv": np.divide, "Minimum": np.minimum, "Maximum": np.maximum,
              "FloorMod": np.mod, "Equal": np.equal}
    if op in binary:
        return [binary[op](x[0], x[1])]
    if op == "Square":
        return [x[0] * x[0]]
    if op == "Relu":
        return [np.maximum(x[0], 0)]
    if op == "Relu6":
        return [np.clip(x[0], 0, 6)]
    if op == "Sigmoid":
        with np.errstate(over="ignore"):
            return [(1 / (1 + np.exp(-x[0]))).astype(np.float32)]
    if op == "Tanh":
        return [np.tanh(x[0])]
    if op == "Identity":
        return [x[0]]
    if op == "Shape":
        return [np.array(x[0].shape, np.int32)]
    if op == "Pack":
        return [np.stack(x, axis=node.int("axis"))]
    if op == "ConcatV2":
        return [np.concatenate(x[:-1], axis=int(x[-1]))]
    if op == "StridedSlice":
        return [strided_slice(x[0], node, x[1], x[2], x[3])]
    if op == "Slice":
        size = [x[0].shape[i] - b if s == -1 else s for i, (b, s) in enumerate(zip(x[1], x[2]))]
        return [x[0][tuple(slice(int(b), int(b) + int(s)) for b, s in zip(x[1], size))]]
    if op == "Pad":
        return [np.pad(x[0], [tuple(p) for p in x[1]])]
    if op == "Split":
        return list(np.split(x[1], node.int("num_split"), axis=int(x[0])))
    if op == "SplitV":
        return list(np.split(x[0], np.cumsum(x[1])[:-1], axis=int(x[2])))
    if op == "Squeeze":
        dims = node.ints("squeeze_dims")
        return [np.squeeze(x[0], axis=tuple(dims) if dims else None)]
    if op == "Cast":
        return [x[0].astype(CAST[node.attr["DstT"]["type"]])]
    if op == "BroadcastTo":
        return [np.broadcast_to(x[0], tuple(int(v) for v in x[1])).copy()]
    if op == "Mean":
        return [x[0].mean(axis=tuple(np.atleast_1d(x[1]).tolist()), keepdims=node.bool("keep_dims"),
                          dtype=np.float64).astype(x[0].dtype)]
    if op == "ResizeBilinear":
        return [ops.resize_bilinear(x[0], [int(v) for v in x[1]], node.bool("align_corners"),
                                    node.bool("half_pixel_centers"))]
    if op == "AvgPool":
        return [avg_pool(x[0], node.ints("ksize")[1:3], node.ints("strides")[1:3], node.string("padding"))]
    if op == "SpaceToBatchND":
        return [space_to_batch(x[0], x[1], x[2])]
    if op == "BatchToSpaceND":
        return [batch_to_space(x[0], x[1], x[2])]
    if op in ("Conv2D", "_FusedConv2D"):
        return [conv(node, x[0], x[1], x[2] if op == "_FusedConv2D" else None)]
    if op in ("DepthwiseConv2dNative", "FusedDepthwiseConv2dNative"):
        return [conv(node, x[0], x[1], x[2] if op.startswith("Fused") else None, depthwise=True)]
    raise ValueError("no reference for %s" % op)


class Graph:
    """Evaluates nodes on demand, memoised; subclasses may handle values of their own."""

    def __init__(self, nodes, weights, feeds):
        self.nodes = {n.name: n for n in nodes}
        self.weights = weights
        self.feeds = feeds
        self.values = {}

    def output(self, ref):
        name, _, index = ref.partition(":")
        return self.outputs(name)[int(index) if index else 0]

    def outputs(self, name):
        if name not in self.values:
            self.values[name] = self.compute(self.nodes[name])
        return self.values[name]

    def compute(self, node):
        if node.op == "Const":
            return [self.weights[node.name]]
        if node.op == "Placeholder":
            return [self.feeds[node.name]]
        if node.op == "NoOp":
            return []
        inputs = [self.output(i) for i in node.inputs]
        if node.op == "Merge":
            live = [(v, i) for i, v in enumerate(inputs) if v is not DEAD]
            return [live[0][0], np.int32(live[0][1])] if live else [DEAD, DEAD]
        if any(v is DEAD for v in inputs):
            return [DEAD, DEAD]
        if node.op == "Switch":
            taken = bool(np.asarray(inputs[1]))
            return [DEAD, inputs[0]] if taken else [inputs[0], DEAD]
        return self.apply(node, inputs)

    def apply(self, node, inputs):
        return evaluate(node, inputs)
