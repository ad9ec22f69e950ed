// The image files of a glfx built without OpenEXR, as the Windows build is: every .exr path is
// refused with one line that says what to use instead, before any file is touched. (PNG is the
// same code as in the full build, whose tests round-trip it.)
#include "cli/ImageIO.h"
#include "cli_test_support.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace glfx::cli;

namespace {

// what() of the ImageError `call` throws; empty when it throws none.
template <typename Call> std::string imageError(Call call) {
    try {
        call();
    } catch (const ImageError& e) {
        return e.what();
    }
    return {};
}

Image ramp() {
    Image image = makeImage(5, 3, 8);
    for (size_t i = 0; i < image.rgba.size(); ++i)
        image.rgba[i] = float(i % 256) / 255.0f;
    return image;
}

} // namespace

TEST(CliImageIoWithoutExr, EveryExrPathIsRefusedWithOneLineThatSaysUsePng) {
    glfx::test::TempFolder folder;
    // A real EXR signature: the refusal must not depend on what the file holds.
    const std::string existing = folder / "existing.exr";
    std::ofstream(existing, std::ios::binary) << "\x76\x2f\x31\x01" << std::string(60, '\0');
    for (const std::string& path : {existing, folder / "missing.EXR", folder / "new.Exr"}) {
        SCOPED_TRACE(path);
        const std::string expected =
            path + ": EXR files are not supported by this build of glfx; use .png";
        EXPECT_EQ(imageError([&] { imageFormatOf(path); }), expected);
        EXPECT_EQ(imageError([&] { readImage(path); }), expected);
        EXPECT_EQ(imageError([&] { writeImage(path, ramp()); }), expected);
        EXPECT_EQ(imageError([&] { writeImage(path, ramp(), 32); }), expected);
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"existing.exr"})
        << "a refused write made a file";
}

TEST(CliImageIoWithoutExr, AnUnknownExtensionNamesOnlyPng) {
    EXPECT_EQ(imageError([] { imageFormatOf("picture.tif"); }),
              "picture.tif: unsupported image format \".tif\" (use .png)");
}
