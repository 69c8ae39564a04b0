"""Converts ISNet (dichotomous image segmentation) from its half-precision ONNX into a
float32 ONNX at a fixed, smaller square size that OpenCV 4.6 runs.

The package stores the network split into chunks named by their SHA-256, listed in its
dist/resources.json. The source computes in float16 between Cast nodes, which OpenCV 4.6
cannot run: the weights are widened to float32 and the casts dropped. Its upsampling
targets are constants for a 1024×1024 input; they are scaled to the chosen size. Input
"input" [1, 3, S, S] RGB as value / 255 − 0.5; output "output" [1, 1, S, S], 1 = subject.
"""

import copy
import hashlib
import json
import os

import numpy as np
import onnx
from onnx import helper, numpy_helper, TensorProto

SOURCE_SIZE = 1024
# The deepest upsampling target is 1/32 of the input.
SIZE_STEP = 32


def read_package_model(root, resource):
    """Joins the chunks of one resource of the package, each checked against its name."""
    dist = os.path.join(root, "package", "dist")
    with open(os.path.join(dist, "resources.json")) as f:
        entry = json.load(f)[resource]
    data = bytearray()
    for chunk in entry["chunks"]:
        with open(os.path.join(dist, chunk["hash"]), "rb") as f:
            part = f.read()
        start, end = chunk["offsets"]
        if hashlib.sha256(part).hexdigest() != chunk["hash"] or len(part) != end - start:
            raise ValueError("isnet: chunk %s of %s is damaged" % (chunk["hash"], resource))
        data += part
    if len(data) != entry["size"]:
        raise ValueError("isnet: %s is %d bytes, expected %d" % (resource, len(data), entry["size"]))
    return onnx.load_from_string(bytes(data))


def widened(tensor):
    if tensor.data_type != TensorProto.FLOAT16:
        return tensor
    return numpy_helper.from_array(numpy_helper.to_array(tensor).astype(np.float32), tensor.name)


def convert(source, size):
    if size <= 0 or size % SIZE_STEP:
        raise ValueError("isnet: the size must be a positive multiple of %d" % SIZE_STEP)
    graph = source.graph  # read only: each node is copied before it changes

    # A cast's output is its input from now on. Only casts between float types can go.
    casts = [n for n in graph.node if n.op_type == "Cast"]
    if any(helper.get_attribute_value(n.attribute[0]) not in (TensorProto.FLOAT, TensorProto.FLOAT16)
           for n in casts):
        raise ValueError("isnet: a cast to a type other than float")
    alias = {n.output[0]: n.input[0] for n in casts}

    def resolve(name):
        while name in alias:
            name = alias[name]
        return name

    # The one output kept takes the name of the value its final cast read.
    renamed = {resolve("output"): "output"}

    def final(name):
        name = resolve(name)
        return renamed.get(name, name)

    nodes = []
    for node in graph.node:
        if node.op_type == "Cast":
            continue
        node = copy.deepcopy(node)
        node.input[:] = [final(i) if i else i for i in node.input]
        node.output[:] = [renamed.get(o, o) for o in node.output]
        if node.op_type == "Constant":
            node.attribute[0].t.CopyFrom(widened(node.attribute[0].t))
        nodes.append(node)

    scale_resize_targets(nodes, size)
    kept = needed_by(nodes, "output")
    initializers = [widened(t) for t in graph.initializer]
    used = {i for n in kept for i in n.input}
    out = helper.make_graph(
        kept, "isnet_%d" % size,
        [helper.make_tensor_value_info("input", TensorProto.FLOAT, [1, 3, size, size])],
        [helper.make_tensor_value_info("output", TensorProto.FLOAT, [1, 1, size, size])],
        [t for t in initializers if t.name in used])
    model = helper.make_model(out, producer_name="pelliqo-models", opset_imports=source.opset_import)
    model.ir_version = 7
    return model


def scale_resize_targets(nodes, size):
    """Each Resize's target is Concat(first two dims of a shape, constant height and width):
    the constant, made for a 1024 input, is scaled to this size."""
    constants = {n.output[0]: n for n in nodes if n.op_type == "Constant"}
    by_output = {n.output[0]: n for n in nodes}
    done = set()
    for node in nodes:
        if node.op_type != "Resize":
            continue
        concat = by_output[node.input[3]]
        constant = constants[concat.input[1]]
        if constant.output[0] in done:
            continue
        target = numpy_helper.to_array(constant.attribute[0].t)
        if np.any(target * size % SOURCE_SIZE):
            raise ValueError("isnet: a target of %s does not scale to %d" % (target, size))
        scaled = (target * size // SOURCE_SIZE).astype(target.dtype)
        constant.attribute[0].t.CopyFrom(numpy_helper.from_array(scaled, constant.attribute[0].t.name))
        done.add(constant.output[0])


def needed_by(nodes, output):
    by_output = {o: n for n in nodes for o in n.output}
    wanted, stack = set(), [output]
    while stack:
        node = by_output.get(stack.pop())
        if node is None or id(node) in wanted:
            continue
        wanted.add(id(node))
        stack.extend(i for i in node.input if i)
    return [n for n in nodes if id(n) in wanted]
