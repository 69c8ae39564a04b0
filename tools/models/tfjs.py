"""Reads a TensorFlow.js graph model: its nodes and its (possibly quantized) weights."""

import json
import os

import numpy as np

DTYPES = {"float32": np.float32, "int32": np.int32, "bool": np.bool_}
QUANTIZED = {"uint8": np.uint8, "uint16": np.uint16, "float16": np.float16}


class Node:
    def __init__(self, stored):
        self.name = stored["name"]
        self.op = stored["op"]
        inputs = stored.get("input", [])
        self.inputs = [i for i in inputs if not i.startswith("^")]  # control edges carry no data
        self.attr = stored.get("attr", {})

    def ints(self, key):
        return [int(v) for v in self.attr.get(key, {}).get("list", {}).get("i", [])]

    def int(self, key, default=0):
        return int(self.attr.get(key, {}).get("i", default))

    def bool(self, key, default=False):
        return bool(self.attr.get(key, {}).get("b", default))

    def string(self, key, default=""):
        import base64
        value = self.attr.get(key, {}).get("s")
        return base64.b64decode(value).decode() if value else default

    def strings(self, key):
        import base64
        return [base64.b64decode(v).decode() for v in self.attr.get(key, {}).get("list", {}).get("s", [])]


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def read_weights(manifest, folder):
    weights = {}
    for group in manifest:
        data = b"".join(read_file(os.path.join(folder, p)) for p in group["paths"])
        offset = 0
        for w in group["weights"]:
            shape = [int(s) for s in w["shape"]]
            count = int(np.prod(shape)) if shape else 1
            q = w.get("quantization")
            dtype = QUANTIZED[q["dtype"]] if q else DTYPES[w["dtype"]]
            size = count * np.dtype(dtype).itemsize
            raw = np.frombuffer(data, dtype, count, offset).reshape(shape)
            offset += size
            if q and q["dtype"] in ("uint8", "uint16"):
                # tfjs dequantization: q · scale + min, in float32.
                raw = raw.astype(np.float32) * np.float32(q["scale"]) + np.float32(q["min"])
            elif q:
                raw = raw.astype(np.float32)
            weights[w["name"]] = raw.astype(DTYPES[w["dtype"]])
        if offset != len(data):
            raise ValueError("weights file size does not match its manifest")
    return weights


def read_model(json_path):
    with open(json_path) as f:
        model = json.load(f)
    nodes = [Node(n) for n in model["modelTopology"]["node"]]
    weights = read_weights(model["weightsManifest"], os.path.dirname(json_path))
    outputs = {k: v["name"] for k, v in model["signature"]["outputs"].items()}
    return nodes, weights, outputs
