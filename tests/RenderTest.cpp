// End-to-end: the reference renderer run as a command on tiny images, with its output read
// back.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string binFolder() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return fs::path(std::string(path, length > 0 ? size_t(length) : 0)).parent_path().string();
}

struct Outcome {
    int status;
    std::string errors;
};

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;

    const unsigned char* at(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

class RenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("corvala-render-test-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    Outcome render(const std::string& arguments) {
        const std::string errors = (folder / "stderr.txt").string();
        const std::string command = "'" + binFolder() + "/corvala-render' " + arguments +
                                    " > /dev/null 2> '" + errors + "'";
        const int raw = std::system(command.c_str());
        std::ifstream file(errors);
        std::stringstream text;
        text << file.rdbuf();
        fs::remove(errors);
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text.str()};
    }

    std::string path(const std::string& name) const { return (folder / name).string(); }

    Image read(const std::string& name) {
        Image image;
        int channels = 0;
        unsigned char* pixels =
            stbi_load(path(name).c_str(), &image.width, &image.height, &channels, 4);
        EXPECT_NE(pixels, nullptr) << name;
        if (pixels != nullptr) {
            image.rgba.assign(pixels, pixels + size_t(image.width) * image.height * 4);
            stbi_image_free(pixels);
        }
        return image;
    }

    // Writes an 8-bit RGB PNG whose pixel (x, y) is set by paint(x, y, rgb); returns the pixels.
    template <class Paint>
    std::vector<unsigned char> writeImage(const std::string& name, int width, int height,
                                          Paint paint) {
        std::vector<unsigned char> pixels(size_t(width) * height * 3);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                paint(x, y, &pixels[(size_t(y) * width + x) * 3]);
            }
        }
        EXPECT_NE(stbi_write_png(path(name).c_str(), width, height, 3, pixels.data(), width * 3),
                  0);
        return pixels;
    }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    fs::path folder;
};

bool isForwardMarker(const unsigned char* p) {
    return p[0] > 180 && p[1] < 120 && p[2] < 120;
}

TEST_F(RenderTest, TheForwardMarkerIsAtTheCentreInBothLenses) {
    ASSERT_EQ(render("--size 31x31 --out " + path("fisheye.png")).status, 0);
    ASSERT_EQ(render("--lens environmentLense --size 63x31 --out " + path("panorama.png")).status,
              0);
    const Image fisheye = read("fisheye.png");
    const Image panorama = read("panorama.png");
    EXPECT_TRUE(isForwardMarker(fisheye.at(15, 15)));
    EXPECT_TRUE(isForwardMarker(panorama.at(31, 15)));
    EXPECT_FALSE(isForwardMarker(fisheye.at(15, 3)));
    EXPECT_FALSE(isForwardMarker(panorama.at(5, 15)));
}

TEST_F(RenderTest, ClipMakesTheOutsideOfTheCircleTransparent) {
    ASSERT_EQ(render("--size 32x32 --clip on --out " + path("clipped.png")).status, 0);
    ASSERT_EQ(render("--size 32x32 --clip off --out " + path("open.png")).status, 0);
    const Image clipped = read("clipped.png");
    const Image open = read("open.png");
    for (int corner : {0, 31}) {
        EXPECT_EQ(clipped.at(corner, corner)[3], 0);
        EXPECT_EQ(open.at(corner, corner)[3], 255);
    }
    EXPECT_EQ(clipped.at(16, 16)[3], 255);
    EXPECT_EQ(clipped.at(1, 16)[3], 255);  // inside, near the rim
}

TEST_F(RenderTest, ThePanoramaOfAPanoramaIsItsMirrorImage) {
    const int width = 64, height = 32;
    const std::vector<unsigned char> pixels =
        writeImage("in.png", width, height, [](int x, int y, unsigned char* p) {
            p[0] = (unsigned char)(x * 4);
            p[1] = (unsigned char)(y * 8);
            p[2] = (unsigned char)((x * 37 + y * 91) % 256);
        });
    ASSERT_EQ(render("--lens environmentLense --size 64x32 --env " + path("in.png") + " --out " +
                     path("out.png"))
                  .status,
              0);
    const Image out = read("out.png");
    int worst = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int expected = pixels[(y * width + (width - 1 - x)) * 3 + c];
                worst = std::max(worst, std::abs(int(out.at(x, y)[c]) - expected));
            }
        }
    }
    EXPECT_LE(worst, 1);
}

