#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <opencv2/imgcodecs.hpp>

#include "platform/image/ImageFile.h"

namespace pelliqo {
namespace {

std::uint32_t crc32(const std::uint8_t* data, std::size_t n) {
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// A PNG header claiming width × height pixels, and no picture data.
void writeClaimingPng(const std::string& path, std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<std::uint8_t> chunk{'I', 'H', 'D', 'R'};
    putBigEndian(chunk, width);
    putBigEndian(chunk, height);
    chunk.insert(chunk.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    putBigEndian(png, 13);
    png.insert(png.end(), chunk.begin(), chunk.end());
    putBigEndian(png, crc32(chunk.data(), chunk.size()));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
}

TEST(ImageFile, RefusesWhatIsNotAPictureOrTooBig) {
    QTemporaryDir dir;
    const auto file = [&](const char* name) { return dir.filePath(name).toStdString(); };
    std::ofstream(file("empty.png")).close();
    std::ofstream(file("text.jpg")) << "hello";
    writeClaimingPng(file("huge.png"), 20000, 20000);
    writeClaimingPng(file("huger.png"), 60000, 60000);
    for (const std::string& path :
         {file("empty.png"), file("text.jpg"), file("huge.png"), file("huger.png"),
          file("missing.png"), dir.path().toStdString()}) {
        EXPECT_FALSE(decodeImageFile(path)) << path;
        EXPECT_FALSE(readPicture(path)) << path;
        EXPECT_FALSE(readImageFile(path)) << path;
    }
}

TEST(ImageFile, ReadsColourAsOpaqueBgraAndKeepsTransparency) {
    QTemporaryDir dir;
    const std::string rgb = dir.filePath("rgb.png").toStdString();
    cv::imwrite(rgb, cv::Mat(2, 3, CV_8UC3, cv::Scalar(10, 20, 30)));
    const auto opaque = decodeImageFile(rgb);
    ASSERT_TRUE(opaque);
    EXPECT_EQ(opaque->size(), cv::Size(3, 2));
    EXPECT_EQ(opaque->at<cv::Vec4b>(1, 2), cv::Vec4b(10, 20, 30, 255));

    const std::string rgba = dir.filePath("rgba.png").toStdString();
    cv::imwrite(rgba, cv::Mat(2, 2, CV_8UC4, cv::Scalar(1, 2, 3, 40)));
    EXPECT_EQ(decodeImageFile(rgba)->at<cv::Vec4b>(0, 0), cv::Vec4b(1, 2, 3, 40));

    const std::string grey = dir.filePath("grey.png").toStdString();
    cv::imwrite(grey, cv::Mat(2, 2, CV_8UC1, cv::Scalar(99)));
    EXPECT_EQ(readPicture(grey)->pixels().at<cv::Vec4b>(1, 1), cv::Vec4b(99, 99, 99, 255));
}

// Photos as iPhones take them, here made by libheif's own encoder from a PNG.
TEST(ImageFile, ReadsHeifPhotosWithTheirTransparency) {
    QTemporaryDir dir;
    cv::Mat picture(48, 64, CV_8UC4, cv::Scalar(40, 160, 220, 255));
    picture.colRange(0, 32).setTo(cv::Scalar(0, 0, 0, 0));  // the left half transparent
    const std::string png = dir.filePath("picture.png").toStdString();
    const std::string heic = dir.filePath("picture.heic").toStdString();
    cv::imwrite(png, picture);
    const std::string encode = "heif-enc -q 90 -o '" + heic + "' '" + png + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(encode.c_str()), 0) << "heif-enc (libheif-examples) is missing";
    const auto read = decodeImageFile(heic);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), picture.size());
    EXPECT_LT(read->at<cv::Vec4b>(24, 8)[3], 10);
    const cv::Vec4b opaque = read->at<cv::Vec4b>(24, 56);
    EXPECT_LE(cv::norm(opaque, cv::Vec4b(40, 160, 220, 255), cv::NORM_INF), 8);
}

}  // namespace
}  // namespace pelliqo
