"""A plain numpy evaluation of the ONNX operators ISNet uses, to check conversions against
their source graph (Debian's onnx has no reference evaluator).

Computes in float32; a Cast to float16 rounds the values as the source would.
"""

import numpy as np
from onnx import helper, numpy_helper, TensorProto


def attributes(node):
    return {a.name: helper.get_attribute_value(a) for a in node.attribute}


def conv(x, w, b, strides, pads, dilations, group):
    if group != 1:
        raise NotImplementedError("grouped convolution")
    x = np.pad(x, ((0, 0), (0, 0), (pads[0], pads[2]), (pads[1], pads[3])))
    n, c, h, width = x.shape
    k, _, kh, kw = w.shape
    out_h = (h - dilations[0] * (kh - 1) - 1) // strides[0] + 1
    out_w = (width - dilations[1] * (kw - 1) - 1) // strides[1] + 1
    kernel = w.reshape(k, -1)
    out = np.empty((n, k, out_h, out_w), np.float32)
    # A band of output rows at a time keeps the unfolded input small.
    band = max(1, (1 << 24) // max(1, c * kh * kw * out_w))
    for top in range(0, out_h, band):
        rows = range(top, min(top + band, out_h))
        patches = np.empty((c, kh, kw, len(rows), out_w), np.float32)
        for i in range(kh):
            for j in range(kw):
                y0 = top * strides[0] + i * dilations[0]
                x0 = j * dilations[1]
                patches[:, i, j] = x[0, :, y0:y0 + (len(rows) - 1) * strides[0] + 1:strides[0],
                                     x0:x0 + (out_w - 1) * strides[1] + 1:strides[1]]
        out[0, :, top:top + len(rows)] = (kernel @ patches.reshape(c * kh * kw, -1)).reshape(k, len(rows), out_w)
    if b is not None:
        out += b.reshape(1, -1, 1, 1)
    return out


def max_pool(x, kernel, strides, ceil_mode):
    n, c, h, w = x.shape
    rounding = np.ceil if ceil_mode else np.floor
    out_h = int(rounding((h - kernel[0]) / strides[0])) + 1
    out_w = int(rounding((w - kernel[1]) / strides[1])) + 1
    padded = np.full((n, c, (out_h - 1) * strides[0] + kernel[0], (out_w - 1) * strides[1] + kernel[1]),
                     -np.inf, np.float32)
    padded[:, :, :h, :w] = x
    out = np.full((n, c, out_h, out_w), -np.inf, np.float32)
    for i in range(kernel[0]):
        for j in range(kernel[1]):
            out = np.maximum(out, padded[:, :, i:i + (out_h - 1) * strides[0] + 1:strides[0],
                                         j:j + (out_w - 1) * strides[1] + 1:strides[1]])
    return out


def linear_axis(size_in, size_out):
    """Half-pixel bilinear sampling along one axis: lower indices, upper indices, weights."""
    position = np.clip((np.arange(size_out) + 0.5) * size_in / size_out - 0.5, 0, size_in - 1)
    low = np.floor(position).astype(int)
    high = np.minimum(low + 1, size_in - 1)
    return low, high, (position - low).astype(np.float32)


def resize_linear(x, height, width):
    y0, y1, wy = linear_axis(x.shape[2], height)
    x0, x1, wx = linear_axis(x.shape[3], width)
    rows = x[:, :, y0] * (1 - wy)[:, None] + x[:, :, y1] * wy[:, None]
    return rows[..., x0] * (1 - wx) + rows[..., x1] * wx


def in_order(nodes, known):
    """The nodes so that each comes after those it reads (a converted graph may list a cast
    after its readers)."""
    known, waiting, ordered = set(known), list(nodes), []
    while waiting:
        ready = [n for n in waiting if all(not i or i in known for i in n.input)]
        if not ready:
            raise ValueError("the graph has a cycle or an unknown input")
        for node in ready:
            ordered.append(node)
            known.update(node.output)
        waiting = [n for n in waiting if all(n is not r for r in ready)]
    return ordered


def run(model, feeds, output):
    """Evaluates the graph up to one output."""
    values = {t.name: numpy_helper.to_array(t).astype(np.float32)
              if t.data_type == TensorProto.FLOAT16 else numpy_helper.to_array(t)
              for t in model.graph.initializer}
    values.update(feeds)
    nodes = in_order(model.graph.node, set(values))
    # Activations at 1024² run to gigabytes: each goes once its last reader has run.
    last_use = {name: i for i, node in enumerate(nodes) for name in node.input}
    for index, node in enumerate(nodes):
        a = attributes(node)
        x = [values[i] if i else None for i in node.input]
        op = node.op_type
        if op == "Constant":
            y = numpy_helper.to_array(a["value"])
        elif op == "Cast":
            y = x[0].astype(np.float16).astype(np.float32) if a["to"] == TensorProto.FLOAT16 else x[0]
        elif op == "Conv":
            y = conv(x[0], x[1].astype(np.float32), x[2] if len(x) > 2 else None, a.get("strides", [1, 1]),
                     a.get("pads", [0, 0, 0, 0]), a.get("dilations", [1, 1]), a.get("group", 1))
        elif op == "Relu":
            y = np.maximum(x[0], 0)
        elif op == "Sigmoid":
            y = 0.5 * (1 + np.tanh(0.5 * x[0]))
        elif op == "Add":
            y = x[0] + x[1]
        elif op == "Concat":
            y = np.concatenate(x, axis=a["axis"])
        elif op == "Shape":
            y = np.array(x[0].shape, np.int64)
        elif op == "Slice":
            y = x[0][slice(int(x[1][0]), int(x[2][0]))] if list(x[3]) == [0] else None
        elif op == "MaxPool":
            y = max_pool(x[0], a["kernel_shape"], a["strides"], a.get("ceil_mode", 0))
        elif op == "Resize" and a.get("mode") == b"linear" and a.get("coordinate_transformation_mode") == b"half_pixel":
            y = resize_linear(x[0], int(x[3][2]), int(x[3][3]))
        else:
            y = None
        if y is None:
            raise NotImplementedError("%s %s" % (op, a))
        values[node.output[0]] = y
        if node.output[0] == output:
            return y
        for name in node.input:
            if name and last_use.get(name) == index:
                del values[name]
    raise KeyError(output)