TEST_F(RenderTest, AFisheyeOfAPanoramaPutsHorizonAndZenithWhereTheProjectionSays) {
    // Sky blue above the horizon, ground green below, a red cap around the zenith.
    const int width = 128, height = 64;
    writeImage("pano.png", width, height, [&](int, int y, unsigned char* p) {
        const double latitude = 90.0 - (y + 0.5) * 180.0 / height;
        p[0] = latitude > 80 ? 255 : 0;
        p[1] = latitude < 0 ? 255 : 0;
        p[2] = latitude >= 0 && latitude <= 80 ? 255 : 0;
    });
    // Looking straight up with a 220-degree circle, the horizon lies at 90/110 of the radius.
    ASSERT_EQ(render("--size 65x65 --fov 220 --pitch 90 --env " + path("pano.png") + " --out " +
                     path("dome.png"))
                  .status,
              0);
    const Image dome = read("dome.png");
    const auto pixelAtRadius = [&](double r, int direction) {
        const double px = r * (direction == 0 ? 1 : direction == 1 ? -1 : 0);
        const double py = r * (direction == 2 ? 1 : direction == 3 ? -1 : 0);
        const int x = int(std::lround((px + 1) / 2 * 65 - 0.5));
        const int y = int(std::lround((1 - py) / 2 * 65 - 0.5));
        return dome.at(x, y);
    };
    EXPECT_EQ(dome.at(32, 32)[0], 255) << "zenith at the centre";
    for (int direction = 0; direction < 4; ++direction) {
        SCOPED_TRACE(direction);
        EXPECT_GT(pixelAtRadius(0.74, direction)[2], 200) << "sky inside the horizon";
        EXPECT_GT(pixelAtRadius(0.90, direction)[1], 200) << "ground outside it";
    }
}

TEST_F(RenderTest, AnimatedParametersReachTheLensFrameByFrame) {
    ASSERT_EQ(render("--size 24x24 --frames 3 --fov 90:270 --out " + path("anim.png")).status, 0);
    ASSERT_EQ(render("--size 24x24 --fov 270 --out " + path("still270.png")).status, 0);
    ASSERT_EQ(render("--size 24x24 --fov 90 --out " + path("still90.png")).status, 0);
    const Image first = read("anim.0001.png");
    const Image middle = read("anim.0002.png");
    const Image last = read("anim.0003.png");
    // The block keeps the first value; later frames differ only through the host's values.
    EXPECT_EQ(first.rgba, read("still90.png").rgba);
    EXPECT_EQ(last.rgba, read("still270.png").rgba);
    EXPECT_NE(middle.rgba, first.rgba);
    EXPECT_NE(middle.rgba, last.rgba);
}

TEST_F(RenderTest, TheImageDoesNotDependOnTheThreadCount) {
    ASSERT_EQ(render("--size 40x30 --samples 4 --threads 1 --out " + path("one.png")).status, 0);
    ASSERT_EQ(render("--size 40x30 --samples 4 --threads 3 --out " + path("three.png")).status, 0);
    EXPECT_EQ(read("one.png").rgba, read("three.png").rgba);
}

TEST_F(RenderTest, FloatOutputKeepsHighDynamicRange) {
    ASSERT_EQ(render("--size 16x16 --out " + path("out.hdr")).status, 0);
    int width = 0, height = 0, channels = 0;
    float* pixels = stbi_loadf(path("out.hdr").c_str(), &width, &height, &channels, 3);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(width, 16);
    stbi_image_free(pixels);
#if defined(RENDER_TEST_EXR)
    ASSERT_EQ(render("--size 16x16 --out " + path("out.exr")).status, 0);
    char magic[4] = {};
    std::ifstream(path("out.exr"), std::ios::binary).read(magic, 4);
    EXPECT_EQ(std::string(magic, 4), std::string("\x76\x2f\x31\x01", 4));
#endif
}

