// Our texture converter tools/crunch.exe, run as the icon page cycle runs it.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"
#include "tests/support/process.h"
#include "tools/texture/texture.h"

namespace korva {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

class CrunchTest : public ::testing::Test {
 protected:
  struct Result {
    int status = -1;
    std::string err;
  };
  // Runs the built converter with `args`, its stderr caught in a file.
  Result Run(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {BuiltProgramFolder() + "/tools/crunch.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    Result result;
    result.status = RunCaptured(argv, "", dir / "stdout", dir / "stderr");
    result.err = ReadOutput(dir / "stderr");
    return result;
  }
  // DDS to TGA to DDS as one page edit cycle does it, the pictures in
  // `name`.dds and `name`.tga.
  void Cycle(const std::string& name) {
    ASSERT_EQ(Run({"-file", dir / (name + ".dds"), "/out", dir / (name + ".tga")}).status, 0);
    ASSERT_EQ(Run({"-file", dir / (name + ".tga"), "/out", dir / (name + ".dds"),
                   "/alphathreshold", "128", "/mipMode", "None"}).status, 0);
  }
  RgbaImage Read(const std::string& name) {
    RgbaImage image;
    Status status = ReadImageFile(dir / name, &image);
    EXPECT_TRUE(status.ok()) << status.message();
    return image;
  }

  TempFolder dir;
};

TEST_F(CrunchTest, TurnsEveryDdsFormatIntoA32BitTga) {
  uint64_t indices = 0;
  for (int i = 0; i < 16; ++i) indices |= static_cast<uint64_t>(i % 8) << (3 * i);
  std::string dxt5Alpha = Bytes({255, 0});
  for (int k = 0; k < 6; ++k) dxt5Alpha += static_cast<char>(indices >> (8 * k));
  const uint32_t argb[4] = {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000};
  std::string argbPixels;
  for (int i = 0; i < 16; ++i) argbPixels += Bytes({10 * i, 20, 30, 15 * i});
  struct Case {
    const char* name;
    std::string dds;
    int x, y;  // a pixel worth checking, with its value
    std::array<int, 4> pixel;
  } cases[] = {
      {"DXT1", FourCCFile(4, 4, "DXT1", Bytes({0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4})),
       2, 0, {170, 0, 85, 255}},
      {"DXT1 transparent",
       FourCCFile(4, 4, "DXT1", Bytes({0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4})), 3, 1,
       {0, 0, 0, 0}},
      {"DXT3",
       FourCCFile(4, 4, "DXT3", Bytes({0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 0x00, 0x00,
                                       0xE0, 0x07, 0xAA, 0xAA, 0xAA, 0xAA})),
       1, 2, {0, 85, 0, 9 * 17}},
      {"DXT5", FourCCFile(4, 4, "DXT5", dxt5Alpha + Bytes({0, 0, 0xFF, 0xFF, 0xE4, 0xE4, 0xE4, 0xE4})),
       2, 0, {85, 85, 85, 218}},
      {"uncompressed", MaskFile(4, 4, 0x41, argb, argbPixels), 1, 1, {30, 20, 50, 75}},
  };
  for (const Case& c : cases) {
    WriteBytes(dir / "in.dds", c.dds);
    Result result = Run({"-file", dir / "in.dds", "/out", dir / "out.tga"});
    ASSERT_EQ(result.status, 0) << c.name << ": " << result.err;
    EXPECT_EQ(result.err, "") << c.name;
    RgbaImage expected, tga = Read("out.tga");
    ASSERT_TRUE(DecodeDds(c.dds, &expected).ok()) << c.name;
    EXPECT_EQ(tga, expected) << c.name;
    const uint8_t* p = tga.At(c.x, c.y);
    EXPECT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}), c.pixel) << c.name;
    // A 32-bit TGA (byte 16 of its header) with 8 bits of alpha (byte 17).
    std::string file = ReadBytes(dir / "out.tga");
    EXPECT_EQ(file[2], 2) << c.name;
    EXPECT_EQ(file[16], 32) << c.name;
    EXPECT_EQ(file[17] & 0x0f, 8) << c.name;
  }
}

