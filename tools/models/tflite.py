"""Reads the parts of a TensorFlow Lite model file that the converter needs.

A .tflite file is a FlatBuffer. Only tables, vectors, strings and scalars are read, which
is all the model schema uses for graphs, tensors and operator options.
"""

import struct
from dataclasses import dataclass, field

import numpy as np

# The builtin operators that appear in the segmentation models, by their schema number.
BUILTIN_NAMES = {
    0: "ADD", 1: "AVERAGE_POOL_2D", 2: "CONCATENATION", 3: "CONV_2D", 4: "DEPTHWISE_CONV_2D",
    6: "DEQUANTIZE", 14: "LOGISTIC", 17: "MAX_POOL_2D", 18: "MUL", 19: "RELU", 21: "RELU6",
    22: "RESHAPE", 23: "RESIZE_BILINEAR", 28: "TANH", 32: "CUSTOM", 34: "PAD", 40: "MEAN",
    41: "SUB", 42: "DIV", 54: "PRELU", 67: "TRANSPOSE_CONV", 117: "HARD_SWISH",
}

TENSOR_TYPES = {0: np.float32, 1: np.float16, 2: np.int32, 3: np.uint8, 4: np.int64, 9: np.int8}


class Table:
    """One FlatBuffer table: fields are read by their index in the schema."""

    def __init__(self, buf, pos):
        self.buf = buf
        self.pos = pos
        vtable = pos - struct.unpack_from("<i", buf, pos)[0]
        self.vtable = vtable
        self.vtable_size = struct.unpack_from("<H", buf, vtable)[0]

    def _offset(self, index):
        slot = 4 + 2 * index
        if slot >= self.vtable_size:
            return 0
        return struct.unpack_from("<H", self.buf, self.vtable + slot)[0]

    def has(self, index):
        return self._offset(index) != 0

    def scalar(self, index, fmt, default=0):
        off = self._offset(index)
        if off == 0:
            return default
        return struct.unpack_from("<" + fmt, self.buf, self.pos + off)[0]

    def _indirect(self, index):
        off = self._offset(index)
        if off == 0:
            return None
        at = self.pos + off
        return at + struct.unpack_from("<I", self.buf, at)[0]

    def table(self, index):
        at = self._indirect(index)
        return None if at is None else Table(self.buf, at)

    def string(self, index):
        at = self._indirect(index)
        if at is None:
            return None
        n = struct.unpack_from("<I", self.buf, at)[0]
        return bytes(self.buf[at + 4:at + 4 + n]).decode("utf-8")

    def _vector(self, index):
        at = self._indirect(index)
        if at is None:
            return None, 0
        return at + 4, struct.unpack_from("<I", self.buf, at)[0]

    def scalars(self, index, fmt):
        start, n = self._vector(index)
        if start is None:
            return []
        size = struct.calcsize("<" + fmt)
        return list(struct.unpack_from("<%d%s" % (n, fmt), self.buf, start)) if n else []

    def bytes(self, index):
        start, n = self._vector(index)
        if start is None:
            return b""
        return bytes(self.buf[start:start + n])

    def tables(self, index):
        start, n = self._vector(index)
        if start is None:
            return []
        out = []
        for i in range(n):
            at = start + 4 * i
            out.append(Table(self.buf, at + struct.unpack_from("<I", self.buf, at)[0]))
        return out


@dataclass
class Tensor:
    name: str
    shape: list
    dtype: type
    data: np.ndarray = None  # constant contents, or None for activations


@dataclass
class Operator:
    kind: str                 # builtin name, or the custom op's own name
    inputs: list
    outputs: list
    options: Table = None     # the operator's options table, read by the converter
    custom_options: bytes = b""


@dataclass
class Graph:
    tensors: list
    operators: list
    inputs: list
    outputs: list
    metadata: dict = field(default_factory=dict)


def read_model(path):
    with open(path, "rb") as f:
        buf = f.read()
    if len(buf) < 8 or buf[4:8] != b"TFL3":
        raise ValueError("%s is not a TensorFlow Lite model" % path)
    model = Table(buf, struct.unpack_from("<I", buf, 0)[0])
    codes = []
    for code in model.tables(1):
        builtin = max(code.scalar(0, "b"), code.scalar(3, "i"))
        name = code.string(1) if builtin == 32 else BUILTIN_NAMES.get(builtin, "BUILTIN_%d" % builtin)
        codes.append(name)
    buffers = [b.bytes(0) for b in model.tables(4)]
    subgraphs = model.tables(2)
    if len(subgraphs) != 1:
        raise ValueError("expected one subgraph, found %d" % len(subgraphs))
    sg = subgraphs[0]
    tensors = []
    for t in sg.tables(0):
        dtype = TENSOR_TYPES.get(t.scalar(1, "b"))
        if dtype is None:
            raise ValueError("unsupported tensor type %d" % t.scalar(1, "b"))
        shape = t.scalars(0, "i")
        raw = buffers[t.scalar(2, "I")]
        data = np.frombuffer(raw, dtype=dtype).reshape(shape).copy() if raw else None
        tensors.append(Tensor(t.string(3), shape, dtype, data))
    operators = []
    for op in sg.tables(3):
        operators.append(Operator(codes[op.scalar(0, "I")], op.scalars(1, "i"), op.scalars(2, "i"),
                                  op.table(4), op.bytes(5)))
    return Graph(tensors, operators, sg.scalars(1, "i"), sg.scalars(2, "i"))
