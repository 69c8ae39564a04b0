"""A small helper for writing ONNX graphs node by node."""

import numpy as np
import onnx
from onnx import helper, numpy_helper, TensorProto



class OnnxBuilder:
    def __init__(self, name):
        self.name = name
        self.nodes = []
        self.initializers = []
        self._count = 0

    def fresh(self, hint):
        self._count += 1
        return "%s_%d" % (hint, self._count)

    def const(self, array, hint="const"):
        name = self.fresh(hint)
        self.initializers.append(numpy_helper.from_array(np.ascontiguousarray(array), name))
        return name

    def node(self, op, inputs, hint=None, outputs=1, **attrs):
        names = [self.fresh(hint or op.lower()) for _ in range(outputs)]
        self.nodes.append(helper.make_node(op, inputs, names, **attrs))
        return names[0] if outputs == 1 else names

    def clip(self, x, low, high):
        # Bounds as attributes (the opset-10 form): OpenCV 4.6 ignores Clip's min/max inputs.
        # Models holding such a Clip do not pass the ONNX checker at opset 11 and later.
        name = self.fresh("clip")
        self.nodes.append(helper.make_node("Clip", [x], [name], min=float(low), max=float(high)))
        return name

    def rename(self, value, name):
        """Gives a value its public name (a graph input or output)."""
        self.nodes.append(helper.make_node("Identity", [value], [name]))
        return name

    def model(self, inputs, outputs, opset):
        graph = helper.make_graph(
            self.nodes, self.name,
            [helper.make_tensor_value_info(n, TensorProto.FLOAT, s) for n, s in inputs],
            [helper.make_tensor_value_info(n, TensorProto.FLOAT, s) for n, s in outputs],
            self.initializers)
        model = helper.make_model(graph, producer_name="pelliqo-models",
                                  opset_imports=[helper.make_opsetid("", opset)])
        model.ir_version = 7
        return model


def same_pads(size, kernel, stride, dilation=1):
    """TensorFlow's SAME padding for one axis: (before, after), the extra pixel after."""
    effective = (kernel - 1) * dilation + 1
    out = -(-size // stride)
    total = max((out - 1) * stride + effective - size, 0)
    return total // 2, total - total // 2
