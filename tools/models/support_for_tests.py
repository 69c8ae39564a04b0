"""Shared pieces of the converter tests: where things are, and running ONNX in OpenCV."""

import os
import subprocess
import tempfile

import numpy as np

CACHE = os.environ.get("PELLIQO_MODEL_CACHE", os.path.expanduser("~/.cache/pelliqo/npm"))
PEOPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "data", "people")


def run_in_opencv(model, inputs, outputs):
    """Runs an ONNX model (ModelProto or path) in OpenCV's DNN module, as the application does."""
    import cv2
    import onnx
    with tempfile.TemporaryDirectory() as tmp:
        path = model
        if not isinstance(model, str):
            path = os.path.join(tmp, "model.onnx")
            onnx.save(model, path)
        net = cv2.dnn.readNetFromONNX(path)
        net.setPreferableBackend(cv2.dnn.DNN_BACKEND_OPENCV)
        for name, array in inputs.items():
            net.setInput(np.ascontiguousarray(array, dtype=np.float32), name)
        return dict(zip(outputs, net.forward(list(outputs))))


def photo(name):
    """A test photo as float RGB in 0…1, [H, W, 3], decoded by ffmpeg."""
    path = os.path.join(PEOPLE, name + ".png")
    size = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=width,height", "-of", "csv=p=0", path],
                          check=True, capture_output=True, text=True).stdout.strip().split(",")
    w, h = int(size[0]), int(size[1])
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         check=True, capture_output=True).stdout
    return np.frombuffer(raw, np.uint8).reshape(h, w, 3).astype(np.float32) / 255
