// Loading image files: the formats GdkPixbuf knows, at most the size a tile needs, and nothing
// that cannot be decoded safely, without a word on standard error.
#include "ImageFile.h"
#include "CaseName.h"
#include "StderrCapture.h"
#include "TemporaryDirectory.h"
#include "TestFiles.h"
#include "TestImages.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace zov::docktile::test {
namespace {

using zov::test::CaseName;
using zov::test::TemporaryDirectory;

class ImageFileTest : public ::testing::Test {
protected:
    TemporaryDirectory directory;
    StderrCapture stderrCapture;

    void TearDown() override { EXPECT_EQ(stderrCapture.text(), ""); }
};

struct FormatCase {
    const char* name;
    const char* format;
};

class ImageFormats : public ImageFileTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(ImageFormats, LoadAtTheirOwnSize) {
    const std::string path = directory / "image";
    saveImage(solidImage(40, 20, green), path, GetParam().format);

    const Image image = loadImageFile(path);

    ASSERT_NE(image, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(image.get()), 40);
    EXPECT_EQ(gdk_pixbuf_get_height(image.get()), 20);
    EXPECT_GT((pixelAt(image.get(), 20, 10) >> 16) & 0xFF, 0xE0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageFormats,
                         ::testing::Values(FormatCase{"Png", "png"}, FormatCase{"Jpeg", "jpeg"},
                                           FormatCase{"Bmp", "bmp"}, FormatCase{"Tiff", "tiff"},
                                           FormatCase{"Ico", "ico"}),
                         CaseName());

struct ScalingCase {
    const char* name;
    const char* format;
    int width;
    int height;
    int expectedWidth;
    int expectedHeight;
};

class LargeImages : public ImageFileTest, public ::testing::WithParamInterface<ScalingCase> {};

TEST_P(LargeImages, AreLoadedScaledDownKeepingTheirAspectRatio) {
    const std::string path = directory / "large";
    saveImage(solidImage(GetParam().width, GetParam().height, blue), path, GetParam().format);

    const Image image = loadImageFile(path);

    ASSERT_NE(image, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(image.get()), GetParam().expectedWidth);
    EXPECT_EQ(gdk_pixbuf_get_height(image.get()), GetParam().expectedHeight);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LargeImages,
                         ::testing::Values(ScalingCase{"WidePng", "png", 3000, 1500, 1024, 512},
                                           ScalingCase{"TallPng", "png", 1000, 4000, 256, 1024},
                                           ScalingCase{"WideJpeg", "jpeg", 4096, 1024, 1024, 256},
                                           ScalingCase{"ExactlyTheLimit", "png", 1024, 7, 1024, 7}),
                         CaseName());

std::string littleEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    return out;
}

// The header of a 30000 x 30000 image in formats whose size comes first; the pixels are left
// out, since no decoder may get as far as them.
std::string hugeBmp() {
    return "BM" + littleEndian(64, 4) + littleEndian(0, 4) + littleEndian(54, 4) +
           littleEndian(40, 4) + littleEndian(30000, 4) + littleEndian(30000, 4) +
           littleEndian(1, 2) + littleEndian(24, 2) + std::string(24, '\0') + std::string(10, '\0');
}

std::string hugeGif() {
    return "GIF89a" + littleEndian(30000, 2) + littleEndian(30000, 2) + std::string(3, '\0') + "," +
           littleEndian(0, 4) + littleEndian(30000, 2) + littleEndian(30000, 2) +
           std::string("\0\x02\x02\x44\x01\x00\x3b", 7);
}

std::string hugePnm() {
    return "P5\n30000 30000\n255\n" + std::string(100, '\0');
}

// A small JPEG whose frame header claims 30000 x 30000.
std::string hugeJpeg() {
    std::string jpeg = encodeImage(solidImage(16, 16, red), "jpeg");
    for (std::size_t at = 2; at + 9 < jpeg.size();) {
        const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
        const auto length = static_cast<std::size_t>(static_cast<unsigned char>(jpeg[at + 2]) << 8 |
                                                     static_cast<unsigned char>(jpeg[at + 3]));
        if (marker == 0xC0 || marker == 0xC2) {
            jpeg.replace(at + 5, 4, "\x75\x30\x75\x30");
            break;
        }
        at += 2 + length;
    }
    return jpeg;
}

// Cut before the image's size.
std::string truncatedPng() {
    return encodeImage(solidImage(300, 300, blue), "png").substr(0, 20);
}

// Cut in the middle of the image data, after rows that could be decoded.
std::string pngCutInTheImageData() {
    const std::string png = pngFile(64, 64, zlibStream(pngRows(64, 64, blue)));
    return png.substr(0, png.size() - 40);
}

// Chunks and checksums valid, but the image data is no zlib stream: its header check fails.
std::string pngWithImageDataNotZlib() {
    return pngFile(64, 64, "this is not a zlib stream, only text standing in for one");
}

// A whole zlib stream, but of half the rows.
std::string pngWithTooFewRows() {
    return pngFile(64, 64, zlibStream(pngRows(64, 32, blue)));
}

// Every row there, but the stream's own checksum (Adler-32) is wrong.
std::string pngWithWrongImageDataChecksum() {
    std::string stream = zlibStream(pngRows(64, 64, blue));
    stream.back() = static_cast<char>(stream.back() ^ 0x5A);
    return pngFile(64, 64, stream);
}

std::string pngWithoutEnd() {
    return pngFile(64, 64, zlibStream(pngRows(64, 64, blue)), /*end=*/false);
}

std::string corruptPng() {
    std::string png = encodeImage(solidImage(64, 64, blue), "png");
    for (std::size_t i = 60; i < png.size() - 12; i += 7) {
        png[i] = static_cast<char>(png[i] ^ 0x5A);
    }
    return png;
}

struct UnloadableCase {
    const char* name;
    std::function<void(const std::string& path)> make;
};

class UnloadableImages : public ImageFileTest,
                         public ::testing::WithParamInterface<UnloadableCase> {};

TEST_P(UnloadableImages, GiveNoImage) {
    const std::string path = directory / "image";
    GetParam().make(path);

    EXPECT_EQ(loadImageFile(path), nullptr);
}

auto contents(std::string (*make)()) {
    return [make](const std::string& path) { writeFile(path, make()); };
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnloadableImages,
    ::testing::Values(
        UnloadableCase{"Missing", [](const auto&) {}},
        UnloadableCase{"Empty", [](const auto& p) { writeFile(p, ""); }},
        UnloadableCase{"Text", [](const auto& p) { writeFile(p, "not an image\n"); }},
        UnloadableCase{"TruncatedPng", contents(truncatedPng)},
        UnloadableCase{"PngCutInTheImageData", contents(pngCutInTheImageData)},
        UnloadableCase{"PngImageDataNotZlib", contents(pngWithImageDataNotZlib)},
        UnloadableCase{"PngWithTooFewRows", contents(pngWithTooFewRows)},
        UnloadableCase{"PngImageDataChecksumWrong", contents(pngWithWrongImageDataChecksum)},
        UnloadableCase{"PngWithoutEnd", contents(pngWithoutEnd)},
        UnloadableCase{"CorruptPng", contents(corruptPng)},
        UnloadableCase{"HugePng", [](const auto& p) { writeHugePng(p, 30000, 30000); }},
        UnloadableCase{"HugeJpeg", contents(hugeJpeg)},
        UnloadableCase{"HugeBmp", contents(hugeBmp)}, UnloadableCase{"HugeGif", contents(hugeGif)},
        UnloadableCase{"HugePnm", contents(hugePnm)},
        // The loader would allocate what these declare, 4 GiB, before reading on.
        UnloadableCase{"BmpWithAHugeInformationHeader",
                       [](const auto& p) {
                           std::string bmp = encodeImage(solidImage(8, 8, red), "bmp");
                           bmp.replace(14, 4, "\x28\x78\xFF\xFF");
                           writeFile(p, bmp);
                       }},
        UnloadableCase{"BmpWithPixelsFarBeyondItsEnd",
                       [](const auto& p) {
                           std::string bmp = encodeImage(solidImage(8, 8, red), "bmp");
                           bmp.replace(10, 4, "\x35\xFF\xFF\xF6");
                           writeFile(p, bmp);
                       }},
        UnloadableCase{"Directory", [](const auto& p) { std::filesystem::create_directory(p); }},
        UnloadableCase{"Pipe", [](const auto& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
        UnloadableCase{"Device",
                       [](const auto& p) { std::filesystem::create_symlink("/dev/zero", p); }},
        UnloadableCase{"LargerThanAnyIcon",
                       [](const auto& p) {
                           std::string png = encodeImage(solidImage(8, 8, red), "png");
                           png.resize(maxImageFileBytes + 1);
                           writeFile(p, png);
                       }}),
    CaseName());

struct WholePngCase {
    const char* name;
    std::string (*make)();
};

class WholePngs : public ImageFileTest, public ::testing::WithParamInterface<WholePngCase> {};

// The files that the hostile PNGs above are made like, whole: they load.
TEST_P(WholePngs, Load) {
    const std::string path = directory / "image.png";
    writeFile(path, GetParam().make());

    const Image image = loadImageFile(path);

    ASSERT_NE(image, nullptr);
    EXPECT_EQ(pixelAt(image.get(), 20, 20), blue);
}

INSTANTIATE_TEST_SUITE_P(
    Files, WholePngs,
    ::testing::Values(
        WholePngCase{"BuiltFromItsParts",
                     [] { return pngFile(64, 64, zlibStream(pngRows(64, 64, blue))); }},
        // Read in seven passes, each over the rows again.
        WholePngCase{"Interlaced", [] { return encodeInterlacedPng(64, 64, blue); }},
        // Larger than the loader keeps: it scales the image down, the check reads it whole.
        WholePngCase{"ScaledDown", [] { return encodeImage(solidImage(2048, 64, blue), "png"); }}),
    CaseName());

TEST_F(ImageFileTest, HugeImageIsRefusedWithoutDecodingIt) {
    const std::string path = directory / "huge.png";
    writeHugePng(path, 30000, 30000);

    ASSERT_EQ(loadImageFile(path), nullptr);

    // Decoding it would take 3.6 GB.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 512L * 1024);
}

} // namespace
} // namespace zov::docktile::test