TEST_F(CrunchTest, TgaToDdsAndBack) {
  RgbaImage icon = DrawIcon(5), opaque = icon;
  for (size_t i = 3; i < opaque.pixels.size(); i += 4) opaque.pixels[i] = 255;
  for (const RgbaImage* picture : {&icon, &opaque}) {
    ASSERT_TRUE(WriteTgaFile(dir / "icon.tga", *picture).ok());
    Result result = Run({"-file", dir / "icon.tga", "/out", dir / "icon.dds", "/alphathreshold",
                         "128", "/mipMode", "None"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::string dds = ReadBytes(dir / "icon.dds");
    EXPECT_EQ(dds.substr(84, 4), picture == &icon ? "DXT5" : "DXT1");
    // What we write is what an encode of the picture gives, and comes back
    // through the converter as it decodes.
    std::string expected;
    ASSERT_TRUE(EncodeDds(*picture, &expected).ok());
    EXPECT_TRUE(dds == expected);
    ASSERT_EQ(Run({"-file", dir / "icon.dds", "/out", dir / "back.tga"}).status, 0);
    RgbaImage decoded;
    ASSERT_TRUE(DecodeDds(dds, &decoded).ok());
    EXPECT_TRUE(Read("back.tga") == decoded);
  }
}

TEST_F(CrunchTest, FiftyCyclesChangeNoPixel) {
  RgbaImage page = DrawIconPage(2), opaque = page;
  for (size_t i = 3; i < opaque.pixels.size(); i += 4) opaque.pixels[i] = 255;
  for (const RgbaImage* picture : {&page, &opaque}) {
    ASSERT_TRUE(WriteDdsFile(dir / "page.dds", *picture).ok());
    RgbaImage first = Read("page.dds");
    for (int cycle = 1; cycle <= 50; ++cycle) {
      Cycle("page");
      if (HasFatalFailure()) return;
      RgbaImage now = Read("page.dds");
      ASSERT_TRUE(now == first) << "cycle " << cycle << (picture == &page ? " DXT5" : " DXT1");
    }
  }
}

// A run cut off while it writes (here by a file size limit, whose signal
// kills it part-way through its output) leaves nothing under the output's
// name, and an output that was there before keeps its bytes.
TEST_F(CrunchTest, ARunCutOffWhileWritingLeavesNoOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no file size limit (RLIMIT_FSIZE) that stops a program part-way "
                  "through its output; IconPageTest.AConverterCutOffWhileWritingKeepsThePage "
                  "shows the cycle's side on Windows";
#endif
  ASSERT_TRUE(WriteDdsFile(dir / "page.dds", DrawIconPage(2)).ok());
  ASSERT_EQ(Run({"-file", dir / "page.dds", "/out", dir / "page.tga"}).status, 0);
  WriteBytes(dir / "old.tga", "an older picture");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    bool existed;
  } cases[] = {
      {"DDS to TGA", {"-file", dir / "page.dds", "/out", dir / "new.tga"}, dir / "new.tga", false},
      {"TGA to DDS",
       {"-file", dir / "page.tga", "/out", dir / "new.dds", "/alphathreshold", "128", "/mipMode", "None"},
       dir / "new.dds", false},
      {"over an older output", {"-file", dir / "page.dds", "/out", dir / "old.tga"}, dir / "old.tga", true},
  };
  for (const Case& c : cases) {
    const std::string stopped = dir / "stopped";
    WriteStandIn(stopped, "exec-limited 32768 \"" + BuiltProgramFolder() + "/tools/crunch.exe\" $@");
    std::vector<std::string> argv = {stopped};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    int exitStatus = -1;
    Status ran = SystemPlatform().RunProgram(argv, &exitStatus);
    EXPECT_FALSE(ran.ok()) << c.name << ": the run should have been stopped";
    EXPECT_TRUE(FileExists(c.out + "_temp")) << c.name << ": it was cut off while writing";
    if (c.existed) {
      EXPECT_EQ(ReadBytes(c.out), "an older picture") << c.name;
    } else {
      EXPECT_FALSE(FileExists(c.out)) << c.name;
    }
  }
  // The next run replaces what the cut-off one left.
  ASSERT_EQ(Run({"-file", dir / "page.dds", "/out", dir / "new.tga"}).status, 0);
  EXPECT_TRUE(ReadBytes(dir / "new.tga") == ReadBytes(dir / "page.tga"));
  EXPECT_FALSE(FileExists(dir / "new.tga_temp"));
}

TEST_F(CrunchTest, OptionNamesTakeEitherPrefixInAnyCase) {
  ASSERT_TRUE(WriteTgaFile(dir / "icon.tga", DrawIcon(1)).ok());
  Result result = Run({"/FILE", dir / "icon.tga", "-OUT", dir / "icon.DDS", "-AlphaThreshold", "0",
                       "-MIPMODE", "none"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(dir / "icon.DDS").substr(0, 4), "DDS ");
}

TEST_F(CrunchTest, FailuresExitWithOneAndSayWhyInOneLine) {
  std::string good = FourCCFile(4, 4, "DXT1", std::string(8, '\0'));
  WriteBytes(dir / "good.dds", good);
  WriteBytes(dir / "short.dds", good.substr(0, good.size() - 1));
  WriteBytes(dir / "ati2.dds", FourCCFile(4, 4, "ATI2", std::string(16, '\0')));
  WriteBytes(dir / "junk.tga", "no picture in here");
  const std::string in = dir / "good.dds", out = dir / "out.tga";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {"truncated DDS", {"-file", dir / "short.dds", "/out", out}, "truncated"},
      {"unknown format", {"-file", dir / "ati2.dds", "/out", out}, "ATI2"},
      {"not an image", {"-file", dir / "junk.tga", "/out", dir / "out.dds"}, "junk.tga: "},
      {"missing file", {"-file", dir / "none.dds", "/out", out}, "none.dds: "},
      {"no arguments", {}, "usage"},
      {"no output", {"-file", in}, "/out"},
      {"option without value", {"-file", in, "/out"}, "needs a value"},
      {"unknown option", {"-file", in, "/out", out, "-quality", "5"}, "-quality"},
      {"bare word", {"-file", in, "/out", out, "extra"}, "extra"},
      {"option twice", {"-file", in, "-file", in, "/out", out}, "twice"},
      {"threshold not a number", {"-file", in, "/out", out, "/alphathreshold", "x"}, "0 to 255"},
      {"threshold too big", {"-file", in, "/out", out, "/alphathreshold", "256"}, "0 to 255"},
      {"mip maps", {"-file", in, "/out", out, "/mipMode", "Generate"}, "Generate"},
      {"output kind", {"-file", in, "/out", dir / "out.png"}, ".dds or .tga"},
      {"output folder missing", {"-file", in, "/out", dir / "none/out.tga"}, "none/out.tga: "},
  };
  for (const Case& c : cases) {
    Result result = Run(c.args);
    EXPECT_EQ(result.status, 1) << c.name;
    EXPECT_EQ(result.err.rfind("crunch.exe: ", 0), 0u) << c.name << ": " << result.err;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << c.name << ": " << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << c.name << ": one line";
    EXPECT_FALSE(FileExists(out) || FileExists(dir / "out.dds") || FileExists(dir / "out.png"))
        << c.name << " left an output file";
  }
}

}  // namespace
}  // namespace korva
