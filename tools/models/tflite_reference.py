"""Evaluates a TensorFlow Lite graph with numpy, in TFLite's own NHWC layout.

Written from TFLite's operator definitions and independent of the ONNX converter, so
the converted model can be checked against it.
"""

import struct

import numpy as np

from onnx_builder import same_pads


def pad_same(x, kh, kw, sh, sw, dh=1, dw=1):
    top, bottom = same_pads(x.shape[1], kh, sh, dh)
    left, right = same_pads(x.shape[2], kw, sw, dw)
    return np.pad(x, ((0, 0), (top, bottom), (left, right), (0, 0)))


def patches(x, kh, kw, sh, sw, dh, dw):
    """[N, OH, OW, kh, kw, C] windows of an already padded input."""
    n, h, w, c = x.shape
    oh = (h - (kh - 1) * dh - 1) // sh + 1
    ow = (w - (kw - 1) * dw - 1) // sw + 1
    out = np.empty((n, oh, ow, kh, kw, c), x.dtype)
    for i in range(kh):
        for j in range(kw):
            out[:, :, :, i, j, :] = x[:, i * dh:i * dh + (oh - 1) * sh + 1:sh,
                                      j * dw:j * dw + (ow - 1) * sw + 1:sw, :]
    return out


def conv2d(x, w, b, stride, padding, dilation=(1, 1), depthwise=False):
    """w is [O, kh, kw, I] for a convolution, [1, kh, kw, C·M] for a depthwise one."""
    kh, kw = w.shape[1], w.shape[2]
    if padding == "SAME":
        x = pad_same(x, kh, kw, stride[0], stride[1], dilation[0], dilation[1])
    p = patches(x, kh, kw, stride[0], stride[1], dilation[0], dilation[1]).astype(np.float64)
    if depthwise:
        c = x.shape[3]
        m = w.shape[3] // c
        wd = w[0].reshape(kh, kw, c, m).astype(np.float64)
        y = np.einsum("nhwijc,ijcm->nhwcm", p, wd).reshape(p.shape[0], p.shape[1], p.shape[2], c * m)
    else:
        y = np.einsum("nhwijc,oijc->nhwo", p, w.astype(np.float64))
    return (y + b).astype(np.float32)


def transpose_conv(x, w, b, stride, out_hw):
    """w is [O, kh, kw, I]; TFLite's SAME transposed convolution to out_hw."""
    n, h, wd, _ = x.shape
    o, kh, kw, _ = w.shape
    full = np.zeros((n, (h - 1) * stride[0] + kh, (wd - 1) * stride[1] + kw, o), np.float64)
    for i in range(kh):
        for j in range(kw):
            contrib = np.einsum("nhwc,oc->nhwo", x.astype(np.float64), w[:, i, j, :].astype(np.float64))
            full[:, i:i + (h - 1) * stride[0] + 1:stride[0], j:j + (wd - 1) * stride[1] + 1:stride[1], :] += contrib
    top = (full.shape[1] - out_hw[0]) // 2
    left = (full.shape[2] - out_hw[1]) // 2
    return (full[:, top:top + out_hw[0], left:left + out_hw[1], :] + b).astype(np.float32)


def resize_bilinear(x, size, align_corners, half_pixel):
    n, h, w, c = x.shape
    oh, ow = size

    def coords(out, inp):
        i = np.arange(out, dtype=np.float64)
        if align_corners and out > 1:
            return i * (inp - 1) / (out - 1)
        if half_pixel:
            return np.maximum((i + 0.5) * inp / out - 0.5, 0)
        return i * inp / out

    ys, xs = coords(oh, h), coords(ow, w)
    y0 = np.floor(ys).astype(int); y1 = np.minimum(y0 + 1, h - 1); fy = (ys - y0)[None, :, None, None]
    x0 = np.floor(xs).astype(int); x1 = np.minimum(x0 + 1, w - 1); fx = (xs - x0)[None, None, :, None]
    top = x[:, y0][:, :, x0] * (1 - fx) + x[:, y0][:, :, x1] * fx
    bottom = x[:, y1][:, :, x0] * (1 - fx) + x[:, y1][:, :, x1] * fx
    return (top * (1 - fy) + bottom * fy).astype(np.float32)


def activate(y, code):
    if code == 1:
        return np.maximum(y, 0)
    if code == 3:
        return np.clip(y, 0, 6)
    return y


def run(graph, image):
    """image: [1, H, W, 3] float32. Returns the graph's single output."""
    t = {graph.inputs[0]: image.astype(np.float32)}

    def get(i):
        return t[i] if i in t else graph.tensors[i].data

    for op in graph.operators:
        x = get(op.inputs[0])
        o = op.options
        if op.kind == "DEQUANTIZE":
            y = x.astype(np.float32)
        elif op.kind in ("CONV_2D", "DEPTHWISE_CONV_2D"):
            depthwise = op.kind == "DEPTHWISE_CONV_2D"
            dil = (o.scalar(6 if depthwise else 5, "i", 1), o.scalar(5 if depthwise else 4, "i", 1))
            y = conv2d(x, get(op.inputs[1]), get(op.inputs[2]), (o.scalar(2, "i"), o.scalar(1, "i")),
                       "SAME" if o.scalar(0, "b") == 0 else "VALID", dil, depthwise)
            y = activate(y, o.scalar(4 if depthwise else 3, "b"))
        elif op.kind == "Convolution2DTransposeBias":
            _, sw, sh = struct.unpack("<3i", op.custom_options[:12])
            y = transpose_conv(x, get(op.inputs[1]), get(op.inputs[2]), (sh, sw),
                               graph.tensors[op.outputs[0]].shape[1:3])
        elif op.kind == "HARD_SWISH":
            y = x * np.clip(x + 3, 0, 6) / 6
        elif op.kind == "RELU":
            y = np.maximum(x, 0)
        elif op.kind == "RELU6":
            y = np.clip(x, 0, 6)
        elif op.kind == "LOGISTIC":
            y = 1 / (1 + np.exp(-x))
        elif op.kind in ("ADD", "MUL"):
            other = get(op.inputs[1])
            y = activate(x + other if op.kind == "ADD" else x * other, o.scalar(0, "b") if o else 0)
        elif op.kind == "MEAN":
            y = x.mean(axis=tuple(int(a) for a in get(op.inputs[1])), keepdims=True)
        elif op.kind == "AVERAGE_POOL_2D":
            y = x.mean(axis=(1, 2), keepdims=True)
        elif op.kind == "RESIZE_BILINEAR":
            y = resize_bilinear(x, [int(v) for v in get(op.inputs[1])], o.scalar(2, "b"), o.scalar(3, "b"))
        else:
            raise ValueError("no reference for %s" % op.kind)
        t[op.outputs[0]] = y.astype(np.float32)
    return t[graph.outputs[0]]