TEST_F(RenderTest, BadInputGetsOneLineAndExitStatusTwoAndNoOutput) {
    std::ofstream(path("corrupt.png")) << "\x89PNG\r\n\x1a\nnot really";
    std::ofstream(path("empty.png")).flush();
    std::ofstream(path("text.jpg")) << "a text file with an image's name\n";
    // A PNG header claiming 20000 x 14000 pixels: over a gigabyte once decoded.
    const unsigned char huge[] = {0x89, 'P',  'N', 'G', '\r', '\n', 0x1a, '\n', 0,    0, 0,
                                  13,   'I',  'H', 'D', 'R',  0,    0,    0x4e, 0x20, 0, 0,
                                  0x36, 0xb0, 8,   2,   0,    0,    0,    0,    0,    0, 0};
    std::ofstream(path("huge.png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(huge), sizeof huge);
    ASSERT_EQ(render("--size 64x64 --out " + path("whole.png")).status, 0);
    fs::resize_file(path("whole.png"), fs::file_size(path("whole.png")) / 2);
    fs::rename(path("whole.png"), path("truncated.png"));
    std::ofstream(path("version.decl"))
        << "shader corvala version 2\n  float fieldOfView 180\nend\n";
    std::ofstream(path("broken.decl"))
        << "shader corvala version 1\n  float fieldOfView wide\nend\n";
    const std::string testHost = binFolder() + "/corvala_testhost.so";
    struct Case {
        const char* name;
        std::string arguments;
        std::string message;
    };
    const Case cases[] = {
        {"unknown lens", "--lens fisheye", "unknown lens \"fisheye\""},
        {"unknown option", "--zoom 2", "--zoom"},
        {"field of view out of range", "--fov 400", "--fov: 400 is out of range"},
        {"zero field of view", "--fov 0", "out of range"},
        {"not a number", "--fov wide", "\"wide\" is not a number"},
        {"bad switch", "--clip maybe", "\"maybe\" is not on or off"},
        {"no samples", "--samples 0", "--samples"},
        {"bad size", "--size 0x10", "--size"},
        {"option of the other lens", "--lens environmentLense --fov 90", "does not apply"},
        {"unreadable image", "--env " + path("missing.png"), "missing.png"},
        {"corrupt image", "--env " + path("corrupt.png"), "corrupt.png"},
        {"empty image file", "--env " + path("empty.png"), "empty.png: not a readable image"},
        {"not an image", "--env " + path("text.jpg"), "text.jpg: not a readable image"},
        {"truncated image", "--env " + path("truncated.png"), "truncated.png: corrupt image"},
        {"huge image", "--env " + path("huge.png"), "unsupported image size 20000x14000"},
        {"missing library", "--library " + path("nothing.so"), "cannot load the lens library"},
        {"missing export",
         "--library " + testHost + " --declarations " + binFolder() + "/corvala.decl",
         "does not export"},
        {"version mismatch", "--declarations " + path("version.decl"),
         "version 1, but its declaration says version 2"},
        {"malformed declaration", "--declarations " + path("broken.decl"), "broken.decl:2:"},
        {"unwritable output", "--out " + path("no/such/folder/x.png"), "cannot write here"},
        {"unknown output format", "--out " + path("out.bmp"), "must end in"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string arguments = c.arguments;
        if (arguments.find("--out") == std::string::npos) {
            arguments += " --out " + path("out.png");
        }
        const Outcome run = render("--size 8x8 " + arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.errors.rfind("corvala-render: error: ", 0), 0u) << run.errors;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
        for (const std::string& name : files()) {
            const bool input = name == "corrupt.png" || name == "version.decl" ||
                               name == "broken.decl" || name == "empty.png" || name == "text.jpg" ||
                               name == "huge.png" || name == "truncated.png";
            EXPECT_TRUE(input) << "left behind: " << name;
        }
    }
}

}  // namespace
