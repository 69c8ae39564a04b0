// Runs an ONNX model with OpenCV's DNN module, for the model converter's tests:
//   onnx_run MODEL.onnx OUT_DIR NAME=INPUT.npy ... -- OUTPUT_NAME ...
// Inputs and outputs are float32 .npy files; each output is written as OUT_DIR/NAME.npy.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <opencv2/dnn.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

cv::Mat readNpy(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[8];
    in.read(magic, 8);
    if (!in || std::string(magic + 1, 5) != "NUMPY") throw std::runtime_error("not .npy: " + path);
    std::uint16_t headerLength = 0;
    in.read(reinterpret_cast<char*>(&headerLength), 2);
    std::string header(headerLength, ' ');
    in.read(header.data(), headerLength);
    if (header.find("'<f4'") == std::string::npos ||
        header.find("'fortran_order': False") == std::string::npos) {
        throw std::runtime_error("need C-order float32: " + path);
    }
    const auto open = header.find('('), close = header.find(')');
    std::vector<int> shape;
    std::stringstream dims(header.substr(open + 1, close - open - 1));
    for (std::string d; std::getline(dims, d, ',');) {
        if (d.find_first_not_of(' ') != std::string::npos) shape.push_back(std::stoi(d));
    }
    cv::Mat mat(static_cast<int>(shape.size()), shape.data(), CV_32F);
    in.read(reinterpret_cast<char*>(mat.data), static_cast<std::streamsize>(mat.total() * 4));
    if (!in) throw std::runtime_error("short .npy: " + path);
    return mat;
}

void writeNpy(const std::string& path, const cv::Mat& mat) {
    std::string shape;
    for (int i = 0; i < mat.dims; ++i) shape += std::to_string(mat.size[i]) + ",";
    std::string header = "{'descr': '<f4', 'fortran_order': False, 'shape': (" + shape + "), }";
    while ((10 + header.size() + 1) % 64 != 0) header += ' ';
    header += '\n';
    std::ofstream out(path, std::ios::binary);
    out.write("\x93NUMPY\x01\x00", 8);
    const auto length = static_cast<std::uint16_t>(header.size());
    out.write(reinterpret_cast<const char*>(&length), 2);
    out << header;
    cv::Mat contiguous = mat.isContinuous() ? mat : mat.clone();
    out.write(reinterpret_cast<const char*>(contiguous.data),
              static_cast<std::streamsize>(contiguous.total() * 4));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: onnx_run MODEL OUT_DIR NAME=INPUT.npy ... -- OUTPUT ...\n";
        return 2;
    }
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(argv[1]);
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        const std::string outDir = argv[2];
        std::vector<std::string> outputs;
        bool afterSeparator = false;
        for (int i = 3; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--") {
                afterSeparator = true;
            } else if (afterSeparator) {
                outputs.push_back(arg);
            } else {
                const auto eq = arg.find('=');
                net.setInput(readNpy(arg.substr(eq + 1)), arg.substr(0, eq));
            }
        }
        std::vector<cv::Mat> results;
        net.forward(results, outputs);
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            writeNpy(outDir + "/" + outputs[i] + ".npy", results[i]);
        }
    } catch (const std::exception& e) {
        std::cerr << "onnx_run: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
